# Sourced by tests/e2e/run.sh, scripts/demo.sh and scripts/screenshots.sh: the
# private Wine world tavrin.exe runs in. A temporary folder holds the prefix, the
# logs and every drive mapping; an X server of our own gives the windows a
# display; one cleanup, run by a trap on every exit, ends what was started.
#
# Functions: e2e_init, e2e_build_product, e2e_start_xvfb, e2e_make_prefix,
# e2e_cleanup, e2e_die, e2e_demo_drive, e2e_start_tavrin, e2e_screenshot. Variables after e2e_init: REPO, E2E_DIR, E2E_WORK,
# E2E_OUT, E2E_STATE, WINEPREFIX, DISPLAY (after e2e_start_xvfb), TAVRIN_EXE,
# UIDRIVER_EXE (after e2e_build_product).

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$E2E_DIR/../.." && pwd)
export E2E_DIR REPO

e2e_die() { echo "e2e: $*" >&2; exit 1; }

e2e_log() { [ -n "${E2E_QUIET:-}" ] || echo "e2e: $*" >&2; }

# Temporary folder, Wine settings and the trap. Call first.
e2e_init() {
  [ "$(id -u)" = 0 ] || e2e_die "must run as root (apt-get, losetup, FUSE and /etc/hosts bind mounts need it)"
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-e2e.XXXXXX") || e2e_die "cannot make a temporary folder"
  E2E_OUT=${E2E_OUT:-$E2E_WORK/out}
  E2E_STATE=$E2E_WORK/state           # what scenarios started: loops, mounts, pids (one per line)
  mkdir -p "$E2E_OUT" "$E2E_STATE" || e2e_die "cannot make $E2E_OUT"
  : >"$E2E_STATE/loops"; : >"$E2E_STATE/mounts"; : >"$E2E_STATE/pids"
  export E2E_WORK E2E_OUT E2E_STATE
  export WINEPREFIX=$E2E_WORK/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # A Western locale: code page 1252, so a Chinese text passed through an ANSI
  # call would come out as "??" and be caught.
  export LC_ALL=C.UTF-8 LANG=C.UTF-8
  unset WINESERVER WINELOADER
  E2E_XVFB_PID=""
  trap e2e_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# Builds the product preset unless TAVRIN_EXE and UIDRIVER_EXE name ready files.
e2e_build_product() {
  local dir=${TAVRIN_BUILD_DIR:-$REPO/build}/product
  if [ -z "${TAVRIN_EXE:-}" ] || [ -z "${UIDRIVER_EXE:-}" ]; then
    e2e_log "building the product preset in $dir"
    (cd "$REPO" && cmake --preset product -B "$dir" >"$E2E_OUT/build-configure.log" 2>&1) ||
      e2e_die "configuring the product failed, see $E2E_OUT/build-configure.log"
    cmake --build "$dir" -j2 >"$E2E_OUT/build.log" 2>&1 ||
      { tail -20 "$E2E_OUT/build.log" >&2; e2e_die "building the product failed, see $E2E_OUT/build.log"; }
    TAVRIN_EXE=${TAVRIN_EXE:-$dir/tavrin.exe}
    UIDRIVER_EXE=${UIDRIVER_EXE:-$dir/tavrin_uidriver.exe}
  fi
  [ -f "$TAVRIN_EXE" ] || e2e_die "no tavrin.exe at $TAVRIN_EXE"
  [ -f "$UIDRIVER_EXE" ] || e2e_die "no UI driver at $UIDRIVER_EXE"
  TAVRIN_EXE=$(readlink -f "$TAVRIN_EXE"); UIDRIVER_EXE=$(readlink -f "$UIDRIVER_EXE")
  export TAVRIN_EXE UIDRIVER_EXE
}

# An X server on a display number it picks itself among the free ones.
e2e_start_xvfb() {
  local fdfile=$E2E_WORK/xvfb.display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >"$E2E_OUT/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$fdfile" ] && break
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || e2e_die "Xvfb failed to start: $(tail -1 "$E2E_OUT/xvfb.log")"
    sleep 0.1
  done
  [ -s "$fdfile" ] || e2e_die "no free X display: Xvfb did not report one within 10 s"
  export DISPLAY=":$(head -1 "$fdfile")"
  for i in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  xdotool getdisplaygeometry >/dev/null 2>&1 || e2e_die "X display $DISPLAY does not answer"
  e2e_log "Xvfb on $DISPLAY (pid $E2E_XVFB_PID)"
}

e2e_reg() { wine reg add "$@" /f >>"$E2E_OUT/reg.log" 2>&1 || e2e_die "wine reg add $1 failed"; }

# A fresh 32-bit prefix with the fonts, the settings the suite relies on, and a
# persistent wineserver (no 3 s linger per program start).
e2e_make_prefix() {
  wineboot -i >"$E2E_OUT/wineboot.log" 2>&1 || e2e_die "wineboot -i failed, see $E2E_OUT/wineboot.log"
  # Wine's own fonts, less every "MS Sans Serif": the templates ask for it, it
  # has no Chinese glyphs, and while it exists the substitute below is ignored.
  local f n=0
  for f in /usr/share/wine/fonts/*; do
    case $(basename "$f") in ms_sans_serif.ttf | sserif*.fon | ssee*.fon | ssef*.fon) continue ;; esac
    cp "$f" "$WINEPREFIX/drive_c/windows/Fonts/" && n=$((n + 1))
  done
  [ "$n" -gt 0 ] || e2e_die "no fonts in /usr/share/wine/fonts (package fonts-wine)"
  e2e_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Sans Serif' /d 'WenQuanYi Micro Hei'
  # Without a window manager every hidden window would stall 2 s. On a real
  # desktop (E2E_MANAGED=1) the window manager keeps its windows.
  [ -n "${E2E_MANAGED:-}" ] || e2e_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
  # The scenarios expect the Chinese window unless they choose otherwise
  # (set_tavrin_setting); Wine's own locale here is English.
  e2e_reg 'HKCU\Software\Tavrin' /v Language /d zh-CN
  # Pages the program opens are recorded instead of shown.
  local recorder=$E2E_WORK/record-url
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/urls.log"\n' "$E2E_OUT" >"$recorder"
  chmod +x "$recorder"; : >"$E2E_OUT/urls.log"
  e2e_reg 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$recorder"
  wineserver -k 2>/dev/null || true
  wineserver -p || e2e_die "wineserver -p failed"
  e2e_record_wineserver
  mkdir -p "$E2E_WORK/drives"
  e2e_log "prefix ready at $WINEPREFIX"
}

# Notes the PID of this prefix's wineserver, so the cleanup can end it even if
# the prefix folder is gone by then (wineserver -k needs the folder).
e2e_record_wineserver() {
  local p
  for p in /proc/[0-9]*; do
    case $(cat "$p/comm" 2>/dev/null) in wineserver*) ;; *) continue ;; esac
    tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "${p#/proc/}" >>"$E2E_STATE/servers"
  done
  return 0
}

# Ends everything the suite (or a scenario that was killed) started, by PID and
# by recorded device, and removes the temporary folder unless asked to keep it.
e2e_cleanup() {
  local rc=$?
  set +e
  trap - EXIT INT TERM
  if [ -n "${E2E_STATE:-}" ] && [ -d "$E2E_STATE" ]; then
    local p m l
    while read -r p; do [ -n "$p" ] && kill "$p" 2>/dev/null; done <"$E2E_STATE/pids"
    [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    [ -f "$E2E_STATE/servers" ] && while read -r p; do
      [ -n "$p" ] && kill "$p" 2>/dev/null
    done <"$E2E_STATE/servers"
    while read -r m; do
      [ -n "$m" ] && mountpoint -q "$m" && { umount "$m" 2>/dev/null || umount -l "$m"; }
    done <"$E2E_STATE/mounts"
    while read -r l; do
      [ -n "$l" ] && losetup "$l" >/dev/null 2>&1 && losetup -d "$l"
    done <"$E2E_STATE/loops"
  fi
  if [ -n "${E2E_XVFB_PID:-}" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null
    wait "$E2E_XVFB_PID" 2>/dev/null
  fi
  if [ -n "${E2E_WORK:-}" ] && [ -d "$E2E_WORK" ]; then
    if [ -n "${E2E_KEEP:-}" ]; then
      echo "e2e: kept $E2E_WORK" >&2
    elif [ "$rc" != 0 ] && [ "$E2E_OUT" = "$E2E_WORK/out" ]; then
      # Keep the logs of a failed run; the prefix is large and of no use.
      rm -rf "$E2E_WORK/prefix" "$E2E_WORK/drives"
      echo "e2e: logs kept in $E2E_OUT" >&2
    else
      rm -rf "$E2E_WORK"
    fi
  fi
  exit "$rc"
}

# The demo drive: a 64 MiB disk file mapped as drive E: and a sample image
# (3 MiB + 100 bytes of a pattern) beside it, in folder $1. Sets DEMO_DISK and
# DEMO_IMAGE. Nothing outside the folder and the prefix is touched.
e2e_demo_drive() {
  local dir=$1
  mkdir -p "$dir/drive-e" || e2e_die "cannot make $dir"
  DEMO_DISK=$dir/demo-disk-e.img
  DEMO_IMAGE=$dir/sample.img
  rm -f "$DEMO_DISK"
  truncate -s 64M "$DEMO_DISK" || e2e_die "cannot make $DEMO_DISK"
  /usr/bin/python3 - "$DEMO_IMAGE" $((3 * 1024 * 1024 + 100)) <<'PY' || e2e_die "cannot make $DEMO_IMAGE"
import sys
path, size = sys.argv[1], int(sys.argv[2])
sector = bytearray(512)
with open(path, 'wb') as f:
    for n in range((size + 511) // 512):
        text = b'Tavrin demo image, sector %08d ' % n
        for i in range(512):
            sector[i] = text[i % len(text)]
        f.write(sector[:min(512, size - n * 512)])
PY
  ln -sfn "$dir/drive-e" "$WINEPREFIX/dosdevices/e:"
  ln -sfn "$DEMO_DISK" "$WINEPREFIX/dosdevices/e::"
  export DEMO_DISK DEMO_IMAGE
}

# Starts tavrin.exe in the background, waits for its main window; sets E2E_TAVRIN_PID.
e2e_start_tavrin() {
  wine "$TAVRIN_EXE" >>"$E2E_OUT/tavrin.log" 2>&1 &
  E2E_TAVRIN_PID=$!
  echo "$E2E_TAVRIN_PID" >>"$E2E_STATE/pids"
  wine "$UIDRIVER_EXE" wait 30000 >/dev/null || e2e_die "the main window of tavrin.exe did not appear"
}

# PNG of the visible tavrin.exe window into $1.
e2e_screenshot() {
  local wid
  wid=$(timeout 20 xdotool search --sync --onlyvisible --class tavrin.exe | head -1)
  [ -n "$wid" ] || e2e_die "no visible tavrin.exe window to photograph"
  sleep 0.5
  import -window "$wid" "$1" || e2e_die "import could not photograph the window"
}
