trace ${SCORE%.qrn}.xrt --ticks 3
