compile /dev/stdin
