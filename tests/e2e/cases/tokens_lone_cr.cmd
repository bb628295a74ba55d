tokens $TMP/mac.qrn
