trace $SCORE --from 0:17
