roll $SCORE -o $TMP/out.svg --from-tick 2001 --ticks 2000
