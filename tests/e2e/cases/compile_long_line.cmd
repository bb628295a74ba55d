compile $TMP/long.qrn -o $TMP/song.xrt --diagnostics json
