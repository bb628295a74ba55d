export $SCORE -o $TMP/out.mid --to 0:4 --to-tick 60
