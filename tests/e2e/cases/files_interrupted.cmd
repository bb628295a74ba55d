compile $SCORE -o $TMP/song.xrt
