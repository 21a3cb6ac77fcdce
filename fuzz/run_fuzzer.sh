# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a libFuzzer target for a bounded time on a scratch copy of its seed
# corpus, so new inputs never land in the source tree. Inputs that crash go
# to ARTIFACT_DIR.
# Usage: sh run_fuzzer.sh FUZZER CORPUS_DIR ARTIFACT_DIR SECONDS
set -eu
fuzzer=$1
corpus=$2
artifacts=$3
seconds=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$corpus/." "$work/"
mkdir -p "$artifacts"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$work"
