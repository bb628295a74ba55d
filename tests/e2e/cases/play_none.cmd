play $SCORE --output none --interval 1
