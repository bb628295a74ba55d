trace $SCORE --ticks 1
