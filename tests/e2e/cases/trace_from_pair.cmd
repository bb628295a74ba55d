trace $SCORE --from-tick 5 --from 0:17
