#!/usr/bin/env bash
# Runs inside the private desktop: every service the desktop tests rely on answers.
set -euo pipefail
fails=0
check() { # description command...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then echo "ok   $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}

[ -n "${ZELVAN_DESKTOP_SESSION:-}" ] || { echo "FAIL not inside scripts/desktop-session"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check "HOME is private" test "${HOME#"$ZELVAN_DESKTOP_SESSION"/}" != "$HOME"
check "XDG folders are private" test "${XDG_RUNTIME_DIR#"$ZELVAN_DESKTOP_SESSION"/}" != "$XDG_RUNTIME_DIR"
check "fixed environment" test "$OMP_THREAD_LIMIT/$QTWEBENGINE_DISABLE_SANDBOX/$TZ/$LANG" = "1/1/Europe/Berlin/C.UTF-8"

check "X display with MIT-SHM" sh -c 'xdpyinfo | grep -q MIT-SHM'
check "screen 1920x1080" sh -c 'xdpyinfo | grep -q "dimensions: *1920x1080"'
check "window manager running" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

check "notification server" dbus-send --session --print-reply --dest=org.freedesktop.Notifications \
  /org/freedesktop/Notifications org.freedesktop.Notifications.GetServerInformation

check "keyring stores" sh -c 'printf s3cret | secret-tool store --label="probe" zelvan-probe 1'
check "keyring returns" sh -c 'test "$(secret-tool lookup zelvan-probe 1)" = s3cret'
check "keyring clears" sh -c 'secret-tool clear zelvan-probe 1 && ! secret-tool lookup zelvan-probe 1'

check "sink spk, mono 48 kHz" sh -c 'pactl list short sinks | grep -qP "\tspk\t.*\t\S+ 1ch 48000Hz"'
check "sink micfeed, mono 48 kHz" sh -c 'pactl list short sinks | grep -qP "\tmicfeed\t.*\t\S+ 1ch 48000Hz"'
check "source vmic, mono 48 kHz" sh -c 'pactl list short sources | grep -qP "\tvmic\t.*\t\S+ 1ch 48000Hz"'
check "defaults spk and vmic" sh -c 'pactl info | grep -q "Default Sink: spk" && pactl info | grep -q "Default Source: vmic"'

# Sound played into a sink comes out of its source: micfeed → vmic, spk → spk.monitor.
# Both sides ask for a short latency: with the default of about two seconds the
# tone can still sit in a buffer when the recording stops.
sox -n -r 48000 -c 1 -b 16 "$work/tone.wav" synth 1.5 sine 440 vol 0.5
heard() { # source sink
  local before rec
  before=$(pactl list short source-outputs | wc -l)
  parec --latency-msec=50 -d "$1" --rate=48000 --channels=1 --format=s16le --raw >"$work/$1.raw" &
  rec=$!
  # Play only once the recording stream is connected, however loaded the machine.
  for _ in $(seq 100); do
    [ "$(pactl list short source-outputs | wc -l)" -gt "$before" ] && break
    sleep 0.05
  done
  paplay --latency-msec=50 -d "$2" "$work/tone.wav"
  # The recorder writes what it heard when it gets the processor: wait for the tone
  # rather than for a fixed while.
  local found=1
  for _ in $(seq 100); do
    loud "$work/$1.raw" && { found=0; break; }
    sleep 0.1
  done
  kill "$rec"
  wait "$rec" 2>/dev/null || true
  return $found
}
loud() { # raw file: its loudest sample is above 0.3
  sox -t raw -r 48000 -e signed -b 16 -c 1 "$1" -n stat 2>&1 |
    awk '/Maximum amplitude/ { exit !($3 > 0.3) }'
}
check "tone into micfeed is heard on vmic" heard vmic micfeed
check "tone into spk is heard on spk.monitor" heard spk.monitor spk

exit $((fails > 0))
