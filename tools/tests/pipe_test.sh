# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the geokit-cli executable through pipes, as scripts use it: the
# results on standard output, the exit statuses, and the conversion of the
# sample point files with the texts their README gives.
# Usage: sh pipe_test.sh GEOKIT_CLI SAMPLE_DIR
set -u
cli=$1
samples=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "pipe_test: $*" >&2
  exit 1
}

tab=$(printf '\t')
wgs84="6378137 0.00335281066474748"

# CR LF input and a comment line.
printf '0 0 0\r\n# comment\r\n' | "$cli" ecef --ellipsoid "$wgs84" >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 0 ] || fail "ecef exited with $status: $(cat "$tmp/err")"
printf '6378137\t0\t0\n# comment\n' >"$tmp/expected"
cmp -s "$tmp/out" "$tmp/expected" || fail "ecef wrote '$(cat "$tmp/out")'"

# A failed line keeps its place, goes to standard error, and sets status 1.
printf '0 0 0\nnot a point\n' | "$cli" ecef --ellipsoid "$wgs84" >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 1 ] || fail "a failed line gave exit status $status"
printf '6378137\t0\t0\n0\n' >"$tmp/expected"
cmp -s "$tmp/out" "$tmp/expected" || fail "failed line run wrote '$(cat "$tmp/out")'"
grep -q '<stdin>:2:' "$tmp/err" || fail "no diagnostic for line 2: '$(cat "$tmp/err")'"

# Usage errors and help.
"$cli" ecef </dev/null >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 2 ] || fail "missing --ellipsoid gave exit status $status"
[ -s "$tmp/out" ] && fail "a usage error wrote to standard output"
"$cli" datum --help >"$tmp/out" 2>&1 || fail "datum --help failed"
grep -q -- '--pair' "$tmp/out" || fail "datum --help does not name --pair"

# The sample files convert without a failed line, one result per line.
readme="$samples/README"
pair=$(sed -n 's/^pair: *//p' "$readme")
tm=$(sed -n 's/^tm: *//p' "$readme")
ellipsoid=$(sed -n 's/^ellipsoid: *//p' "$readme")
[ -n "$pair" ] && [ -n "$tm" ] && [ -n "$ellipsoid" ] || fail "README lacks pair/tm/ellipsoid"
points="$samples/bosphorus-wgs84.txt"
ecef="$samples/bosphorus-local-ecef.txt"
lines=$(wc -l <"$points")
for run in datum to-grid; do
  case $run in
    datum) "$cli" datum --pair "$pair" "$points" >"$tmp/out" 2>"$tmp/err" ;;
    to-grid) "$cli" to-grid --pair "$pair" --tm "$tm" --ellipsoid "$ellipsoid" <"$points" \
      >"$tmp/out" 2>"$tmp/err" ;;
  esac
  status=$?
  [ "$status" -eq 0 ] || fail "$run of the sample exited with $status: $(cat "$tmp/err")"
  [ "$(wc -l <"$tmp/out")" -eq "$lines" ] || fail "$run of the sample lost lines"
done
"$cli" datum-ecef --pair "$pair" "$ecef" >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 0 ] || fail "datum-ecef of the sample exited with $status: $(cat "$tmp/err")"
[ "$(wc -l <"$tmp/out")" -eq "$(wc -l <"$ecef")" ] || fail "datum-ecef of the sample lost lines"
grep -q "$tab" "$tmp/out" || fail "datum-ecef wrote no results"
echo "pipe_test: all checks passed"
