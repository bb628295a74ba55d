trace $TMP/dir.xrt
