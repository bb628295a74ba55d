compile $SCORE -o $TMP/song.xrt --diagnostics json
