# The benchmark's body, run by bench/run.sh in a fresh bash with
# tests/e2e/lib.sh sourced (so its drive mapping, program start, UI driver and
# cleanup trap are those of the end-to-end suite).
#
# Inputs (environment): BENCH_BYTES (disk and image size), BENCH_RUNS,
# STOPWATCH_EXE, BENCH_REPORT (file that receives the summary).
#
# For each direction it times, BENCH_RUNS times each and interleaved:
#   tavrin     the real tavrin.exe, from the Start press to the "Success" box
#              (writing: with the verify box cleared)
#   dd-64K     dd with 65,536-byte blocks and the open flags Wine gives the
#              device handle (found by strace on the first, untimed run)
#   dd-4M      dd with 4 MiB blocks and the same flags
# and, writing, also
#   tavrin-verify  tavrin.exe with the verify box checked: the write, then the
#              pass that reads the disk back and compares it with the image
#   dd-64K-verify  dd-64K's write, then dd reading the disk back with 64 KiB
#              blocks into cmp against the image, at once, as the pass does
#   tavrin-sha256  tavrin.exe writing the same image with a NAME.sha256 beside
#              it: the image's sum is taken on the reader thread and judged
# and checks the bytes after every run: a run that moves wrong bytes stops the
# benchmark with an error.
# Then it writes a mixed image (half random, half zeros) compressed by the
# native zstd, xz and gzip, by tavrin and by the native decompressor piped into
# dd with 65,536-byte blocks, checking the disk after each run the same way;
# also xz -T0's file of several blocks (decoded on every core) against
# xz -dc -T0 piped into dd.
# Last, a slow-stick model: a FUSE drive F: of BENCH_SLOW_MIB (default 128)
# that waits BENCH_SLOW_MS (default 1) per request and moves at most
# BENCH_SLOW_MBPS (default 60) MB/s, written by tavrin, dd 64 KiB and dd 4 MiB.

BYTES=${BENCH_BYTES:?}
RUNS=${BENCH_RUNS:?}
TICKS=$(getconf CLK_TCK)


# utime + stime of a process and all its threads, in clock ticks.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# The pid of the wineserver of this prefix (the process that opens unix files
# for the program).
wineserver_pid() {
  local p
  for p in /proc/[0-9]*; do
    [[ "$(readlink "$p/exe" 2>/dev/null)" == *wineserver* ]] || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { basename "$p"; return 0; }
  done
  return 1
}

# The real process of tavrin.exe: the wine script execs the loader, so the pid
# start_tavrin recorded is it, once the exec has happened.
tavrin_process() {
  local i
  for i in $(seq 50); do
    tr '\0' ' ' <"/proc/$TAVRIN_PID/cmdline" 2>/dev/null | grep -q 'tavrin.exe' &&
      [[ "$(readlink "/proc/$TAVRIN_PID/exe")" != */sh && "$(readlink "/proc/$TAVRIN_PID/exe")" != */dash ]] &&
      { echo "$TAVRIN_PID"; return 0; }
    sleep 0.1
  done
  fail "cannot find the tavrin.exe process (pid $TAVRIN_PID)"
}

# dd flag words for the open flags strace printed for the device.
dd_flags() {
  local words=() f
  for f in $(echo "$1" | tr '|' ' '); do
    case "$f" in
      O_DIRECT) words+=(direct) ;;
      O_SYNC) words+=(sync) ;;
      O_DSYNC) words+=(dsync) ;;
    esac
  done
  local IFS=,
  echo "${words[*]}"
}

stopwatch() { wine "$STOPWATCH_EXE" "$@" | tr -d '\r'; }

# The window shows itself before it has probed the drives and filled the list.
DRIVE_INDEX=""
wait_drive_list() {
  local i
  for i in $(seq 120); do
    DRIVE_INDEX=$(ui combo-items 1036 | tr -d '\r' | grep -n '^Drive E:' | head -1 | cut -d: -f1 || true)
    [ -n "$DRIVE_INDEX" ] && return 0
    sleep 0.25
  done
  fail "drive E: is not in the drive list: $(ui combo-items 1036 | tr '\r\n' '  ')"
}

select_drive_e() { ui combo-select 1036 $((DRIVE_INDEX - 1)) >/dev/null; }
SELECT_DRIVE=select_drive_e
select_drive_f() {
  local index
  index=$(ui combo-items 1036 | tr -d '\r' | grep -n '^Drive F:' | head -1 | cut -d: -f1 || true)
  [ -n "$index" ] || fail "drive F: is not in the drive list"
  ui combo-select 1036 $((index - 1)) >/dev/null
}

# One job through tavrin.exe. Sets RUN_SECONDS (press to box), RUN_JOB (answer
# to the warning to box), RUN_CPU (tavrin.exe, all threads) and RUN_SERVER_CPU
# (the wineserver, which serves its calls), in seconds.
tavrin_job() {
  local direction=$1 file=$2 tab=0 verify=0 before after server_before server_after out
  [ "$direction" = create ] && tab=1
  [ "$direction" = verify ] && { verify=1; direction=write; }
  ui tab "$tab" >/dev/null
  [ "$tab" = 0 ] && ui check 1046 "$verify" >/dev/null
  ui set-text 1039 "$(win_path "$file")"
  $SELECT_DRIVE
  before=$(cpu_ticks "$PID"); server_before=$(cpu_ticks "$SERVER")
  out=$(stopwatch "$direction") || fail "tavrin.exe did not succeed ($direction): $out"
  after=$(cpu_ticks "$PID"); server_after=$(cpu_ticks "$SERVER")
  ui answer Success ok >/dev/null
  ui wait-text 1008 Start 10000 >/dev/null || fail "the button does not read Start after the job"
  RUN_SECONDS=${out% *}
  RUN_JOB=${out#* }
  RUN_CPU=$(awk -v a="$before" -v b="$after" -v t="$TICKS" 'BEGIN { printf "%.3f", (b - a) / t }')
  RUN_SERVER_CPU=$(awk -v a="$server_before" -v b="$server_after" -v t="$TICKS" 'BEGIN { printf "%.3f", (b - a) / t }')
}

# The device must hold exactly the image just written.
verify_write() {
  cmp -n "$BYTES" "$1" "$LOOP" >/dev/null || fail "after $2 (write) the disk does not hold the image"
}

# The image must be exactly the device, no byte more or less.
verify_create() {
  local size
  size=$(stat -c %s "$1")
  [ "$size" = "$BYTES" ] || fail "after $2 (create) the image has $size bytes, the disk $BYTES"
  cmp "$1" "$LOOP" >/dev/null || fail "after $2 (create) the image differs from the disk"
}

record() { echo "$1 $2 $3 ${4:-}" >>"$SCRATCH/results"; }   # direction tool seconds [cpu]
record_tavrin() {
  record "$1" tavrin "$RUN_SECONDS" "$RUN_CPU"
  record "$1" tavrin-job "$RUN_JOB"
  record "$1" wineserver 0 "$RUN_SERVER_CPU"
}

# --- set up ------------------------------------------------------------------------
echo "bench: $((BYTES / 1048576)) MiB, $RUNS runs per tool and direction, disk in ${BENCH_DISK_DIR:-/dev/shm}" >&2
# The disk lives in memory (tmpfs) unless BENCH_DISK_DIR says otherwise: a
# fast medium that other users of the machine's storage cannot slow down
# shows the tools' own costs per block instead of the storage's moods.
DISK_DIR=$(mktemp -d "${BENCH_DISK_DIR:-/dev/shm}/tavrin-bench.XXXXXX") || fail "cannot make the disk's folder"
_bench_cleanup() {
  local rc=$?
  set +e
  trap - ERR
  unmap_drive E
  rm -rf "$DISK_DIR"
  (exit "$rc")
  _scenario_cleanup
}
trap _bench_cleanup EXIT
truncate -s "$BYTES" "$DISK_DIR/disk.bin"
map_loop_drive E "$DISK_DIR/disk.bin"
LOOP=$_LOOP_E
IMAGES=("$SCRATCH/a.img" "$SCRATCH/b.img")
for img in "${IMAGES[@]}"; do head -c "$BYTES" /dev/urandom >"$img"; done
cmp -s "${IMAGES[0]}" "${IMAGES[1]}" && fail "the two random images are equal"
# The same bytes under another name, with its published sum beside it.
for img in "${IMAGES[@]}"; do
  ln -f "$img" "${img%.img}-sum.img"
  echo "$(sha256sum <"$img" | cut -d' ' -f1) *$(basename "${img%.img}-sum.img")" >"${img%.img}-sum.img.sha256"
done
OUT=$SCRATCH/out.img
: >"$SCRATCH/results"

SLOW_MIB=${BENCH_SLOW_MIB:-128}
SLOW_MS=${BENCH_SLOW_MS:-1}
SLOW_MBPS=${BENCH_SLOW_MBPS:-60}
SLOW_BYTES=$((SLOW_MIB * 1048576))
truncate -s "$SLOW_BYTES" "$DISK_DIR/slow.bin"
head -c "$SLOW_BYTES" "${IMAGES[0]}" >"$SCRATCH/slow-a.img"
head -c "$SLOW_BYTES" "${IMAGES[1]}" >"$SCRATCH/slow-b.img"
map_eio_drive F "$SLOW_BYTES" --slow "$DISK_DIR/slow.bin" "$SLOW_MS" "$SLOW_MBPS"
SLOW_DISK=$_MOUNT_F/disk

start_tavrin
PID=$(tavrin_process)
wait_drive_list
SERVER=$(wineserver_pid) || fail "cannot find the wineserver of $WINEPREFIX"

# --- the open flags Wine applies, from an untimed run of each direction ----------------
# Leaves the flags in OPEN_FLAGS. strace is one of the scenario's processes,
# so it is ended however the scenario ends.
probe_flags() {
  local direction=$1 file=$2 log=$SCRATCH/strace-$1.log spid line
  strace -f -qq -e trace=openat,open -o "$log" -p "$SERVER" -p "$PID" >/dev/null 2>&1 &
  spid=$!
  _SCENARIO_PIDS+=("$spid"); _record pids "$spid"
  sleep 1
  tavrin_job "$direction" "$file"
  kill "$spid" 2>/dev/null; wait "$spid" 2>/dev/null || true
  line=$(grep -E "(e::|$LOOP)\"" "$log" | grep -v ENOENT | tail -1 || true)
  [ -n "$line" ] || fail "strace saw no open of the device ($direction); see $log"
  echo "bench: $direction opens the device: $line" >&2
  OPEN_FLAGS=$(echo "$line" | grep -oE 'O_[A-Z_|]+' | head -1)
}
probe_flags write "${IMAGES[0]}"
write_open=$OPEN_FLAGS
verify_write "${IMAGES[0]}" "the untimed tavrin run"
probe_flags create "$OUT"
create_open=$OPEN_FLAGS
verify_create "$OUT" "the untimed tavrin run"
rm -f "$OUT" "$OUT.sha256"
WRITE_FLAGS=$(dd_flags "$write_open")
READ_FLAGS=$(dd_flags "$create_open")
echo "bench: device opened for writing with $write_open -> dd oflag=${WRITE_FLAGS:-(none)}" >&2
echo "bench: device opened for reading with $create_open -> dd iflag=${READ_FLAGS:-(none)}" >&2

# dd under the shell's own clock: wall, user and system seconds into DD_TIMES.
timed() {
  local TIMEFORMAT='%R %U %S' out
  out=$({ time "$@" 2>&1 >/dev/null; } 2>&1) || fail "$* failed: $out"
  DD_TIMES=$out
}
dd_write() { timed dd if="$1" of="$LOOP" bs="$2" ${WRITE_FLAGS:+oflag=$WRITE_FLAGS} status=none; }
dd_create() { timed dd if="$LOOP" of="$1" bs="$2" ${READ_FLAGS:+iflag=$READ_FLAGS} status=none; }
# The write, then the disk read back and compared with the image (cmp fails the run on a difference).
dd_write_verify() {
  timed bash -c 'dd if="$1" of="$2" bs=65536 ${3:+oflag=$3} status=none &&
    dd if="$2" bs=65536 ${4:+iflag=$4} status=none | cmp -n "$5" - "$1"' \
    dd-verify "$1" "$LOOP" "$WRITE_FLAGS" "$READ_FLAGS" "$BYTES"
}
record_dd() {
  local wall user sys
  read -r wall user sys <<<"$DD_TIMES"
  record "$1" "$2" "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')"
}

# Every run starts from the same state: no dirty pages left by the previous
# one (an image written through the page cache is still being written back
# after its job ended, and would slow whichever run follows).
# The device's own cache is emptied too, so every create reads through the
# loop driver.
settle() {
  sync
  blockdev --flushbufs "$LOOP" || fail "cannot flush the buffers of $LOOP"
  sleep 1
}

# --- timed runs, interleaved so that a slow spell of the machine hits all tools -------
turn=1  # which image goes next: every write puts the other one on the disk
for run in $(seq "$RUNS"); do
  for tool in tavrin tavrin-verify tavrin-sha256 dd-64K dd-64K-verify dd-4M; do
    img=${IMAGES[$turn]}; turn=$((1 - turn))
    settle
    case $tool in
      tavrin) tavrin_job write "$img"; record_tavrin write ;;
      tavrin-sha256) tavrin_job write "${img%.img}-sum.img"; record write tavrin-sha256 "$RUN_SECONDS" "$RUN_CPU" ;;
      tavrin-verify) tavrin_job verify "$img"; record write tavrin-verify "$RUN_SECONDS" "$RUN_CPU" ;;
      dd-64K-verify) dd_write_verify "$img"; record_dd write dd-64K-verify ;;
      dd-64K) dd_write "$img" 65536; record_dd write dd-64K ;;
      dd-4M) dd_write "$img" 4194304; record_dd write dd-4M ;;
    esac
    verify_write "$img" "$tool run $run"
  done
  for tool in tavrin dd-64K dd-4M; do
    settle
    case $tool in
      tavrin) tavrin_job create "$OUT"; record_tavrin create ;;
      dd-64K) dd_create "$OUT" 65536; record_dd create dd-64K ;;
      dd-4M) dd_create "$OUT" 4194304; record_dd create dd-4M ;;
    esac
    verify_create "$OUT" "$tool run $run"
    rm -f "$OUT" "$OUT.sha256"
  done
  echo "bench: run $run of $RUNS done" >&2
done

# What every job costs whatever its size (the Start command, the worker's
# opening and closing, the outcome box): a job of a single block.
head -c 65536 /dev/urandom >"$SCRATCH/block.img"
for run in $(seq "$RUNS"); do
  settle
  tavrin_job write "$SCRATCH/block.img"
  cmp -n 65536 "$SCRATCH/block.img" "$LOOP" >/dev/null || fail "the one-block job did not land"
  record fixed tavrin-job "$RUN_JOB"
done

# --- compressed images: tavrin against the native decompressor piped into dd --------------
# A mixed image, half random and half zeros (in 1 MiB runs), compressed by the
# native tools at their default levels.
MIXED=$SCRATCH/mixed.img
/usr/bin/python3 - "$MIXED" "$BYTES" <<'PY'
import os, sys
with open(sys.argv[1], "wb") as out:
    left = int(sys.argv[2])
    for i in range((left + 1048575) // 1048576):
        n = min(1048576, left)
        out.write(os.urandom(n) if i % 2 == 0 else bytes(n))
        left -= n
PY
# xzT0: xz -T0's file, cut into blocks that decode on several threads.
declare -A COMPRESS=([zst]="zstd -q -c" [xz]="xz -c" [gz]="gzip -c" [xzT0]="xz -T0 -c")
declare -A DECOMPRESS=([zst]="zstd -q -dc" [xz]="xz -dc" [gz]="gzip -dc" [xzT0]="xz -dc -T0")
declare -A PACKED=([zst]="$MIXED.zst" [xz]="$MIXED.xz" [gz]="$MIXED.gz" [xzT0]="$SCRATCH/mixed-blocks.img.xz")
FORMATS="zst xz gz xzT0"
for format in $FORMATS; do
  ${COMPRESS[$format]} "$MIXED" >"${PACKED[$format]}" || fail "compressing the mixed image as $format failed"
done
echo "bench: mixed image compressed: $(cd "$SCRATCH" && ls -l mixed.img.* mixed-blocks.img.xz | awk '{printf "%s %s  ", $9, $5}')" >&2
native_write() {
  local TIMEFORMAT='%R %U %S' out
  out=$({ time bash -c "set -o pipefail; ${DECOMPRESS[$1]} '${PACKED[$1]}' | dd of='$LOOP' bs=65536 ${WRITE_FLAGS:+oflag=$WRITE_FLAGS} status=none" 2>&1 >/dev/null; } 2>&1) ||
    fail "the native $1 pipeline failed: $out"
  DD_TIMES=$out
}
for run in $(seq "$RUNS"); do
  for format in $FORMATS; do
    for tool in tavrin native; do
      # Another image's start on the disk first, so every run is seen to write the whole image.
      dd if="${IMAGES[0]}" of="$LOOP" bs=4M count=1 status=none
      settle
      case $tool in
        tavrin) tavrin_job write "${PACKED[$format]}"; record "write-$format" tavrin "$RUN_SECONDS" "$RUN_CPU" ;;
        native) native_write "$format"; record_dd "write-$format" native ;;
      esac
      verify_write "$MIXED" "$tool run $run (.$format)"
    done
  done
  echo "bench: compressed run $run of $RUNS done" >&2
done

# --- the slow-stick model: tavrin, dd 64 KiB and dd 4 MiB against the cap ---------------------
SELECT_DRIVE=select_drive_f
slow_dd() { timed dd if="$1" of="$SLOW_DISK" bs="$2" conv=notrunc status=none; }
turn=0
for run in $(seq "$RUNS"); do
  for tool in tavrin dd-64K dd-4M; do
    img=$SCRATCH/slow-a.img; [ "$turn" = 1 ] && img=$SCRATCH/slow-b.img; turn=$((1 - turn))
    sync; sleep 1
    case $tool in
      tavrin) tavrin_job write "$img"; record slow tavrin "$RUN_SECONDS" "$RUN_CPU" ;;
      dd-64K) slow_dd "$img" 65536; record_dd slow dd-64K ;;
      dd-4M) slow_dd "$img" 4194304; record_dd slow dd-4M ;;
    esac
    cmp "$img" "$DISK_DIR/slow.bin" >/dev/null || fail "after $tool run $run the slow stick does not hold the image"
  done
  echo "bench: slow-stick run $run of $RUNS done" >&2
done

ui close >/dev/null
rc=0; wait_tavrin_exit 10 || rc=$?
expect_eq 0 "$rc" "tavrin.exe exit code"

# --- summary -----------------------------------------------------------------------------
/usr/bin/python3 - "$SCRATCH/results" "$BYTES" "$WRITE_FLAGS" "$READ_FLAGS" "${BENCH_DISK_DIR:-/dev/shm}" \
  "$write_open" "$create_open" "$SLOW_BYTES" "$SLOW_MS" "$SLOW_MBPS" <<'EOF' | tee "$BENCH_REPORT"
import statistics, sys
path, size = sys.argv[1], int(sys.argv[2])
oflag, iflag = sys.argv[3] or "(none)", sys.argv[4] or "(none)"
disk_dir, write_open, read_open = sys.argv[5:8]
slow_size, slow_ms, slow_mbps = int(sys.argv[8]), float(sys.argv[9]), float(sys.argv[10])
runs, cpu = {}, {}
for line in open(path):
    parts = line.split()
    key = (parts[0], parts[1])
    runs.setdefault(key, []).append(float(parts[2]))
    if len(parts) > 3:
        cpu.setdefault(key, []).append(float(parts[3]))
mb, gib = size / 1e6, size / (1 << 30)
count = len(runs[("write", "tavrin")])
print(f"size {size // 1048576} MiB, {count} runs each; MB/s = 10^6 bytes/s")
print(f"disk: a loop device over a file in {disk_dir}, mapped as E:")
print(f"Wine opens the device with {write_open} (write) and {read_open} (create)")
print(f"dd flags: write oflag={oflag}, create iflag={iflag}")
print("tavrin: from the Start press to the Success box; tavrin-job: from the answer to the warning")
print("MB/s: the median run, the slowest (min) and the fastest (max); CPU: median over the runs")
print(f"{'direction':<10}{'tool':<15}{'median s':>9}{'MB/s':>8}{'min':>8}{'max':>8}{'CPU s/GiB':>10}   all runs (s)")
for direction in ("write", "create"):
    median, best, cpu_gib = {}, {}, {}
    for tool in ("tavrin", "tavrin-job", "tavrin-verify", "tavrin-sha256", "dd-64K", "dd-64K-verify", "dd-4M"):
        if (direction, tool) not in runs:
            continue
        times = runs[(direction, tool)]
        median[tool] = mb / statistics.median(times)
        best[tool] = mb / min(times)
        used = cpu.get((direction, tool))
        cpu_gib[tool] = statistics.median(used) / gib if used else None
        cpu_text = f"{cpu_gib[tool]:.2f}" if used else "-"
        print(f"{direction:<10}{tool:<15}{statistics.median(times):>9.3f}{median[tool]:>8.1f}{mb / max(times):>8.1f}"
              f"{best[tool]:>8.1f}{cpu_text:>10}   " + " ".join(f"{t:.3f}" for t in times))
    server = statistics.median(cpu[(direction, "wineserver")]) / gib
    print(f"{direction:<10}wineserver CPU during tavrin's runs: {server:.2f} s/GiB")
    fixed = statistics.median(runs[("fixed", "tavrin-job")])
    streaming = mb / (statistics.median(runs[(direction, "tavrin-job")]) - fixed)
    print(f"{direction:<10}tavrin-job less the cost of a one-block job ({fixed:.3f} s): {streaming:.1f} MB/s, "
          f"{streaming / median['dd-64K']:.3f} of dd-64K")
    print(f"{direction:<10}RATIOS median: tavrin/dd-64K {median['tavrin'] / median['dd-64K']:.3f}  "
          f"tavrin/dd-4M {median['tavrin'] / median['dd-4M']:.3f}  "
          f"tavrin-job/dd-64K {median['tavrin-job'] / median['dd-64K']:.3f}   "
          f"best: tavrin/dd-64K {best['tavrin'] / best['dd-64K']:.3f}  tavrin/dd-4M {best['tavrin'] / best['dd-4M']:.3f}")
    print(f"{direction:<10}CPU per GiB: tavrin/dd-64K {cpu_gib['tavrin'] / cpu_gib['dd-64K']:.2f}  "
          f"tavrin/dd-4M {cpu_gib['tavrin'] / cpu_gib['dd-4M']:.2f}")
    if direction == "write":
        # The pass alone: what the verifying run takes beyond the plain one.
        def pass_seconds(verified, plain):
            return statistics.median(runs[("write", verified)]) - statistics.median(runs[("write", plain)])
        ours, theirs = pass_seconds("tavrin-verify", "tavrin"), pass_seconds("dd-64K-verify", "dd-64K")
        create = mb / statistics.median(runs[("create", "tavrin")])
        speed = lambda seconds: f"{mb / seconds:.1f} MB/s" if seconds > 0 else "n/a (within the noise)"
        print(f"verify    RATIOS median: tavrin-verify/tavrin {median['tavrin-verify'] / median['tavrin']:.3f}  "
              f"tavrin-verify/dd-64K-verify {median['tavrin-verify'] / median['dd-64K-verify']:.3f}")
        print(f"sha256    RATIO median: tavrin-sha256/tavrin {median['tavrin-sha256'] / median['tavrin']:.3f} "
              f"(the write with its published sum beside it against the same write without)")
        print(f"verify    the pass alone (verifying less plain run): tavrin {ours:.3f} s = {speed(ours)}, "
              f"dd-64K read back into cmp {theirs:.3f} s = {speed(theirs)}; tavrin create {create:.1f} MB/s")
def spread(key):
    times = runs[key]
    return f"{mb / max(times):.1f}-{mb / min(times):.1f}"
for fmt in ("zst", "xz", "gz", "xzT0"):
    direction = "write-" + fmt
    if (direction, "tavrin") not in runs:
        continue
    t, n = statistics.median(runs[(direction, "tavrin")]), statistics.median(runs[(direction, "native")])
    print(f"{direction:<11}min-max MB/s: tavrin {spread((direction, 'tavrin'))}, native {spread((direction, 'native'))}")
    print(f"{direction:<11}tavrin {mb / t:.1f} MB/s ({statistics.median(cpu[(direction, 'tavrin')]) / gib:.2f} CPU s/GiB)  "
          f"native decompressor | dd 64K {mb / n:.1f} MB/s ({statistics.median(cpu[(direction, 'native')]) / gib:.2f})  "
          f"RATIO tavrin/native {n / t:.3f}   all runs (s): tavrin " + " ".join(f"{x:.3f}" for x in runs[(direction, "tavrin")])
          + " native " + " ".join(f"{x:.3f}" for x in runs[(direction, "native")]))
if ("write-xzT0", "tavrin") in runs and ("write-xz", "tavrin") in runs:
    one = statistics.median(runs[("write-xz", "tavrin")])
    many = statistics.median(runs[("write-xzT0", "tavrin")])
    print(f"xz        RATIO median: tavrin on xz -T0's blocks / tavrin on one block {one / many:.3f}")
if ("slow", "tavrin") in runs:
    smb = slow_size / 1e6
    print(f"slow      a FUSE stick of {slow_size // 1048576} MiB, {slow_ms:g} ms per request, capped at {slow_mbps:g} MB/s "
          "(FUSE hands the requests on in pieces of at most 128 KiB)")
    for tool in ("tavrin", "dd-64K", "dd-4M"):
        times = runs[("slow", tool)]
        m = smb / statistics.median(times)
        print(f"slow      {tool:<8} median {m:.1f} MB/s ({smb / max(times):.1f}-{smb / min(times):.1f}), "
              f"{m / slow_mbps:.3f} of the cap")
EOF
