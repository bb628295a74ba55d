trace $SCORE --ticks 400
