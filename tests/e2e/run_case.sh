#!/usr/bin/env bash
# Runs one end-to-end case of the quern command line.
#   run_case.sh QUERN CASE
# CASE.cmd holds the arguments on one line; $SCORE stands for CASE.qrn and
# $TMP for a fresh temporary folder. Standard output must equal CASE.out
# byte for byte; the exit status must equal CASE.status (0 when absent);
# when CASE.err exists, standard error must equal it too. When CASE.setup
# exists it is run with bash before quern, with the same variables (for
# preparing files in $TMP). When CASE.check exists it is run with bash after
# quern, with $TMP, $SCORE and $QUERN (the program under test) set, and must
# succeed (for checking files that quern wrote; quern's output is in
# $TMP/stdout and $TMP/stderr).
set -u
quern=$1
case=$2
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
SCORE=$case.qrn
QUERN=$quern
export TMP SCORE QUERN
args=$(head -n 1 "$case.cmd")
args=${args//\$SCORE/$SCORE}
args=${args//\$TMP/$TMP}
if [ -f "$case.setup" ] && ! bash "$case.setup"; then
  echo "setup failed"; exit 1
fi
eval "set -- $args"
"$quern" "$@" >"$TMP/stdout" 2>"$TMP/stderr"
status=$?
want_status=0
[ -f "$case.status" ] && want_status=$(tr -d ' \n' <"$case.status")
fail=0
if [ "$status" != "$want_status" ]; then
  echo "exit status $status, expected $want_status"; fail=1
fi
if ! cmp -s "$TMP/stdout" "$case.out"; then
  echo "standard output differs:"; diff -u "$case.out" "$TMP/stdout" | head -n 60; fail=1
fi
if [ -f "$case.err" ] && ! cmp -s "$TMP/stderr" "$case.err"; then
  echo "standard error differs:"; diff -u "$case.err" "$TMP/stderr" | head -n 60; fail=1
fi
if [ -f "$case.check" ] && ! bash "$case.check"; then
  echo "check failed"; fail=1
fi
if [ $fail -ne 0 ]; then
  echo "--- stderr:"; head -c 4000 "$TMP/stderr"
fi
exit $fail
