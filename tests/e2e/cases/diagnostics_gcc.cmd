compile $SCORE -o $TMP/song.xrt --diagnostics gcc
