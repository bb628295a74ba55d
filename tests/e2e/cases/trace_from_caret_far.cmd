trace $SCORE --from 0:17 --ticks 3000000
