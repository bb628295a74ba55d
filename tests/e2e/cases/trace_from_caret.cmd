trace $SCORE --from 0:34
