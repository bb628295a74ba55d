html --form 3 $SCORE
