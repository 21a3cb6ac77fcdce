#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Golden outputs of "geokit-cli read-points": every reader on the point files
# in golden/points/, standard output and standard error compared byte for
# byte with golden/points/expected/.
# Usage: sh read_points_golden.sh GEOKIT_CLI POINTS_DIR [--regenerate]
# (GEOKIT_CLI as an absolute path)
# A commit that regenerates the expected files must say why they changed.
set -u
cli=$1
dir=$2
mode=${3:-check}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0

# run NAME READER INPUT EXPECTED_STATUS
run() {
  name=$1
  # Run inside the folder, so that messages name the file as given.
  (cd "$dir" && "$cli" read-points --reader "$2" "$3") >"$tmp/$name.out" 2>"$tmp/$name.err"
  status=$?
  if [ "$status" -ne "$4" ]; then
    echo "read-points golden: $name: exit status $status, expected $4" >&2
    failed=1
  fi
  for part in out err; do
    if [ "$mode" = "--regenerate" ]; then
      cp "$tmp/$name.$part" "$dir/expected/$name.$part"
    elif ! cmp -s "$tmp/$name.$part" "$dir/expected/$name.$part"; then
      echo "read-points golden: $name.$part differs from expected/$name.$part:" >&2
      diff "$dir/expected/$name.$part" "$tmp/$name.$part" | head -n 10 >&2
      failed=1
    fi
  done
}

run xyz xyz xyz.txt 0
run geodetic geodetic geodetic.txt 0
run projected geodetic projected.txt 0
run plane plane plane.txt 0
run helmert helmert helmert.txt 0
run control control control.txt 0
run missing xyz no-such-file.txt 1
exit "$failed"
