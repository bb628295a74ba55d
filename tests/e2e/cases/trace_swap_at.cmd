trace $SCORE --swap-at 100 $TMP/new.qrn
