compile $SCORE -o $TMP/first.xrt
