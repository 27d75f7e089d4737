#!/usr/bin/env bash
# Runs `zelvan --selftest` against zelvan-fake-platform on the private desktop.
#   run-live.sh ZELVAN FAKE MODE
# MODE:
#   server          strict, --server with its key and --todo-actions: ALL PASSED
#   wrong-key       --server with a key it refuses: one failed line per block,
#                   every block still runs
#   platform        strict, --platform on an auto-approving platform: ALL PASSED
#   app-paths       strict, --platform --expect-app-paths on a platform that
#                   serves its projects on app paths: ALL PASSED
#   app-paths-unexpected  the same platform without --expect-app-paths: only
#                   the account check fails
#   strict-404      the server's live coach answers 404, and on the platform
#                   Personal's uploads: strict mode fails those lines, without
#                   strict mode they are INFO lines
#   approve-page    the platform waits for a person: the self-test waits until
#                   the code is approved on the platform's page, then passes
#   score-404       one project of the platform cannot score: the routing
#                   check fails in every mode
#   idempotent      a correct server whose DELETE always succeeds and whose
#                   day has a wrap running: the server and the platform checks
#                   still pass
set -uo pipefail
zelvan=$1
fake=$2
mode=$3
out=$(mktemp -d)
report=$(mktemp)
fakeout=$(mktemp)
fakepid=
testpid=
cleanup() {
    [ -n "$testpid" ] && kill "$testpid" 2>/dev/null && wait "$testpid" 2>/dev/null
    [ -n "$fakepid" ] && kill "$fakepid" 2>/dev/null && wait "$fakepid" 2>/dev/null
    rm -rf "$out" "$report" "$fakeout"
}
trap cleanup EXIT

start_fake() {
    "$fake" "$@" >"$fakeout" &
    fakepid=$!
    for _ in $(seq 600); do
        [ "$(wc -l <"$fakeout")" -ge 2 ] && break
        kill -0 "$fakepid" 2>/dev/null || { echo "zelvan-fake-platform did not start" >&2; exit 1; }
        sleep 0.1
    done
    base=$(sed -n 1p "$fakeout")
    key=$(sed -n 2p "$fakeout" | sed 's/^workspace key: //')
    case "$base" in http://127.0.0.1:*) ;; *) echo "no address from the fake platform: $base" >&2; exit 1 ;; esac
}

# selftest [ENV=VALUE]... -- ARG...: runs the self-test, leaves status and report.
selftest() {
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    env ZELVAN_NO_BROWSER=1 "${envs[@]}" "$zelvan" --selftest --out "$out" "$@" >"$report"
    status=$?
    cat "$report"
    last=$(tail -n 1 "$report")
}

fail() { echo "$*" >&2; exit 1; }
need() { grep -qF -- "$1" "$report" || fail "missing line: $1"; }
passed() {
    [ "$last" = "ALL PASSED" ] || fail "the report ends with: $last"
    [ "$status" -eq 0 ] || fail "exit status $status after ALL PASSED"
}

case "$mode" in
server)
    start_fake
    selftest ZELVAN_SELFTEST_STRICT=1 -- --server "$base" --key "$key" --todo-actions
    passed
    need "PASS  GET /api/me  — Test Person"
    need "PASS  DELETE /api/calls/<id> removed the test call"
    need "PASS  POST /api/route/score"
    need "PASS  test card deleted"
    need "PASS  POST /api/my/todos/t1/finish  — status done"
    need "PASS  GET /api/workday/wrap (status only, no wrap started)  — none"
    ;;
wrong-key)
    start_fake
    selftest -- --server "$base" --key ow_wrong1 --todo-actions
    for name in "upload to $base" route/score coach/live "create card" todos workday; do
        need "FAIL  $name  — "
    done
    [ "$last" = "6 FAILED" ] || fail "expected six failed blocks, the report ends with: $last"
    [ "$status" -eq 1 ] || fail "exit status $status, expected 1"
    ;;
platform)
    start_fake --auto-approve
    selftest ZELVAN_SELFTEST_STRICT=1 -- --platform "$base"
    passed
    need "PASS  POST device/poll until ok -> account key in the keyring  — ada@example.com / Ada Lovelace"
    need "PASS  a wrong key is refused (401)"
    need "PASS  move Personal → bramel → Personal"
    need "PASS  POST /api/tasks + DELETE on "
    ;;
app-paths)
    start_fake --auto-approve --app-paths
    selftest ZELVAN_SELFTEST_STRICT=1 -- --platform "$base" --expect-app-paths
    passed
    need "PASS  GET /api/v1/me 404 on a local platform -> /app/api/platform/me, projects on /app/p/<slug>/api"
    need "/app/api/platform/personal/calls + /audio"
    ;;
app-paths-unexpected)
    start_fake --auto-approve --app-paths
    selftest ZELVAN_SELFTEST_STRICT=1 -- --platform "$base"
    need "FAIL  GET /api/v1/me with the account key, projects on /api/v1/p/<slug>"
    [ "$last" = "1 FAILED" ] || fail "expected only the account check to fail, the report ends with: $last"
    [ "$status" -eq 1 ] || fail "exit status $status, expected 1"
    ;;
strict-404)
    start_fake --fail "POST /api/coach/live=404"
    selftest ZELVAN_SELFTEST_STRICT=1 -- --server "$base" --key "$key"
    need "FAIL  /api/coach/live → 404: live tips switch off for that recording"
    [ "$last" = "1 FAILED" ] || fail "expected only the coach line to fail, the report ends with: $last"
    [ "$status" -eq 1 ] || fail "exit status $status, expected 1"
    selftest -- --server "$base" --key "$key"
    need "INFO  /api/coach/live → 404: live tips switch off for that recording"
    passed
    kill "$fakepid"; wait "$fakepid" 2>/dev/null
    start_fake --auto-approve --fail "POST /api/v1/personal/calls=404"
    personal="Personal not open yet (404): the recording stays on this computer, no fallback to a project"
    selftest ZELVAN_SELFTEST_STRICT=1 -- --platform "$base"
    need "FAIL  $personal"
    [ "$last" = "1 FAILED" ] || fail "expected only the Personal line to fail, the report ends with: $last"
    selftest -- --platform "$base"
    need "INFO  $personal"
    passed
    ;;
approve-page)
    start_fake
    env ZELVAN_NO_BROWSER=1 ZELVAN_SELFTEST_STRICT=1 "$zelvan" --selftest --out "$out" --platform "$base" >"$report" &
    testpid=$!
    for _ in $(seq 1200); do
        grep -q '… code ABCD-1234, approve at ' "$report" && break
        sleep 0.1
    done
    curl -sf "$(grep -o 'approve at [^ ]*' "$report" | head -n 1 | cut -d' ' -f3)" | grep -q 'Code ABCD-1234' \
        || fail "the approval page does not show the code"
    curl -sf -d "" "$base/app/device/approve" >/dev/null || fail "cannot approve"
    wait "$testpid"
    status=$?
    testpid=
    cat "$report"
    last=$(tail -n 1 "$report")
    passed
    need "PASS  POST device/poll until ok -> account key in the keyring"
    ;;
score-404)
    start_fake --auto-approve --fail "/api/v1/p/tovarind/route/score=404"
    selftest -- --platform "$base"
    need "FAIL  route/score on every project  — Bramel 50%"
    [ "$last" = "1 FAILED" ] || fail "expected only the routing check to fail, the report ends with: $last"
    ;;
idempotent)
    start_fake --auto-approve --idempotent-delete --wrap-running
    selftest ZELVAN_SELFTEST_STRICT=1 -- --server "$base" --key "$key" --todo-actions
    passed
    need "PASS  DELETE /api/calls/<id> removed the test call"
    need "PASS  test card deleted"
    need "PASS  GET /api/workday/wrap (status only, no wrap started)  — running"
    selftest ZELVAN_SELFTEST_STRICT=1 -- --platform "$base"
    passed
    need "PASS  workday + wrap status on "
    need "PASS  POST /api/tasks + DELETE on "
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
