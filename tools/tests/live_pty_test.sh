#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end over a real pseudo-terminal: nmea-replay plays a recorded log
# into a pty, nmea-decode --port reads it live through the serial receiver.
# Every sentence must arrive once, in order, and the positions must equal
# those of decoding the file directly.
# Usage: sh live_pty_test.sh NMEA_REPLAY NMEA_DECODE LOG
set -u
replay=$1
decode=$2
log=$3
tmp=$(mktemp -d)
trap 'kill "$player" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() {
  echo "live_pty_test: $*" >&2
  exit 1
}

"$replay" --pty --link "$tmp/gps" --rate 10 --speed 4 "$log" >"$tmp/replay.out" 2>"$tmp/replay.err" &
player=$!
i=0
while [ ! -e "$tmp/gps" ] && [ $i -lt 100 ]; do
  sleep 0.05
  i=$((i + 1))
done
[ -e "$tmp/gps" ] || fail "no pty link: $(cat "$tmp/replay.err")"

"$decode" --port "$tmp/gps" --delay 20 --duration 6 >"$tmp/live.json" 2>"$tmp/live.err" ||
  fail "nmea-decode --port failed: $(cat "$tmp/live.err")"
"$decode" "$log" >"$tmp/file.json" 2>/dev/null || fail "decoding the file failed"

head -n 1 "$tmp/live.json" | grep -q '"event":"Connect"' || fail "no Connect event first"
tail -n 1 "$tmp/live.json" | grep -q '"event":"Disconnect"' || fail "no Disconnect event last"
for event in NewCommand Position3DChange; do
  grep "\"event\":\"$event\"" "$tmp/live.json" >"$tmp/live.$event"
  grep "\"event\":\"$event\"" "$tmp/file.json" >"$tmp/file.$event"
  cmp -s "$tmp/live.$event" "$tmp/file.$event" ||
    fail "$event lines differ between the live port and the file: $(wc -l <"$tmp/live.$event") live, $(wc -l <"$tmp/file.$event") from the file"
done
exit 0
