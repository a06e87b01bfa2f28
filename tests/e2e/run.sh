#!/usr/bin/env bash
# The Wine end-to-end suite: tavrin.exe as a user meets it, in a private Wine
# prefix on a private X display, worked from outside by the UI driver.
#
# usage: tests/e2e/run.sh [SCENARIO-GLOB]      e.g. tests/e2e/run.sh '1*'
#
# Runs each tests/e2e/scenarios/*.sh matching the glob, in name order, each in
# a fresh bash with tests/e2e/lib.sh sourced and a time limit
# (E2E_SCENARIO_TIMEOUT seconds, default 120). Ends with "e2e: N passed, M
# failed" and a non-zero exit code when anything failed.
#
# Environment: TAVRIN_EXE / UIDRIVER_EXE use ready executables instead of
# building the product preset (built in ${TAVRIN_BUILD_DIR:-build}/product);
# E2E_KEEP=1 keeps the temporary folder; E2E_OUT=DIR puts the logs there;
# E2E_SCENARIOS=DIR runs the scenarios of another folder.
set -uo pipefail

source "$(dirname "$0")/env.sh"
GLOB=${1:-*}
TIMEOUT=${E2E_SCENARIO_TIMEOUT:-120}

e2e_init
bash "$REPO/scripts/install-deps.sh" || e2e_die "installing the packages failed"
e2e_build_product
e2e_start_xvfb
e2e_make_prefix

acp=$(wine "$UIDRIVER_EXE" acp | tr -d '\r')
e2e_log "ANSI code page of the prefix: $acp"
[ "$acp" != 936 ] || e2e_die "the prefix runs code page 936; the suite needs a Western locale"

passed=0; failed=0; failures=()
shopt -s nullglob
for scenario in "${E2E_SCENARIOS:-$E2E_DIR/scenarios}"/$GLOB.sh; do
  name=$(basename "$scenario" .sh)
  start=$EPOCHREALTIME
  SCENARIO=$name timeout -k 10 "$TIMEOUT" bash -c \
    'set -eEuo pipefail; source "$1"; source "$2"' "$name" "$E2E_DIR/lib.sh" "$scenario" \
    >"$E2E_OUT/$name.log" 2>&1
  rc=$?
  took=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.1f", b-a}')
  if [ "$rc" = 0 ]; then
    passed=$((passed + 1)); echo "e2e: pass $name (${took} s)"
  else
    failed=$((failed + 1)); failures+=("$name")
    [ "$rc" = 124 ] && echo "e2e: FAIL $name: timed out after $TIMEOUT s" || echo "e2e: FAIL $name (exit $rc, ${took} s)"
    sed 's/^/    | /' "$E2E_OUT/$name.log" | tail -40
  fi
done

if [ $((passed + failed)) = 0 ]; then
  echo "e2e: no scenario matches '$GLOB'"
  failed=1
fi
echo "e2e: $passed passed, $failed failed"
[ "$failed" = 0 ]
