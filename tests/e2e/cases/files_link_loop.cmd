compile $SCORE -o $TMP/self
