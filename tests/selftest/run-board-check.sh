#!/usr/bin/env bash
# Runs `zelvan --board-check` against zelvan-fake-platform on the private desktop,
# signed in through a settings suite and a keyring item of its own, and checks
# its lines: the window opened on the board's host, then closed.
#   run-board-check.sh ZELVAN FAKE
set -uo pipefail
zelvan=$1
fake=$2
suite=zelvan-board-check-test
service=zelvan-board-check-test
confdir=${XDG_CONFIG_HOME:-$HOME/.config}/Zelvan
shots=$(mktemp -d)
support=$(mktemp -d)
lines=$(mktemp)
fakeout=$(mktemp)
fakepid=
cleanup() {
    [ -n "$fakepid" ] && kill "$fakepid" 2>/dev/null && wait "$fakepid" 2>/dev/null
    secret-tool clear xdg:schema app.zelvan.Password service "$service" account account 2>/dev/null
    rm -rf "$shots" "$support" "$lines" "$fakeout" "$confdir/$suite.conf"
}
trap cleanup EXIT
fail() { echo "$*" >&2; exit 1; }

"$fake" --auto-approve >"$fakeout" &
fakepid=$!
for _ in $(seq 600); do
    [ -s "$fakeout" ] && break
    kill -0 "$fakepid" 2>/dev/null || fail "zelvan-fake-platform did not start"
    sleep 0.1
done
base=$(sed -n 1p "$fakeout")
port=${base##*:}

mkdir -p "$confdir"
printf '[General]\nplatformBase=%s\naccountEmail=ada@example.com\n' "$base" >"$confdir/$suite.conf"
printf 'zv_test_account_key' | secret-tool store --label=Zelvan xdg:schema app.zelvan.Password \
    service "$service" account account || fail "cannot store the account key in the keyring"

ZELVAN_DEFAULTS_SUITE=$suite ZELVAN_KEYCHAIN_SERVICE=$service ZELVAN_BOARD_SHOT=$shots ZELVAN_SUPPORT_DIR=$support \
    "$zelvan" --board-check "$base/app" >"$lines"
status=$?
cat "$lines"
[ "$status" -eq 0 ] || fail "exit status $status"

board=$(grep '^board-check: ' "$lines")
expect() { grep -qxE -- "$1" <<<"$board" || fail "no line matching: $1"; }
expect 'board-check: before: accessory \(tray only\)'
expect "board-check: open: regular \(taskbar entry\), window \{\{-?[0-9]+, -?[0-9]+\}, \{[1-9][0-9]*, [1-9][0-9]*\}\}, title “.*”"
# On the board's host, signed in by the exchange (on its way through /auth/app
# on a slow machine), never sent to the sign-in page.
expect 'board-check: page: 127\.0\.0\.1/(app|auth/app)'
expect 'board-check: screenshot: board-live.png'
expect 'board-check: closed: accessory \(tray only\), board open false'
[ "$(grep -c '^board-check: ' "$lines")" -eq 5 ] || fail "expected five board-check lines"
[ -s "$shots/board-live.png" ] || fail "no board-live.png"
# The same lines reach the user's log file.
[ "$(grep -c '  board-check: ' "$support/zelvan.log" 2>/dev/null)" = 5 ] || fail "the lines are not in zelvan.log"
# A "zelvan:" link goes through the deep-link path; without ZELVAN_BOARD_SHOT no
# picture is taken.
ZELVAN_DEFAULTS_SUITE=$suite ZELVAN_KEYCHAIN_SERVICE=$service \
    "$zelvan" --board-check zelvan://p/bramel >"$lines"
status=$?
cat "$lines"
[ "$status" -eq 0 ] || fail "exit status $status"
board=$(grep '^board-check: ' "$lines")
expect 'board-check: page: 127\.0\.0\.1/(app/p/bramel/|auth/app)'
expect 'board-check: closed: accessory \(tray only\), board open false'
grep -q 'screenshot' <<<"$board" && fail "a picture without ZELVAN_BOARD_SHOT"

# The board's window frame went to the throw-away copy, not to the settings it was given.
grep -q geometry "$confdir/$suite.conf" && fail "the board check wrote to the user's settings"
[ -e "$confdir/app.zelvan.Zelvan.boardcheck.conf" ] && fail "the throw-away settings were left behind"
exit 0
