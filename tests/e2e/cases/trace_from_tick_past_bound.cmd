trace $SCORE --from-tick 1000000000
