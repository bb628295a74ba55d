html --form 1 $SCORE
