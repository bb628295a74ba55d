compile /dev/zero -o $TMP/zero.xrt
