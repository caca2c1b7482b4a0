#!/usr/bin/env bash
# The qvsm demo: builds libqvsm.so, the reference host and the device simulator, simulates
# temperature/humidity sensors on a serial bus (a pseudo-terminal) and behind a TCP serial
# device server, polls them with qvsm-host for a few cycles and shows what landed in SQLite.
#
#   ./demo.sh [CYCLES]        (default 5 cycles, one per second)
#
# QVSM_BUILD_DIR chooses the build folder (default: build); the demo's files go to
# $QVSM_BUILD_DIR/demo. Nothing keeps running afterwards.
set -euo pipefail
cd "$(dirname "$0")"
root="$PWD"
cycles="${1:-5}"
[[ "$cycles" =~ ^[1-9][0-9]*$ ]] || { echo "usage: ./demo.sh [CYCLES]" >&2; exit 2; }

echo "== Packages"
bash cmake/install-deps.sh

echo "== Build"
build="${QVSM_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target qvsm qvsm-host qvsm-sim
[[ "$build" = /* ]] || build="$root/$build"

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"

sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Registers are the sensors' raw words (tenths). Values drift one step per second between
# the bounds given. The default limits the driver registers are 30.0..38.0 degC and
# 35.0..78.0 %RH, so a few readings wander into alarm.
cat > "$demo/sim.ini" <<EOF
[sim]
tick = 1000

; RS-485 bus on a pseudo-terminal; $demo/ttyRS485 points at it
[bus.rs485]
kind = rtu
pty = $demo/ttyRS485

; a serial device server: Modbus RTU frames over TCP on loopback
[bus.server]
kind = rtu
listen = 127.0.0.1:0

; Variant 0: function 3 from register 0, humidity first
[slave.room-a]
bus = rs485
addr = 1
hold.0 = 450 ~3 420..510
hold.1 = 325 ~2 310..345

; Variant 1: function 4, temperature first
[slave.battery-room]
bus = rs485
addr = 2
input.0 = 338 ~1 330..350
input.1 = 560 ~4 520..600

; Variant 2: function 3, temperature first; runs warm
[slave.ups-room]
bus = rs485
addr = 3
hold.0 = 384 ~4 372..396
hold.1 = 610

; Variant 4: function 3 from register 1; dry air
[slave.cable-room]
bus = rs485
addr = 4
hold.1 = 301 ~1 300..306
hold.2 = 362 ~3 340..380

; a sensor that stopped answering
[slave.roof]
bus = rs485
addr = 5
hold.0 = 0
fault = silent

; Variant 3: function 4, humidity first, behind the device server
[slave.gate]
bus = server
addr = 1
input.0 = 475 ~2 460..490
input.1 = 318 ~1 310..330
EOF

echo "== Simulator"
"$build/qvsm-sim" "$demo/sim.ini" --ready "$demo/sim.ready" > "$demo/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  [[ -f "$demo/sim.ready" ]] && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$demo/sim.log"; echo "the simulator did not start" >&2; exit 1; }
  sleep 0.1
done
[[ -f "$demo/sim.ready" ]] || { echo "the simulator did not get ready" >&2; exit 1; }
cat "$demo/sim.ready"
tcp_port=$(sed -n 's/^bus server tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo/sim.ready")
[[ "$tcp_port" =~ ^[0-9]+$ ]] || { echo "no TCP port from the simulator" >&2; exit 1; }

cat > "$demo/site.ini" <<EOF
[host]
Live = live.db
History = history.db
Root = root
Interval = 1000

[port.1]
Device = $demo/ttyRS485
Baud = 9600
Timeout = 300

[port.2]
Device = tcp://127.0.0.1:$tcp_port
Timeout = 300

[device.room-a]
SID = 101
Type = 1280
Port = 1
Addr = 1
Variant = 0
Name = 机房A温湿度

[device.battery-room]
SID = 102
Type = 1280
Port = 1
Addr = 2
Variant = 1
Name = 电池室温湿度

[device.ups-room]
SID = 103
Type = 1280
Port = 1
Addr = 3
Variant = 2
Name = UPS室温湿度

[device.cable-room]
SID = 104
Type = 1280
Port = 1
Addr = 4
Variant = 4
Name = 电缆层温湿度

[device.roof]
SID = 105
Type = 1280
Port = 1
Addr = 5
Name = 屋顶温湿度

[device.gate]
SID = 201
Type = 1280
Port = 2
Addr = 1
Variant = 3
Name = 门卫室温湿度
EOF

echo "== Host: $cycles cycles"
"$build/qvsm-host" -c "$demo/site.ini" --cycles "$cycles"

echo "== What the database holds"
"$build/qvsm-host" show -c "$demo/site.ini"

echo "== Files"
echo "site file:         $demo/site.ini"
echo "simulator file:    $demo/sim.ini"
echo "live database:     $demo/live.db"
echo "history database:  $demo/history.db ($(sqlite3 "$demo/history.db" 'select count(*) from tbEnvir') rows in tbEnvir)"
echo "module log:        $demo/root/NandFlash/tmp/qvsm.log.ini"
echo "try:  sqlite3 $demo/live.db 'select SID,Tem,Hum,iTem,iHum,State from tbEnvir'"
