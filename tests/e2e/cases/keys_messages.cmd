compile $SCORE
