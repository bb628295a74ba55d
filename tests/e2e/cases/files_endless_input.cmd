compile /dev/zero
