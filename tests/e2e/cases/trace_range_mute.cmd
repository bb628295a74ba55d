trace $SCORE --from-tick 49 --to 0:37 --mute B
