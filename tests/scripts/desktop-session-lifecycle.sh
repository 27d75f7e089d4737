#!/usr/bin/env bash
# scripts/desktop-session returns its command's status and leaves nothing behind:
# no process, no folder, nothing in the caller's HOME, also when it is stopped.
set -uo pipefail
session=$1
fails=0
expect() { # description expected actual
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected $2, got $3"; fails=$((fails + 1)); fi
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

leftovers() { # marker
  local n
  n=$(grep -lzxF "ZELVAN_DESKTOP_SESSION=$1" /proc/[0-9]*/environ 2>/dev/null | wc -l)
  [ -e "$1" ] && n=$((n + 1))
  echo "$n"
}

# "Nothing left" proves something only when the command ran and wrote its session
# folder to `file`; a command stopped before it started leaves nothing either.
nothing_left() { # description file
  if [ -s "$2" ]; then
    expect "$1" 0 "$(leftovers "$(cat "$2")")"
  else
    echo "FAIL $1: the command never ran"
    fails=$((fails + 1))
  fi
}

home_before=$(ls -A "$HOME" | sort | md5sum)

"$session" true >/dev/null 2>&1
expect "status 0" 0 $?
"$session" sh -c 'exit 7' >/dev/null 2>&1
expect "status 7" 7 $?

"$session" sh -c 'echo "$ZELVAN_DESKTOP_SESSION" >"$1"; sleep 300 & echo started' sh "$work/marker" >/dev/null 2>&1
expect "status of a command that left a child running" 0 $?
nothing_left "nothing left after a normal end" "$work/marker"

"$session" sh -c 'echo "$ZELVAN_DESKTOP_SESSION" >"$1"; exec sleep 300' sh "$work/marker2" >/dev/null 2>&1 &
pid=$!
# A loaded machine can take a while to bring the whole desktop up.
for _ in $(seq 600); do [ -s "$work/marker2" ] && break; sleep 0.1; done
kill -TERM "$pid"
wait "$pid"
expect "status when stopped" 143 $?
nothing_left "nothing left after a stop" "$work/marker2"

expect "caller's HOME untouched" "$home_before" "$(ls -A "$HOME" | sort | md5sum)"
exit $((fails > 0))
