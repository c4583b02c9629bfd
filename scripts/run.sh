#!/bin/sh
# Runs kiv_proxy in the foreground against the terminal simulator, which also
# plays the processing host. One sale goes through the payment plug-in first.
# Ctrl-C stops everything.
set -eu

build=$(cd "$1" && pwd)
run="$build/run"
mkdir -p "$run/logs"

terminal_pid=""
proxy_pid=""
stop() {
    trap - EXIT INT TERM
    [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null || true
    [ -n "$terminal_pid" ] && kill "$terminal_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap stop EXIT INT TERM

# The simulator prints the device it plays the terminal on.
"$build/tools/terminal-sim/kiv_terminal_sim" --serve-processing-host 0 \
    >"$run/terminal.out" 2>"$run/terminal.log" &
terminal_pid=$!
device=""
for _ in $(seq 50); do
    device=$(head -n 1 "$run/terminal.out" 2>/dev/null || true)
    [ -n "$device" ] && break
    sleep 0.1
done
[ -n "$device" ] || { echo "The terminal simulator did not start; see $run/terminal.log" >&2; exit 1; }

cat >"$run/ProxyConfig.ini" <<INI
[Proxy]
AutoDetect = no
SerialPortName = ${device#/dev/}
LogsDir = $run/logs
INI

echo "Terminal simulator on $device (its log: $run/terminal.log)"
echo "Configuration: $run/ProxyConfig.ini   Logs: $run/logs"
"$build/service/kiv_proxy" run "$run" "$run/logs" &
proxy_pid=$!

for _ in $(seq 100); do
    grep -q "\[SerialPort\] Data reading" "$run"/logs/kivproxy_*.log 2>/dev/null && break
    sleep 0.1
done

echo
echo "==== A sale of 15.00 through the payment plug-in ===="
"$build/tools/pos/kiv_pos" --plugin "$build/plugin/libProcessingKiv.so" sale 1500 </dev/null || true
echo
echo "The service keeps running. A sale straight on the cashier port:"
echo "  curl -s -H 'Content-Type: application/json' -d '{\"request\": {\"operation\": \"sale\", \"amount\": \"1500\", \"currency\": \"643\", \"receiptWidth\": \"32\", \"uid\": \"$(cat /proc/sys/kernel/random/uuid)\"}}' http://127.0.0.1:10500/api/1/ecr/transaction"
echo "Press Ctrl-C to stop."
wait "$proxy_pid"
