trace $SCORE --ticks 2
