# The benchmark's body, run by bench/run.sh in a fresh bash with
# tests/e2e/lib.sh sourced (so its drive mapping, program start, UI driver and
# cleanup trap are those of the end-to-end suite).
#
# Inputs (environment): BENCH_BYTES (disk and image size), BENCH_RUNS,
# STOPWATCH_EXE, BENCH_REPORT (file that receives the summary).
#
# For each direction it times, BENCH_RUNS times each and interleaved:
#   tavrin     the real tavrin.exe, from the Start press to the "Success" box
#   dd-64K     dd with 65,536-byte blocks and the open flags Wine gives the
#              device handle (found by strace on the first, untimed run)
#   dd-4M      dd with 4 MiB blocks and the same flags
# and checks the bytes after every run: a run that moves wrong bytes stops the
# benchmark with an error.

BYTES=${BENCH_BYTES:?}
RUNS=${BENCH_RUNS:?}
TICKS=$(getconf CLK_TCK)

now() { echo "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }

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

select_drive_e() {
  local index
  index=$(ui combo-items 1036 | tr -d '\r' | grep -n '^Drive E:' | head -1 | cut -d: -f1)
  [ -n "$index" ] || fail "drive E: is not in the drive list: $(ui combo-items 1036 | tr '\r\n' '  ')"
  ui combo-select 1036 $((index - 1)) >/dev/null
}

# One job through tavrin.exe. Sets RUN_SECONDS (press to box), RUN_JOB (answer
# to the warning to box) and RUN_CPU (seconds).
tavrin_job() {
  local direction=$1 file=$2 tab=0 before after out
  [ "$direction" = create ] && tab=1
  ui tab "$tab" >/dev/null
  ui set-text 1039 "$(win_path "$file")"
  select_drive_e
  before=$(cpu_ticks "$PID")
  out=$(stopwatch "$direction") || fail "tavrin.exe did not succeed ($direction): $out"
  after=$(cpu_ticks "$PID")
  ui answer Success ok >/dev/null
  ui wait-text 1008 Start 10000 >/dev/null || fail "the button does not read Start after the job"
  RUN_SECONDS=${out% *}
  RUN_JOB=${out#* }
  RUN_CPU=$(awk -v a="$before" -v b="$after" -v t="$TICKS" 'BEGIN { printf "%.3f", (b - a) / t }')
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
}

# --- set up ------------------------------------------------------------------------
echo "bench: $((BYTES / 1048576)) MiB, $RUNS runs per tool and direction" >&2
truncate -s "$BYTES" "$SCRATCH/disk.bin"
map_loop_drive E "$SCRATCH/disk.bin"
LOOP=$_LOOP_E
IMAGES=("$SCRATCH/a.img" "$SCRATCH/b.img")
for img in "${IMAGES[@]}"; do head -c "$BYTES" /dev/urandom >"$img"; done
cmp -s "${IMAGES[0]}" "${IMAGES[1]}" && fail "the two random images are equal"
OUT=$SCRATCH/out.img
: >"$SCRATCH/results"

start_tavrin
PID=$(tavrin_process)
SERVER=$(wineserver_pid) || fail "cannot find the wineserver of $WINEPREFIX"

# --- the open flags Wine applies, from an untimed run of each direction ----------------
probe_flags() {
  local direction=$1 file=$2 log=$SCRATCH/strace-$1.log spid line
  strace -f -qq -e trace=openat,open -o "$log" -p "$SERVER" -p "$PID" &
  spid=$!
  sleep 1
  tavrin_job "$direction" "$file"
  kill "$spid" 2>/dev/null; wait "$spid" 2>/dev/null || true
  line=$(grep -E "(e::|$LOOP)\"" "$log" | grep -v ENOENT | tail -1)
  [ -n "$line" ] || fail "strace saw no open of the device ($direction); see $log"
  echo "bench: $direction opens the device: $line" >&2
  echo "$line" | grep -oE 'O_[A-Z_|]+' | head -1
}
write_open=$(probe_flags write "${IMAGES[0]}")
verify_write "${IMAGES[0]}" "the untimed tavrin run"
create_open=$(probe_flags create "$OUT")
verify_create "$OUT" "the untimed tavrin run"
rm -f "$OUT"
WRITE_FLAGS=$(dd_flags "$write_open")
READ_FLAGS=$(dd_flags "$create_open")
echo "bench: device opened for writing with $write_open -> dd oflag=${WRITE_FLAGS:-(none)}" >&2
echo "bench: device opened for reading with $create_open -> dd iflag=${READ_FLAGS:-(none)}" >&2

dd_write() { dd if="$1" of="$LOOP" bs="$2" ${WRITE_FLAGS:+oflag=$WRITE_FLAGS} status=none; }
dd_create() { dd if="$LOOP" of="$1" bs="$2" ${READ_FLAGS:+iflag=$READ_FLAGS} status=none; }

# --- timed runs, interleaved so that a slow spell of the machine hits all tools -------
turn=1  # which image goes next: every write puts the other one on the disk
for run in $(seq "$RUNS"); do
  for tool in tavrin dd-64K dd-4M; do
    img=${IMAGES[$turn]}; turn=$((1 - turn))
    case $tool in
      tavrin) tavrin_job write "$img"; record_tavrin write ;;
      dd-64K) a=$(now); dd_write "$img" 65536; record write dd-64K "$(elapsed "$a" "$(now)")" ;;
      dd-4M) a=$(now); dd_write "$img" 4194304; record write dd-4M "$(elapsed "$a" "$(now)")" ;;
    esac
    verify_write "$img" "$tool run $run"
  done
  for tool in tavrin dd-64K dd-4M; do
    case $tool in
      tavrin) tavrin_job create "$OUT"; record_tavrin create ;;
      dd-64K) a=$(now); dd_create "$OUT" 65536; record create dd-64K "$(elapsed "$a" "$(now)")" ;;
      dd-4M) a=$(now); dd_create "$OUT" 4194304; record create dd-4M "$(elapsed "$a" "$(now)")" ;;
    esac
    verify_create "$OUT" "$tool run $run"
    rm -f "$OUT"
  done
  echo "bench: run $run of $RUNS done" >&2
done

ui close >/dev/null
rc=0; wait_tavrin_exit 10 || rc=$?
expect_eq 0 "$rc" "tavrin.exe exit code"

# --- summary -----------------------------------------------------------------------------
/usr/bin/python3 - "$SCRATCH/results" "$BYTES" "$WRITE_FLAGS" "$READ_FLAGS" <<'EOF' | tee "$BENCH_REPORT"
import statistics, sys
path, size = sys.argv[1], int(sys.argv[2])
oflag, iflag = sys.argv[3] or "(none)", sys.argv[4] or "(none)"
runs = {}
cpu = {}
for line in open(path):
    parts = line.split()
    direction, tool, seconds = parts[0], parts[1], float(parts[2])
    runs.setdefault((direction, tool), []).append(seconds)
    if len(parts) > 3:
        cpu.setdefault(direction, []).append(float(parts[3]))
mb = size / 1e6
gib = size / (1 << 30)
print(f"size {size // 1048576} MiB, {len(runs[('write', 'tavrin')])} runs each; MB/s = 10^6 bytes/s, medians")
print(f"dd flags: write oflag={oflag}, create iflag={iflag}")
print("tavrin: from the Start press to the Success box; tavrin-job: from the answer to the warning")
print(f"{'direction':<10}{'tool':<11}{'median s':>10}{'MB/s':>9}   all runs (s)")
for direction in ("write", "create"):
    speeds = {}
    for tool in ("tavrin", "tavrin-job", "dd-64K", "dd-4M"):
        times = runs[(direction, tool)]
        median = statistics.median(times)
        speeds[tool] = mb / median
        print(f"{direction:<10}{tool:<11}{median:>10.3f}{speeds[tool]:>9.1f}   " + " ".join(f"{t:.3f}" for t in times))
    cpu_per_gib = statistics.median(cpu[direction]) / gib
    print(f"{direction:<10}tavrin/dd-64K {speeds['tavrin'] / speeds['dd-64K']:.3f}   "
          f"tavrin/dd-4M {speeds['tavrin'] / speeds['dd-4M']:.3f}   "
          f"tavrin-job/dd-64K {speeds['tavrin-job'] / speeds['dd-64K']:.3f}   "
          f"tavrin CPU {cpu_per_gib:.2f} s/GiB")
EOF
