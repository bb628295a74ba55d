trace $SCORE --ticks 300
