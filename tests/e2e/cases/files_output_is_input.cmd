compile $TMP/s.qrn -o $TMP/link.xrt
