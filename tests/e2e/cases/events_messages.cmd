events $SCORE
