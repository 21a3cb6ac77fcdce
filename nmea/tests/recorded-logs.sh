#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Recorded-log regression test: every log in data/ decoded by nmea-decode
# with --state, compared byte for byte with the .expected file beside it;
# the same again with the stream cut at pseudo-random places and into single
# bytes, which must not change a single line.
# Usage: sh recorded-logs.sh NMEA_DECODE DATA_DIR [--regenerate]
# A commit that regenerates the expected files must say why they changed.
set -u
decode=$1
dir=$2
mode=${3:-check}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
for log in "$dir"/*.nmea; do
  name=$(basename "$log" .nmea)
  expected="$dir/$name.expected"
  "$decode" --state "$log" >"$tmp/$name.out" 2>"$tmp/$name.err"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "recorded-logs: $name: nmea-decode exited with $status: $(cat "$tmp/$name.err")" >&2
    failed=1
    continue
  fi
  if [ "$mode" = "--regenerate" ]; then
    cp "$tmp/$name.out" "$expected"
    continue
  fi
  for run in plain random single; do
    case $run in
      plain) cp "$tmp/$name.out" "$tmp/$name.$run" ;;
      random) "$decode" --state --random-chunks 20261208 "$log" >"$tmp/$name.$run" 2>/dev/null ;;
      single) "$decode" --state --chunk 1 "$log" >"$tmp/$name.$run" 2>/dev/null ;;
    esac
    if ! cmp -s "$tmp/$name.$run" "$expected"; then
      echo "recorded-logs: $name ($run chunks) differs from $name.expected:" >&2
      diff "$expected" "$tmp/$name.$run" | head -n 8 >&2
      failed=1
    fi
  done
done
exit "$failed"
