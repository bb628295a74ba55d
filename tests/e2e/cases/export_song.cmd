export $SCORE -o $TMP/song.mid
