compile $SCORE -o $TMP/out.xrt --report-encoding cp932
