render $SCORE -o $TMP/song.wav --ticks 1500
