compile $TMP/song.xrt
