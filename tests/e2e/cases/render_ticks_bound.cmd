render $SCORE -o $TMP/out.wav --from-tick 200 --ticks 248
