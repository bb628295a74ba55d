render $SCORE -o $TMP/out.wav --from-tick 1500000 --ticks 1000
