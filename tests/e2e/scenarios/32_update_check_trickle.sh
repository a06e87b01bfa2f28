# The update check against a local web server that takes the request and then
# sends one byte of its reply every three seconds, for far longer than anyone
# waits: the check gives up at its deadline with the connection-failure box,
# well within 40 s, and the main window answers other programs all the while.

ABOUT="About Tavrin"
FAILED="Unable to connect"
host=$(sed -n 's/^TAVRIN_SERVER_HOST:STRING=//p' "$(dirname "$TAVRIN_EXE")/CMakeCache.txt" 2>/dev/null || true)
host=${host:-updates.tavrin.invalid}

(exec 3<>/dev/tcp/127.0.0.1/80) 2>/dev/null && fail "port 80 of 127.0.0.1 is taken; the scenario needs it"
cat >"$SCRATCH/trickle.py" <<'PY'
import socket, sys, time
reply = b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><new>true</new><link>http://dl.example.test/a</link>"
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 80))
listener.listen(1)
open(sys.argv[2], "w").close()  # listening: the scenario may go on
connection, _ = listener.accept()
connection.settimeout(10)
request = b""
while b"\r\n\r\n" not in request:
    chunk = connection.recv(1024)
    if not chunk:
        break
    request += chunk
sent = 0
try:
    for byte in reply:
        connection.sendall(bytes([byte]))
        sent += 1
        with open(sys.argv[1], "w") as log:
            log.write("%d\n" % sent)
        time.sleep(3)
except OSError:
    pass  # the client hung up
PY
/usr/bin/python3 "$SCRATCH/trickle.py" "$SCRATCH/sent" "$SCRATCH/listening" >"$E2E_OUT/trickle-server.log" 2>&1 &
server=$!
_record pids "$server"; _SCENARIO_PIDS+=("$server")
# Ready when it listens (a probe connection would use up its one accept).
for i in $(seq 50); do [ -e "$SCRATCH/listening" ] && break; sleep 0.1; done
[ -e "$SCRATCH/listening" ] || fail "the trickling server did not start: $(cat "$E2E_OUT/trickle-server.log")"

{ cat /etc/hosts 2>/dev/null || true; echo "127.0.0.1 $host"; } >"$SCRATCH/hosts"
start_tavrin_hosts "$SCRATCH/hosts"
marker='Z:\still\answering.img'
ui set-text 1039 "$marker" >/dev/null
ui click 1007
ui -w "$ABOUT" wait >/dev/null || fail "the About box did not open"

start=$SECONDS
ui -w "$ABOUT" click 1012
answered=0
until ui box "$FAILED" 2000 >/dev/null 2>&1; do
  [ $((SECONDS - start)) -le 40 ] || fail "no connection-failure box within 40 s"
  # The main window's field is read by a message its thread must answer.
  expect_eq "$marker" "$(ui text 1039)" "the main window's answer $((SECONDS - start)) s into the check"
  answered=$((answered + 1))
done
took=$((SECONDS - start))
[ "$took" -ge 15 ] || fail "the check gave up after $took s, before its deadline"
[ "$answered" -ge 3 ] || fail "the main window was asked only $answered times during the check"
sent=$(cat "$SCRATCH/sent" 2>/dev/null || echo 0)
[ "$sent" -ge 3 ] || fail "the server sent only $sent bytes: it did not trickle"
echo "the check ended after $took s; the server had sent $sent bytes; the window answered $answered times"

ui answer "$FAILED" ok >/dev/null
ui -w "$ABOUT" wait 500 >/dev/null || fail "the check closed the About box"
ui -w "$ABOUT" close
ui close
rc=0; wait_tavrin_exit 5 || rc=$?
expect_eq 0 "$rc" "exit code after closing the main window"
