export $SCORE -o $TMP/short.mid --ticks 100000
