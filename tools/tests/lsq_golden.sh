#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Golden outputs of the least-squares and merge subcommands of geokit-cli:
# each case's standard output, standard error and exit status, compared byte
# for byte with golden-lsq/expected/ (the same files for the g++ and the
# clang build).
# Usage: sh lsq_golden.sh GEOKIT_CLI GOLDEN_DIR [--regenerate]
# A commit that regenerates the expected files must say why they changed.
set -u
cli=$1
dir=$2
mode=${3:-check}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0

# run NAME SUBCOMMAND [ARGUMENTS...]: run in GOLDEN_DIR, so that file names
# in the outputs do not depend on where the tree lies.
run() {
  name=$1
  shift
  out="$tmp/$name.txt"
  (cd "$dir" && "$cli" "$@" >"$out" 2>"$tmp/err")
  status=$?
  {
    echo "--- stderr"
    cat "$tmp/err"
    echo "--- exit $status"
  } >>"$out"
  if [ "$mode" = "--regenerate" ]; then
    cp "$out" "$dir/expected/$name.txt"
  elif ! cmp -s "$out" "$dir/expected/$name.txt"; then
    echo "lsq golden: $name differs from expected/$name.txt:" >&2
    diff "$dir/expected/$name.txt" "$out" | head -n 10 >&2
    failed=1
  fi
}

run affine affine --control affine-control.txt
run affine-three affine --control affine-three.txt
run affine-two affine --control affine-two.txt
run affine-missing affine --control no-such-file.txt
run similarity similarity --control affine-control.txt
run similarity-two similarity --control affine-two.txt
run helmert helmert-estimate --control helmert-control.txt
run helmert-decimals helmert-estimate --control helmert-control.txt --decimals-distance 4 \
  --decimals-degrees 9 --decimals-seconds 5 --semi-major 6378137.0 --inverse-flattening 298.257223563
run helmert-bad-ellipsoid helmert-estimate --control helmert-control.txt --inverse-flattening none
run affine-apply affine-apply --params "237.515628576279 1.00011093712732 -6.00836318085385e-05 -413.852363586426 -9.43811014622042e-05 1.00009858017074" plane-points.txt
run affine-apply-inverse affine-apply --inverse --decimals-distance 4 --params "237.515628576279 1.00011093712732 -6.00836318085385e-05 -413.852363586426 -9.43811014622042e-05 1.00009858017074" expected/affine-apply.txt
run affine-apply-singular affine-apply --inverse --params "0 1 2 0 2 4" plane-points.txt
run affine-apply-empty affine-apply --params "" plane-points.txt
run similarity-apply similarity-apply --params "-155.620767738155 -274.711958743786 0.00180609766424291 1.00006198482507" plane-points.txt
run similarity-apply-inverse similarity-apply --inverse --params "-155.620767738155 -274.711958743786 0.00180609766424291 1.00006198482507" expected/similarity-apply.txt
run similarity-apply-90 similarity-apply --params "100 200 90 2" plane-points.txt
run similarity-apply-90-inverse similarity-apply --inverse --params "100 200 90 2" expected/similarity-apply-90.txt
run merge merge --gps gps.log --sensor sonar.log
run merge-filters merge --gps gps.log --sensor sonar.log --clean-fix ",,,,," --only-keep-fix ",E,4,"
run merge-empty-clean-fix merge --gps gps.log --sensor sonar.log --clean-fix ""
run merge-wide merge --gps gps.log --sensor sonar.log --interval 3000 --sensor-format SDDBT
run merge-bad-interval merge --gps gps.log --sensor sonar.log --interval 1s
run usage-no-control affine
run usage-unknown-option merge --gps gps.log --sensor sonar.log --filter x
exit "$failed"
