trace $SCORE --to-tick 100 --swap-at 50 $TMP/new.qrn
