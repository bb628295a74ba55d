html --form 2 $TMP/ÉXÉRÉA.qrn
