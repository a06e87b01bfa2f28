# Functions for end-to-end scenarios. run.sh sources this file into a fresh
# bash for each scenario (with set -eEuo pipefail), so a failing command fails
# the scenario; everything a scenario starts is ended by its exit trap, and is
# also recorded for run.sh's own cleanup in case the scenario is killed.
#
# Drives      map_file_drive L PATH      drive L: opens PATH raw (a plain file grows when written past its end)
#             map_loop_drive L FILE      drive L: on a loop device over FILE (writes past the end fail, error 112)
#             map_eio_drive L SIZE [BACKING FROM TO]
#                                        drive L: on a FUSE file of SIZE bytes whose reads and writes fail with
#                                        EIO (a "Not Ready" drive); with BACKING, only bytes FROM..TO-1 fail
#             map_fake_drive L SIZE BACKING [wrap|lose]
#                                        drive L: a fake-capacity stick that claims SIZE bytes, keeps BACKING's
#                                        size and wraps every later offset onto its start (FUSE, direct I/O);
#                                        with "lose", later writes are dropped and reads there give zeros
#             set_drive_type L TYPE      floppy|hd|cdrom|network for GetDriveType; call before start_tavrin
#             unmap_drive L
#             map_physical_disk N PATH   \\.\PhysicalDriveN opens PATH (a file or block device): "Physical Disk N"
# Program     start_tavrin               start tavrin.exe, wait for its main window
#             start_tavrin_win98         the same with Windows 98 version answers for tavrin.exe
#             start_tavrin_hosts FILE    the same with FILE seen as /etc/hosts (update check)
#             wait_tavrin_exit SECONDS   wait for the program to end; returns its exit code (124: still
#                                        running) and leaves it in TAVRIN_EXIT. Call it in the scenario's
#                                        own shell, not in $(...):  rc=0; wait_tavrin_exit 5 || rc=$?
#             set_tavrin_setting NAME [VALUE]
#                                        HKCU\Software\Tavrin NAME = VALUE (REG_SZ), or removed without
#                                        VALUE; after every scenario only Language = zh-CN is left
# UI          ui ARGS...                 run the UI driver (see tests/e2e/driver/ui_driver.cpp)
# Checks      expect_eq WANT GOT WHAT    fail unless equal
#             control_state ID           "shown|hidden enabled|greyed" from the control's style
#             expect_match REGEX GOT WHAT
#             fail MSG
# Files       SCRATCH                    a folder of this scenario's own
#             win_path PATH              the Windows name of a host path (Z:\...)
#             make_pattern_file PATH BYTES   a file whose every byte depends on its offset
#             urls_log                   the URLs opened in the "browser" so far
#             wait_url REGEX [SECONDS]   wait for such a URL, print it
#             screenshot FILE            PNG of the main window

source "$E2E_DIR/env.sh"   # e2e_record_wineserver

SCENARIO=${SCENARIO:-$(basename "${BASH_SOURCE[1]:-scenario}" .sh)}
SCRATCH=$(mktemp -d "$E2E_WORK/scratch.XXXXXX")
TAVRIN_PID=""
_SCENARIO_PIDS=()
_SCENARIO_DRIVES=()
_SCENARIO_DISKS=()
_SCENARIO_WIN98=""
_SCENARIO_DRIVE_TYPES=()

fail() {
  echo "FAIL [$SCENARIO]: $*" >&2
  exit 1
}

expect_eq() {
  [ "$1" == "$2" ] || fail "$3: want '$1', got '$2'"
}

control_state() {
  local style
  style=$(ui style "$1") || fail "no style for control $1"
  echo "$( ((style & 0x10000000)) && echo shown || echo hidden) $( ((style & 0x08000000)) && echo greyed || echo enabled)"
}

expect_match() {
  [[ "$2" =~ $1 ]] || fail "$3: want a match of /$1/, got '$2'"
}

_record() { echo "$2" >>"$E2E_STATE/$1"; }

win_path() {
  local p
  p=$(readlink -f "$1")
  printf 'Z:%s\n' "${p//\//\\}"
}

make_pattern_file() {
  # Byte at offset o is (o*7 + o/512) mod 256: each sector differs from its
  # neighbours, so a misplaced or repeated sector shows.
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import sys
path, size = sys.argv[1], int(sys.argv[2])
with open(path, 'wb') as f:
    chunk = 1 << 20
    for start in range(0, size, chunk):
        n = min(chunk, size - start)
        f.write(bytes(((o * 7 + o // 512) & 0xFF) for o in range(start, start + n)))
EOF
}

_dos() { echo "$WINEPREFIX/dosdevices/$(echo "$1" | tr 'A-Z' 'a-z')"; }

# The drive's mount point (an empty folder) makes the letter exist; the "::"
# link is what CreateFileA("\\.\L:") opens.
_map_raw() {
  local letter=$1 target=$2 d
  d=$(_dos "$letter")
  mkdir -p "$E2E_WORK/drives/$letter"
  ln -sfn "$E2E_WORK/drives/$letter" "$d:"
  ln -sfn "$target" "$d::"
  _SCENARIO_DRIVES+=("$letter")
}

map_file_drive() {
  [ $# = 2 ] || fail "usage: map_file_drive LETTER PATH"
  [ -e "$2" ] || fail "map_file_drive: no file $2"
  _map_raw "$1" "$(readlink -f "$2")"
}

map_loop_drive() {
  [ $# = 2 ] || fail "usage: map_loop_drive LETTER FILE"
  local loop
  loop=$(losetup -f --show "$2" 2>&1) || fail "losetup failed (root and loop devices needed): $loop"
  _record loops "$loop"
  eval "_LOOP_$1=$loop"
  _map_raw "$1" "$loop"
}

map_fake_drive() {
  [ $# = 3 ] || { [ $# = 4 ] && [[ $4 =~ ^(wrap|lose)$ ]]; } || fail "usage: map_fake_drive LETTER SIZE BACKING [wrap|lose]"
  map_eio_drive "$1" "$2" "--${4:-wrap}" "$(readlink -f "$3")"
}

map_eio_drive() {
  [ $# = 2 ] || [ $# = 4 ] || [ $# = 5 ] || [ $# = 6 ] ||
    fail "usage: map_eio_drive LETTER SIZE [BACKING FROM TO | --wrap BACKING | --lose BACKING | --slow BACKING MS MBPS]"
  [ -e /dev/fuse ] || fail "map_eio_drive: /dev/fuse missing"
  local letter=$1 mnt=$E2E_WORK/drives/eio-$1 i
  mkdir -p "$mnt"
  /usr/bin/python3 "$E2E_DIR/eiofs.py" "$mnt" "${@:2}" >"$E2E_OUT/eiofs-$letter.log" 2>&1 &
  local pid=$!
  _record pids "$pid"; _record mounts "$mnt"; _SCENARIO_PIDS+=("$pid")
  for i in $(seq 100); do [ -e "$mnt/disk" ] && break; sleep 0.05; done
  [ -e "$mnt/disk" ] || fail "eiofs did not mount: $(tail -1 "$E2E_OUT/eiofs-$letter.log")"
  eval "_MOUNT_$letter=$mnt"
  _map_raw "$letter" "$mnt/disk"
}

map_physical_disk() {
  [ $# = 2 ] || fail "usage: map_physical_disk DIGIT PATH"
  [ -e "$2" ] || fail "map_physical_disk: no file $2"
  ln -sfn "$(readlink -f "$2")" "$WINEPREFIX/dosdevices/physicaldrive$1"
  _SCENARIO_DISKS+=("$1")
}

set_drive_type() {
  [ $# = 2 ] || fail "usage: set_drive_type LETTER floppy|hd|cdrom|network"
  local l
  l=$(echo "$1" | tr 'A-Z' 'a-z')
  wine reg add 'HKLM\Software\Wine\Drives' /v "$l:" /d "$2" /f >/dev/null 2>&1 || fail "cannot set drive type"
  _SCENARIO_DRIVE_TYPES+=("$l")
  # The mount manager reads the types when the server starts.
  wineserver -k 2>/dev/null || true
  wineserver -p
  e2e_record_wineserver
}

unmap_drive() {
  local letter=$1 d v
  d=$(_dos "$letter")
  rm -f "$d:" "$d::"
  v=_LOOP_$letter
  if [ -n "${!v:-}" ]; then losetup -d "${!v}" 2>/dev/null || true; eval "$v="; fi
  v=_MOUNT_$letter
  if [ -n "${!v:-}" ]; then
    mountpoint -q "${!v}" && { umount "${!v}" 2>/dev/null || umount -l "${!v}"; }
    eval "$v="
  fi
}

ui() {
  wine "$UIDRIVER_EXE" "$@"
}

_wait_main_window() {
  if ! ui wait 30000 >/dev/null; then
    fail "the main window did not appear; tavrin.exe $(kill -0 "$TAVRIN_PID" 2>/dev/null && echo runs || echo ended)"
  fi
}

start_tavrin() {
  wine "$TAVRIN_EXE" >>"$E2E_OUT/tavrin-$SCENARIO.log" 2>&1 &
  TAVRIN_PID=$!
  _record pids "$TAVRIN_PID"; _SCENARIO_PIDS+=("$TAVRIN_PID")
  _wait_main_window
}

start_tavrin_win98() {
  wine reg add 'HKCU\Software\Wine\AppDefaults\tavrin.exe' /v Version /d win98 /f >/dev/null 2>&1 ||
    fail "cannot set the win98 version for tavrin.exe"
  _SCENARIO_WIN98=1
  start_tavrin
}

start_tavrin_hosts() {
  [ -f "${1:-}" ] || fail "usage: start_tavrin_hosts FILE"
  [ -e /etc/hosts ] || touch /etc/hosts
  local hosts
  hosts=$(readlink -f "$1")
  unshare -m sh -c "mount --bind '$hosts' /etc/hosts && exec wine '$TAVRIN_EXE'" \
    >>"$E2E_OUT/tavrin-$SCENARIO.log" 2>&1 &
  TAVRIN_PID=$!
  _record pids "$TAVRIN_PID"; _SCENARIO_PIDS+=("$TAVRIN_PID")
  _wait_main_window
}

set_tavrin_setting() {
  if [ $# -ge 2 ]; then
    wine reg add 'HKCU\Software\Tavrin' /v "$1" /d "$2" /f >/dev/null 2>&1 || fail "cannot set $1"
  else
    wine reg delete 'HKCU\Software\Tavrin' /v "$1" /f >/dev/null 2>&1 || true
  fi
}

wait_tavrin_exit() {
  local seconds=${1:-10} i rc=0
  [ -n "$TAVRIN_PID" ] || fail "wait_tavrin_exit: tavrin.exe was not started"
  for i in $(seq $((seconds * 10))); do
    kill -0 "$TAVRIN_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$TAVRIN_PID" 2>/dev/null; then
    TAVRIN_EXIT=124
    return 124
  fi
  wait "$TAVRIN_PID" || rc=$?
  TAVRIN_PID=""
  TAVRIN_EXIT=$rc
  return "$rc"
}

urls_log() {
  cat "$E2E_OUT/urls.log" 2>/dev/null || true
}

wait_url() {
  local re=$1 seconds=${2:-5} i line
  for i in $(seq $((seconds * 10))); do
    line=$(grep -E -- "$re" "$E2E_OUT/urls.log" 2>/dev/null | tail -1 || true)
    if [ -n "$line" ]; then echo "$line"; return 0; fi
    sleep 0.1
  done
  fail "no URL matching /$re/ was opened; opened: $(urls_log | tr '\n' ' ')"
}

screenshot() {
  local wid
  wid=$(timeout 20 xdotool search --sync --onlyvisible --class tavrin.exe | head -1) ||
    fail "no visible tavrin.exe window to photograph"
  sleep 0.3
  import -window "$wid" "$1" || fail "import failed"
}

_scenario_cleanup() {
  local rc=$? p l
  set +e
  trap - ERR
  for p in "${_SCENARIO_PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${_SCENARIO_PIDS[@]}"; do wait "$p" 2>/dev/null; done
  for l in "${_SCENARIO_DRIVES[@]}"; do unmap_drive "$l"; done
  for l in "${_SCENARIO_DISKS[@]}"; do rm -f "$WINEPREFIX/dosdevices/physicaldrive$l"; done
  # Every window that closes remembers its settings (the verify box among
  # them), so each scenario leaves only the language the suite starts with.
  wine reg delete 'HKCU\Software\Tavrin' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Tavrin' /v Language /d zh-CN /f >/dev/null 2>&1
  if [ -n "$_SCENARIO_WIN98" ]; then
    wine reg delete 'HKCU\Software\Wine\AppDefaults\tavrin.exe' /f >/dev/null 2>&1
  fi
  if [ ${#_SCENARIO_DRIVE_TYPES[@]} -gt 0 ]; then
    for l in "${_SCENARIO_DRIVE_TYPES[@]}"; do
      wine reg delete 'HKLM\Software\Wine\Drives' /v "$l:" /f >/dev/null 2>&1
    done
    wineserver -k 2>/dev/null; wineserver -p; e2e_record_wineserver
  fi
  rm -rf "$SCRATCH"
  exit "$rc"
}
trap _scenario_cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'echo "FAIL [$SCENARIO]: line $LINENO: $BASH_COMMAND" >&2' ERR
