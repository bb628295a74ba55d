compile $SCORE -o $TMP/out.xrt
