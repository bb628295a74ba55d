trace $SCORE
