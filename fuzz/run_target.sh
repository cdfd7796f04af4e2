#!/bin/sh
# Runs one fuzz target for a bounded time from a fresh seed corpus:
#   run_target.sh FUZZER CORPUS ARTIFACTS SECONDS [FUZZER OPTION...] -- SEED COMMAND...
# The seed command gets the corpus folder as its last argument. A crash, hang or leak ends the
# fuzzer with a failure, and the input that caused it stays in ARTIFACTS.
set -eu
fuzzer=$1 corpus=$2 artifacts=$3 seconds=$4
shift 4
options=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options="$options $1"
  shift
done
[ $# -gt 1 ] || { echo "run_target.sh: no seed command" >&2; exit 2; }
shift
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
"$@" "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  echo "run_target.sh: the seed command made no seeds" >&2
  exit 1
fi
echo "$(ls "$corpus" | wc -l) seeds in $corpus"
# shellcheck disable=SC2086 # the options are single words
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" $options "$corpus"
