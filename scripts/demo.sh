#!/usr/bin/env bash
# Tries Tavrin without touching a real disk: installs what is missing, builds
# tavrin.exe, makes a 64 MiB demo disk file mapped as drive E: and a sample image
# file beside it, and starts Tavrin under Wine in a fresh private prefix.
#
# With a display ($DISPLAY) the window stays until you close it. Without one,
# the window runs on a virtual display; a screenshot is saved, its path printed,
# and the program is closed.
#
# usage: bash scripts/demo.sh        (as root on Debian 12)
# The demo files stay in ${TAVRIN_BUILD_DIR:-build}/demo.
set -uo pipefail

source "$(dirname "$0")/../tests/e2e/env.sh"
E2E_QUIET=1
DEMO_DIR=${TAVRIN_BUILD_DIR:-$REPO/build}/demo
HAVE_DISPLAY=${DISPLAY:-}

e2e_init
echo "demo: checking packages"
bash "$REPO/scripts/install-deps.sh" || e2e_die "installing the packages failed"
echo "demo: building tavrin.exe"
e2e_build_product
if [ -n "$HAVE_DISPLAY" ]; then
  xdotool getdisplaygeometry >/dev/null 2>&1 || e2e_die "DISPLAY=$DISPLAY does not answer; unset DISPLAY for a virtual one"
  E2E_MANAGED=1
else
  e2e_start_xvfb
fi
echo "demo: making a fresh Wine prefix (about 10 s)"
e2e_make_prefix
e2e_demo_drive "$DEMO_DIR"

echo "demo: drive E: is the disk file $DEMO_DISK (64 MiB)"
echo "demo: sample image file: $DEMO_IMAGE"
echo "demo:   in Tavrin type it as Z:${DEMO_IMAGE//\//\\}"
echo "demo:   (tab 映像写入 writes it onto E:, tab 创建映像 reads E: into a new image file)"

if [ -n "$HAVE_DISPLAY" ]; then
  echo "demo: starting Tavrin on $DISPLAY; close its window to end the demo"
  wine "$TAVRIN_EXE" >"$E2E_OUT/tavrin.log" 2>&1
  echo "demo: Tavrin ended (exit code $?)"
else
  e2e_start_tavrin
  shot=$DEMO_DIR/tavrin-demo.png
  e2e_screenshot "$shot"
  wine "$UIDRIVER_EXE" close >/dev/null
  echo "demo: no display here, so Tavrin ran on a virtual one (Xvfb $DISPLAY)"
  echo "demo: screenshot of its main window: $shot"
fi
