html --form 2 $SCORE
