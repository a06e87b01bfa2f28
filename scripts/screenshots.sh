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

# The idle main window, drive E: listed, nothing typed yet; the checksums
# button beside Help.
shot_main_window() {
  e2e_start_tavrin
  e2e_screenshot "$DOCS/main-window.png"
  wine "$UIDRIVER_EXE" close >/dev/null
  wait "$E2E_TAVRIN_PID" 2>/dev/null
  echo "screenshots: $DOCS/main-window.png"
}

# A write running onto drive E:: the gradient bar part-filled with the status
# line over it. The image is large and sparse, so the job is still running
# when the picture is taken; it is cancelled afterwards.
shot_running_job() {
  local image=$E2E_WORK/demo/long.img index
  truncate -s 8G "$image" || e2e_die "cannot make $image"
  e2e_start_tavrin
  index=$(wine "$UIDRIVER_EXE" combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
  [ -n "$index" ] || e2e_die "drive E: is not listed"
  wine "$UIDRIVER_EXE" combo-select 1036 $((index - 1)) >/dev/null
  wine "$UIDRIVER_EXE" set-text 1039 "Z:${image//\//\\}" >/dev/null
  wine "$UIDRIVER_EXE" click 1008 >/dev/null
  wine "$UIDRIVER_EXE" answer 'Warning! Data will be lost!' yes >/dev/null || e2e_die "no warning box"
  wine "$UIDRIVER_EXE" wait-text 1008 Cancel 5000 >/dev/null || e2e_die "the job did not start"
  sleep 4  # a few timer ticks: the status line shows the percentage, then the remaining time
  e2e_screenshot "$DOCS/running-job.png"
  wine "$UIDRIVER_EXE" click 1008 >/dev/null
  wine "$UIDRIVER_EXE" answer Cancelled ok 15000 >/dev/null
  wine "$UIDRIVER_EXE" close >/dev/null
  wait "$E2E_TAVRIN_PID" 2>/dev/null
  rm -f "$image"
  echo "screenshots: $DOCS/running-job.png"
}

# The create tab with the demo disk linked as physical disk 0 and selected, and
# the allocated-partitions-only box checked.
shot_create_trimmed() {
  local index
  ln -sfn "$DEMO_DISK" "$WINEPREFIX/dosdevices/physicaldrive0" || e2e_die "cannot link physical disk 0"
  e2e_start_tavrin
  wine "$UIDRIVER_EXE" tab 1 >/dev/null
  index=$(wine "$UIDRIVER_EXE" combo-items 1036 | grep -n '^Physical Disk 0 ' | cut -d: -f1)
  [ -n "$index" ] || e2e_die "physical disk 0 is not listed"
  wine "$UIDRIVER_EXE" combo-select 1036 $((index - 1)) >/dev/null
  sleep 0.3
  wine "$UIDRIVER_EXE" click 1047 >/dev/null
  wine "$UIDRIVER_EXE" set-text 1039 'Z:\backup\card.img' >/dev/null
  sleep 0.3
  e2e_screenshot "$DOCS/create-trimmed.png"
  wine "$UIDRIVER_EXE" close >/dev/null
  wait "$E2E_TAVRIN_PID" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/physicaldrive0"
  echo "screenshots: $DOCS/create-trimmed.png"
}

# The disk tools tab with drive E: chosen and the capacity check selected:
# no file field, the two tools as radio buttons.
shot_disk_tools() {
  local index
  e2e_start_tavrin
  wine "$UIDRIVER_EXE" tab 2 >/dev/null
  index=$(wine "$UIDRIVER_EXE" combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
  [ -n "$index" ] || e2e_die "drive E: is not listed"
  wine "$UIDRIVER_EXE" combo-select 1036 $((index - 1)) >/dev/null
  wine "$UIDRIVER_EXE" check 1050 1 >/dev/null || e2e_die "the capacity check cannot be chosen"
  sleep 0.3
  e2e_screenshot "$DOCS/disk-tools.png"
  wine "$UIDRIVER_EXE" close >/dev/null
  wait "$E2E_TAVRIN_PID" 2>/dev/null
  echo "screenshots: $DOCS/disk-tools.png"
}

shot_main_window
shot_running_job
shot_create_trimmed
shot_disk_tools
