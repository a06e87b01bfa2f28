#!/usr/bin/env bash
# Regenerates the screenshots in docs/ under a virtual display: tavrin.exe in a
# fresh Wine prefix with the demo drive E: mapped.
#
# usage: bash scripts/screenshots.sh        (as root; builds the product if needed)
# Each shot is a function below; add one for a new picture.
set -uo pipefail

source "$(dirname "$0")/../tests/e2e/env.sh"
DOCS=$REPO/docs

e2e_init
bash "$REPO/scripts/install-deps.sh" || e2e_die "installing the packages failed"
e2e_build_product
unset DISPLAY
e2e_start_xvfb
e2e_make_prefix
e2e_demo_drive "$E2E_WORK/demo"
mkdir -p "$DOCS"

# The idle main window, drive E: listed, nothing typed yet.
shot_main_window() {
  e2e_start_tavrin
  e2e_screenshot "$DOCS/main-window.png"
  wine "$UIDRIVER_EXE" close >/dev/null
  wait "$E2E_TAVRIN_PID" 2>/dev/null
  echo "screenshots: $DOCS/main-window.png"
}

shot_main_window
