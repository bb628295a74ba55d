play $SCORE --output speaker
