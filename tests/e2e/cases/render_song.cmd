render $SCORE -o $TMP/song.wav
