trace $SCORE --from 1:20
