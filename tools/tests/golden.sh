#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Golden outputs of geokit-cli: every subcommand on the point files in
# golden/, compared byte for byte with golden/expected/. Both builds (g++ and
# clang) run it, so the results are held to the same bits across compilers
# and across changes to the fast paths.
# Usage: sh golden.sh GEOKIT_CLI GOLDEN_DIR [--regenerate]
# A commit that regenerates the expected files must say why they changed.
set -u
cli=$1
dir=$2
mode=${3:-check}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

pair="6378137 0.00335281066474748 0 0 0 0 0 0 0 6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7"
back="6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7 6378137 0.00335281066474748 0 0 0 0 0 0 0"
params="-1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7"
tm="30 0 0.9996 500000 0"
local_ellipsoid="6378388 0.00336700336700337"
nav_ellipsoid="6378137.0  0.0033528106647474  6378388 0.00336700336700337"
wgs84="6378137 0.0033528106647474"
failed=0

# run NAME INPUT SUBCOMMAND [OPTIONS...]: INPUT is a file of golden/ or of
# golden/expected/ (outputs of earlier runs feed later ones).
run() {
  name=$1
  input=$2
  shift 2
  "$cli" "$@" "$dir/$input" >"$tmp/$name.txt" 2>/dev/null
  status=$?
  if [ "$status" -gt 1 ]; then
    echo "golden: $name: geokit-cli exited with $status" >&2
    failed=1
  fi
  if [ "$mode" = "--regenerate" ]; then
    cp "$tmp/$name.txt" "$dir/expected/$name.txt"
  elif ! cmp -s "$tmp/$name.txt" "$dir/expected/$name.txt"; then
    echo "golden: $name differs from expected/$name.txt:" >&2
    diff "$dir/expected/$name.txt" "$tmp/$name.txt" | head -n 10 >&2
    failed=1
  fi
}

run ecef geodetic.txt ecef --ellipsoid "$local_ellipsoid"
run geodetic expected/ecef.txt geodetic --ellipsoid "$local_ellipsoid" --decimals-degrees 10 --decimals-distance 4
run helmert-wgs expected/ecef.txt helmert --params "$params"
run helmert-local expected/helmert-wgs.txt helmert --params "$params" --direction Local
run datum geodetic.txt datum --pair "$pair"
run datum-xyz geodetic.txt datum --pair "$pair" --mode XYZ
run datum-ecef expected/datum-xyz.txt datum-ecef --pair "$pair" --decimals-degrees 9
run tm geodetic.txt tm --tm "$tm" --ellipsoid "$local_ellipsoid"
run tm-inverse grid.txt tm-inverse --tm "$tm" --ellipsoid "$local_ellipsoid"
run to-grid geodetic.txt to-grid --pair "$pair" --tm "$tm" --ellipsoid "$local_ellipsoid"
run to-grid-nav geodetic.txt to-grid --pair "$pair" --tm "$tm" --ellipsoid "$nav_ellipsoid" \
  --decimals-degrees 8 --decimals-distance 2
run from-grid grid.txt from-grid --pair "$back" --tm "$tm" --ellipsoid "$local_ellipsoid"
run distance distance.txt distance --ellipsoid "$wgs84"
run scale-convergence geodetic.txt scale-convergence --ellipsoid "$wgs84" --tm "$tm"
run dms-d angles.txt dms --form D --decimals-degrees 9
run dms-dm angles.txt dms --form DM
run dms-dms angles.txt dms --form DMS --decimals-seconds 2
exit "$failed"
