#!/usr/bin/env bash
# Throughput benchmark: the real tavrin.exe under Wine against dd doing the
# same work natively, on a loop device mapped as drive E:. On demand only; it
# is not part of the test command.
#
# usage: bench/run.sh [--size MIB] [--runs N]
#   --size MIB   size of the disk and of the image (default 512, or BENCH_SIZE_MIB)
#   --runs N     timed runs per tool and direction (default 3, or BENCH_RUNS)
#
# Needs root (loop devices), Wine, Xvfb, mingw-w64 and strace. Builds the
# product preset into ${TAVRIN_BUILD_DIR:-build}/product unless TAVRIN_EXE and
# UIDRIVER_EXE name ready executables. Prints per direction the median, min and
# max MB/s of Tavrin, dd with 64 KiB blocks and dd with 4 MiB blocks, the
# ratios and each tool's CPU time per GiB, a write verified by reading the disk
# back (Tavrin's verify box against dd reading back into cmp), then for a mixed
# image compressed as .zst, .xz and .gz Tavrin against the native decompressor
# piped into dd; the summary is also left in
# ${BENCH_REPORT:-bench-report.txt}. Exits non-zero when any run moved wrong
# bytes or did not end in "Success".
set -uo pipefail

SIZE_MIB=${BENCH_SIZE_MIB:-512}
RUNS=${BENCH_RUNS:-3}
while [ $# -gt 0 ]; do
  case $1 in
    --size) SIZE_MIB=${2:?--size needs a number of MiB}; shift 2 ;;
    --runs) RUNS=${2:?--runs needs a number}; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    *) echo "bench: unknown argument $1" >&2; exit 2 ;;
  esac
done
[[ "$SIZE_MIB" =~ ^[1-9][0-9]*$ ]] || { echo "bench: --size must be a whole number of MiB" >&2; exit 2; }
[[ "$RUNS" =~ ^[1-9][0-9]*$ ]] || { echo "bench: --runs must be a positive number" >&2; exit 2; }

BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
source "$BENCH_DIR/../tests/e2e/env.sh"
E2E_QUIET=1
e2e_init
bash "$REPO/scripts/install-deps.sh" || e2e_die "installing the packages failed"
if ! command -v strace >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends strace >"$E2E_OUT/strace-install.log" 2>&1 ||
    e2e_die "strace is missing and could not be installed"
fi
e2e_build_product

# The stopwatch lives beside the UI driver and reads the same resource ids.
STOPWATCH_EXE=$E2E_WORK/tavrin_stopwatch.exe
i686-w64-mingw32-g++ -std=c++17 -O2 -Wall -Wextra -Werror -static -I "$REPO/src/resources" \
  "$BENCH_DIR/stopwatch.cpp" -o "$STOPWATCH_EXE" -luser32 >"$E2E_OUT/stopwatch-build.log" 2>&1 ||
  { cat "$E2E_OUT/stopwatch-build.log" >&2; e2e_die "building the stopwatch failed"; }

e2e_start_xvfb
e2e_make_prefix

BENCH_REPORT=$(readlink -f "${BENCH_REPORT:-bench-report.txt}")
export STOPWATCH_EXE BENCH_REPORT BENCH_RUNS=$RUNS BENCH_BYTES=$((SIZE_MIB * 1048576))
# No pipe on the scenario's output: the Wine services it starts keep their
# standard output open until the cleanup ends the wineserver, and a reader of
# that pipe would wait for them first.
SCENARIO=bench bash -c 'set -eEuo pipefail; source "$1"; source "$2"' bench \
  "$E2E_DIR/lib.sh" "$BENCH_DIR/measure.sh"
rc=$?
[ "$rc" = 0 ] || echo "bench: FAILED (exit $rc)" >&2
exit "$rc"
