trace $SCORE --ticks 50 --swap-at 100 $TMP/new.qrn
