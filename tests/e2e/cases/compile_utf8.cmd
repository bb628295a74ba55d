compile $SCORE -o $TMP/out.xrt --encoding=utf-8
