play $SCORE --output none --ticks 100 --from-tick 100
