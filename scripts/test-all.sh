#!/usr/bin/env bash
# Builds everything and runs every test: host unit tests, the same under
# ASan+UBSan and under TSan, the fuzz targets for a bounded time, the checks of
# the built tavrin.exe, and the Wine end-to-end suite. Ends non-zero on any
# failure, after a summary.
#
# usage: bash scripts/test-all.sh      (as root on Debian 12; installs what is missing)
# Environment: TAVRIN_BUILD_DIR (default build/), FUZZ_SECONDS per target (default 30).
set -uo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${TAVRIN_BUILD_DIR:-$REPO/build}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
LOGS=$BUILD/logs
cd "$REPO" || exit 1
mkdir -p "$LOGS" || { echo "test-all: cannot make $LOGS"; exit 1; }

T_ALL=$EPOCHREALTIME
RESULTS=()
FAILED=0

elapsed() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.0f", b-a}'; }

# step NAME COMMAND...: runs the command, records pass/fail and its time.
step() {
  local name=$1 t0=$EPOCHREALTIME rc
  shift
  echo
  echo "==== $name"
  "$@"
  rc=$?
  if [ "$rc" = 0 ]; then
    RESULTS+=("pass  $name ($(elapsed "$t0") s)")
  else
    RESULTS+=("FAIL  $name ($(elapsed "$t0") s)")
    FAILED=$((FAILED + 1))
  fi
  return 0
}

# Configure and build a preset quietly; show the end of the log on failure.
build_preset() {
  local preset=$1 dir=$BUILD/$1
  shift
  if ! cmake --preset "$preset" -B "$dir" >"$LOGS/$preset-configure.log" 2>&1; then
    tail -20 "$LOGS/$preset-configure.log"
    echo "test-all: configuring $preset failed (log: $LOGS/$preset-configure.log)"
    return 1
  fi
  if ! cmake --build "$dir" -j2 "$@" >"$LOGS/$preset-build.log" 2>&1; then
    grep -E 'error|Error' "$LOGS/$preset-build.log" | head -20
    echo "test-all: building $preset failed (log: $LOGS/$preset-build.log)"
    return 1
  fi
}

host_tests() {
  local preset=$1
  build_preset "$preset" || return 1
  # TSan needs the address space laid out without high-entropy randomisation.
  local run=()
  [ "$preset" = host-tsan ] && run=(setarch "$(uname -m)" -R)
  # The full soak runs in the plain build; under the sanitizers, which run it
  # several times slower, a shorter stretch of the same seeded sequence.
  local soak_jobs=${TAVRIN_SOAK_JOBS:-}
  [ "$preset" != host ] && soak_jobs=${TAVRIN_SOAK_JOBS:-100}
  TAVRIN_SOAK_JOBS=$soak_jobs "${run[@]}" ctest --test-dir "$BUILD/$preset" --output-on-failure -j2 --timeout 240
}

fuzz_targets() {
  shopt -s nullglob
  local sources=(tests/fuzz/*.cpp) names=() src name rc=0
  if [ ${#sources[@]} = 0 ]; then
    echo "fuzz: no targets in tests/fuzz, skipped"
    return 0
  fi
  for src in "${sources[@]}"; do names+=("$(basename "$src" .cpp)"); done
  build_preset fuzz --target "${names[@]}" || return 1
  for name in "${names[@]}"; do
    local work
    work=$(mktemp -d)
    local corpus=()
    [ -d "tests/fuzz/corpus/$name" ] && corpus=("tests/fuzz/corpus/$name")
    # New inputs go to the temporary folder first; the committed corpus is only read.
    if "$BUILD/fuzz/$name" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 \
         -artifact_prefix="$LOGS/$name-" "$work" "${corpus[@]}" >"$LOGS/fuzz-$name.log" 2>&1; then
      echo "fuzz: $name ran $FUZZ_SECONDS s: $(grep -E '^#[0-9]+.*(DONE|cov)' "$LOGS/fuzz-$name.log" | tail -1)"
    else
      tail -30 "$LOGS/fuzz-$name.log"
      echo "fuzz: $name FAILED (log: $LOGS/fuzz-$name.log, crash input under $LOGS/$name-*)"
      rc=1
    fi
    rm -rf "$work"
  done
  return "$rc"
}

product() {
  build_preset product || return 1
  bash scripts/check-product.sh "$BUILD/product/tavrin.exe" "$BUILD/product/tavrin.com"
}

e2e() {
  [ -f "$BUILD/product/tavrin.exe" ] || { echo "e2e: no product build, skipped as failed"; return 1; }
  TAVRIN_EXE=$BUILD/product/tavrin.exe UIDRIVER_EXE=$BUILD/product/tavrin_uidriver.exe \
    bash tests/e2e/run.sh
}

echo "==== packages"
bash scripts/install-deps.sh || { echo "test-all: installing the packages failed"; exit 1; }

step "host unit tests" host_tests host
step "host unit tests, ASan+UBSan" host_tests host-asan
step "host unit tests, TSan" host_tests host-tsan
step "fuzz targets (${FUZZ_SECONDS} s each)" fuzz_targets
step "product build and checks" product
step "Wine end-to-end" e2e

echo
echo "==== summary ($(elapsed "$T_ALL") s in all)"
printf '%s\n' "${RESULTS[@]}"
if [ "$FAILED" = 0 ]; then
  echo "test-all: everything passed"
else
  echo "test-all: $FAILED step(s) failed"
fi
[ "$FAILED" = 0 ]
