html $TMP/missing.qrn
