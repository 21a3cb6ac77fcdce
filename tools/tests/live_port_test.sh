#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# nmea-decode --port over a real pseudo-terminal: a port that does not
# exist is named in the error; SIGTERM and SIGINT close the port and end
# with the Disconnect line and status 0; when the line falls silent, Idle
# and then Timeout are written and the connection ends by itself.
# Usage: sh live_port_test.sh NMEA_REPLAY NMEA_DECODE LOG
set -u
replay=$1
decode=$2
log=$3
tmp=$(mktemp -d)
player=
trap '[ -n "$player" ] && kill "$player" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() {
  echo "live_port_test: $*" >&2
  exit 1
}

# Starts nmea-replay on a new pty behind the link $tmp/$1 with the options
# that follow, and waits for the link.
play() {
  link=$tmp/$1
  shift
  "$replay" --pty --link "$link" "$@" "$log" >/dev/null 2>"$tmp/replay.err" &
  player=$!
  i=0
  while [ ! -e "$link" ] && [ $i -lt 100 ]; do
    sleep 0.05
    i=$((i + 1))
  done
  [ -e "$link" ] || fail "no pty link: $(cat "$tmp/replay.err")"
}

# Waits until the file $1 holds a line with the event $2.
wait_for() {
  i=0
  while ! grep -qs "\"event\":\"$2\"" "$1" && [ $i -lt 200 ]; do
    sleep 0.05
    i=$((i + 1))
  done
  grep -qs "\"event\":\"$2\"" "$1" || fail "no $2 event in $1"
}

# A device that does not exist: the error names its path.
"$decode" --port "$tmp/nonexistent" >"$tmp/none.out" 2>"$tmp/none.err"
[ $? -eq 1 ] || fail "a missing device did not give status 1"
grep -q "Cannot connect to port $tmp/nonexistent\." "$tmp/none.err" ||
  fail "the error does not name the path: $(cat "$tmp/none.err")"

# A stop signal while reading: the port is closed, Disconnect is the last line.
for signal in TERM INT; do
  play "gps-$signal" --rate 20 --loop
  "$decode" --port "$tmp/gps-$signal" --delay 20 >"$tmp/$signal.json" 2>"$tmp/$signal.err" &
  decoder=$!
  wait_for "$tmp/$signal.json" NewCommand
  kill -s "$signal" "$decoder"
  wait "$decoder"
  status=$?
  [ "$status" -eq 0 ] || fail "SIG$signal gave status $status: $(cat "$tmp/$signal.err")"
  tail -n 1 "$tmp/$signal.json" | grep -q '"event":"Disconnect"' ||
    fail "SIG$signal: Disconnect is not the last line"
  kill "$player" 2>/dev/null
  wait "$player" 2>/dev/null
  player=
done

# A COM name mapped to the pty in an INI file.
play gps-ini --rate 20 --loop
printf '[SERIALCOMM]\r\nCOM200=%s\r\n' "$tmp/gps-ini" >"$tmp/ports.ini"
"$decode" --port COM200 --ini "$tmp/ports.ini" --delay 20 --duration 1.5 >"$tmp/ini.json" \
  2>"$tmp/ini.err" || fail "--ini: $(cat "$tmp/ini.err")"
grep -q '"event":"NewCommand"' "$tmp/ini.json" || fail "nothing decoded from COM200 of the INI"
kill "$player" 2>/dev/null
wait "$player" 2>/dev/null
player=

# Silence: Idle after a second, then Timeout and Disconnect, and the tool
# ends by itself with status 0.
play gps-quiet --rate 50
"$decode" --port "$tmp/gps-quiet" --delay 20 --idle 1 --timeout 2 >"$tmp/quiet.json" \
  2>"$tmp/quiet.err" &
decoder=$!
wait_for "$tmp/quiet.json" NewCommand
kill "$player" 2>/dev/null
wait "$player" 2>/dev/null
player=
i=0
while kill -0 "$decoder" 2>/dev/null && [ $i -lt 200 ]; do
  sleep 0.05
  i=$((i + 1))
done
kill -0 "$decoder" 2>/dev/null && fail "--timeout did not end the run"
wait "$decoder"
status=$?
[ "$status" -eq 0 ] || fail "the time-out gave status $status: $(cat "$tmp/quiet.err")"
events=$(grep -o '"event":"\(Idle\|Timeout\|Disconnect\)"' "$tmp/quiet.json" | tr '\n' ' ')
[ "$events" = '"event":"Idle" "event":"Timeout" "event":"Disconnect" ' ] ||
  fail "silence gave: $events"
exit 0
