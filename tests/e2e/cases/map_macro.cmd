map $SCORE
