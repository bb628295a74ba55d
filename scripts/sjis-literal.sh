#!/usr/bin/env bash
# Prints a UTF-8 text as a C string literal of its Shift-JIS (CP932) bytes,
# for the compiler's message constants:
#   scripts/sjis-literal.sh 'EE未定義コマンドです'
set -euo pipefail
printf '%s' "$1" | iconv -f UTF-8 -t CP932 | python3 -c '
import sys
out, prev_hex = "\"", False
for b in sys.stdin.buffer.read():
    c = chr(b)
    if 32 <= b < 127 and c not in "\"\\":
        if prev_hex and c in "0123456789abcdefABCDEF":
            out += "\"\""
        out += c
        prev_hex = False
    else:
        out += "\\x%02x" % b
        prev_hex = True
print(out + "\"")'
