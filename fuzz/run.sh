#!/usr/bin/env bash
# Runs every fuzz target for a fixed number of inputs, starting from its seed corpus
# (fuzz/corpus/<target>, copied so the run does not add to it). A crash leaves its input in
# the run folder; copy it into the target's corpus so it is run from then on.
#   fuzz/run.sh BUILD_DIR [RUNS]     BUILD_DIR: a build configured with -DQVSM_FUZZ=ON
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: fuzz/run.sh BUILD_DIR [RUNS]}"
runs="${2:-${QVSM_FUZZ_RUNS:-50000}}"
bin="$(cd "$build" 2>/dev/null && pwd)/fuzz-build"
if [ ! -d "$build" ] || [ ! -d "$bin" ]; then
  echo "fuzz: no fuzz build in $build (clang missing or -DQVSM_FUZZ=ON not set): skipped"
  exit 0
fi
work="$(mktemp -d /tmp/qvsm-fuzz-run-XXXXXX)"
trap 'rm -rf "$work"' EXIT
status=0
for seeds in "$here"/corpus/*/; do
  t="$(basename "$seeds")"
  if [ ! -x "$bin/$t" ]; then
    echo "fuzz: $t not built" >&2
    status=1
    continue
  fi
  mkdir -p "$work/$t"
  cp "$seeds"/* "$work/$t/"
  n="$runs"
  # A driver poll costs a manager, a definition load and a database: a quarter of the runs.
  [ "$t" = fuzz_driver ] && n=$((runs / 4))
  echo "fuzz: $t, $n runs"
  if ! (cd "$work" && "$bin/$t" -runs="$n" -max_len=2048 -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$here/../$t-" "$work/$t" > "$work/$t.log" 2>&1); then
    tail -40 "$work/$t.log" >&2
    echo "fuzz: $t failed; its input is saved as $t-crash-* in the source folder" >&2
    status=1
  else
    grep -E "^stat::number_of_executed_units|^Done" "$work/$t.log" || true
  fi
done
exit $status
