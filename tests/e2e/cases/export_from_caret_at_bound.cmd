export $SCORE -o $TMP/out.mid --from 0:17 --ticks 1152001
