compile $TMP/missing.qrn
