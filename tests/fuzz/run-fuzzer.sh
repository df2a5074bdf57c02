#!/bin/sh
# Runs one libFuzzer target the same way every time: it replays every input of the checked-in
# corpus (each input that ever failed among them), then makes RUNS mutations from a fixed seed.
# New inputs go to a scratch folder that is emptied first, so no run changes the next one.
#   run-fuzzer.sh FUZZER CORPUS SCRATCH ARTIFACTS RUNS
set -eu
fuzzer=$1 corpus=$2 scratch=$3 artifacts=$4 runs=$5
rm -rf "$scratch"
mkdir -p "$scratch" "$artifacts"
# The same path every run: addresses stay the same (some hash tables of the libraries hash them,
# and so change the coverage the fuzzer follows), and the fuzzer learns no values from
# comparisons, whose operands can include bytes that differ between runs. make fuzz uses both.
# No time limit per input, which would depend on the machine: an input that never ends is caught
# by the test's own timeout. The memory limit is libFuzzer's default crash guard, far above what
# any input takes.
exec setarch "$(uname -m)" -R "$fuzzer" -seed=1 -runs="$runs" -use_cmp=0 -use_memmem=0 \
    -timeout=0 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$scratch" "$corpus"
