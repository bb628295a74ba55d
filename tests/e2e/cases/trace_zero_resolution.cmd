trace ${SCORE%.qrn}.xrt
