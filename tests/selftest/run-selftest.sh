#!/usr/bin/env bash
# Runs `zelvan --selftest` on the private desktop.
#   run-selftest.sh ZELVAN            passes when the report ends with "ALL PASSED" and the exit status is 0
#   run-selftest.sh ZELVAN broken-mix the mixer forced to fail: exactly the "mix" check is red, exit status 1
#   run-selftest.sh ZELVAN help-last  "--selftest" wins over a "--help" anywhere on the line
set -uo pipefail
zelvan=$1
mode=${2:-clean}
out=$(mktemp -d)
report=$(mktemp)
trap 'rm -rf "$out" "$report"' EXIT

if [ "$mode" = help-last ]; then
    # An output folder that is a file ends the self-test at once, with status 2.
    "$zelvan" --help --selftest --out "$report" >"$out/stdout" 2>"$out/stderr"
    status=$?
    cat "$out/stdout" "$out/stderr"
    [ "$status" -eq 2 ] || { echo "exit status $status: the self-test did not run" >&2; exit 1; }
    [ ! -s "$out/stdout" ] || { echo "the usage text was printed instead of the self-test" >&2; exit 1; }
    grep -q 'is a file, not a folder' "$out/stderr" || { echo "the self-test did not refuse the folder" >&2; exit 1; }
    exit 0
fi

if [ "$mode" = broken-mix ]; then
    ZELVAN_SELFTEST_BREAK=mix "$zelvan" --selftest --out "$out" >"$report"
else
    "$zelvan" --selftest --out "$out" >"$report"
fi
status=$?
cat "$report"
last=$(tail -n 1 "$report")

# Standard output holds the report and nothing else: no library chatter.
stray=$(grep -vE '^(PASS  |FAIL  |INFO  |      |-- |Zelvan selftest — files in |ALL PASSED$|[0-9]+ FAILED$|$)' "$report")
[ -z "$stray" ] || { echo "not a report line: $stray" >&2; exit 1; }

if [ "$mode" = broken-mix ]; then
    grep -q '^FAIL  mix  — ' "$report" || { echo "no failed mix check" >&2; exit 1; }
    # Without audio the payload must not promise any.
    grep -qx 'PASS  payload url=null, source=mac, app=Screen, expect_audio=false' "$report" \
        || { echo "expect_audio not checked on the session without audio" >&2; exit 1; }
    [ "$last" = "1 FAILED" ] || { echo "expected only the mix to fail, the report ends with: $last" >&2; exit 1; }
    [ "$status" -eq 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
else
    grep -qx 'PASS  review suggestions: open ones only (accepted / dismissed left out)' "$report" \
        || { echo "the review suggestions were not checked" >&2; exit 1; }
    [ "$last" = "ALL PASSED" ] || { echo "the report ends with: $last" >&2; exit 1; }
    [ "$status" -eq 0 ] || { echo "exit status $status after ALL PASSED" >&2; exit 1; }
fi
