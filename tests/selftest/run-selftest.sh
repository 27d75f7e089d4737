#!/usr/bin/env bash
# Runs `zelvan --selftest` on the private desktop.
#   run-selftest.sh ZELVAN            passes when the report ends with "ALL PASSED" and the exit status is 0
#   run-selftest.sh ZELVAN broken-mix the mixer forced to fail: exactly the "mix" check is red, exit status 1
set -uo pipefail
zelvan=$1
mode=${2:-clean}
out=$(mktemp -d)
report=$(mktemp)
trap 'rm -rf "$out" "$report"' EXIT

if [ "$mode" = broken-mix ]; then
    ZELVAN_SELFTEST_BREAK=mix "$zelvan" --selftest --out "$out" >"$report"
else
    "$zelvan" --selftest --out "$out" >"$report"
fi
status=$?
cat "$report"
last=$(tail -n 1 "$report")

if [ "$mode" = broken-mix ]; then
    grep -q '^FAIL  mix  — ' "$report" || { echo "no failed mix check" >&2; exit 1; }
    [ "$last" = "1 FAILED" ] || { echo "expected only the mix to fail, the report ends with: $last" >&2; exit 1; }
    [ "$status" -eq 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
else
    [ "$last" = "ALL PASSED" ] || { echo "the report ends with: $last" >&2; exit 1; }
    [ "$status" -eq 0 ] || { echo "exit status $status after ALL PASSED" >&2; exit 1; }
fi
