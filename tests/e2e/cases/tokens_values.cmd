tokens $SCORE
