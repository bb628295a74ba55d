trace $SCORE --bogus
