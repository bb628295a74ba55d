compile $SCORE -o $TMP/x.xrt
