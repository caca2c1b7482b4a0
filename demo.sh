#!/usr/bin/env bash
# The qvsm demo: builds libqvsm.so, the reference host and the device simulator, simulates a
# site — temperature/humidity sensors on an RS-485 bus and behind a TCP serial device server,
# Modbus devices described by definition files (RTU and Modbus TCP), a YD/T 1363 rectifier, a
# distribution unit with a byte protocol of its own and, when snmpd is there, a UPS read over
# SNMP — polls it with qvsm-host for a few cycles and shows what landed in SQLite.
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
mkdir -p "$demo/root/NandFlash/SM"

pids=()
stop() {
  if kill -0 "$1" 2>/dev/null; then
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
  fi
}
cleanup() {
  local pid
  for pid in "${pids[@]}"; do stop "$pid"; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to ten seconds for a started process to write its ready mark: wait_ready PID FILE
# PATTERN (PATTERN empty: the file appearing is the mark).
wait_ready() {
  local _
  for _ in $(seq 100); do
    if [[ -f "$2" ]] && { [[ -z "$3" ]] || grep -q "$3" "$2"; }; then return 0; fi
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Sections of the site file: port N DEVICE, and device LABEL SID TYPE PORT ADDR NAME [KEY=VALUE...].
port() { printf '\n[port.%s]\nDevice = %s\nTimeout = 300\n' "$1" "$2"; }
device() {
  printf '\n[device.%s]\nSID = %s\nType = %s\nPort = %s\nAddr = %s\nName = %s\n' "$1" "$2" "$3" "$4" "$5" "$6"
  shift 6
  local kv
  for kv in "$@"; do printf '%s = %s\n' "${kv%%=*}" "${kv#*=}"; done
}

# The simulated devices. Registers hold the devices' raw words (tenths, hundredths); values
# drift one step per tick between the bounds given.
cat > "$demo/sim.ini" <<EOF
[sim]
tick = 1000

; -- temperature/humidity sensors (CSMEnvir, type 1280). Its default limits are 30.0..38.0 degC
; and 35.0..78.0 %RH, so a few readings wander into alarm.

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

; -- Modbus devices described only by definition files (examples/definitions/SM4608.def ..
; SM4610.def): a transmitter and a digital I/O module on an RS-485 line, a meter over Modbus TCP.

[bus.mb]
kind = rtu
pty = $demo/ttyMB

[bus.mbnet]
kind = mbtcp
listen = 127.0.0.1:0

; 23.5 degC, 45.6 %RH in tenths (input registers)
[slave.transmitter]
bus = mb
addr = 1
input.0 = 235 ~3 200..380
input.1 = 456 ~5 400..520

; inputs 2 and 5 closed, output 3 on; status word 0x0002 (door open); counters 10 and 11
[slave.io]
bus = mb
addr = 2
coil.0 = 0
coil.2 = 1
coil.7 = 0
discrete.0 = 0
discrete.1 = 1
discrete.4 = 1
discrete.7 = 0
hold.0 = 2
hold.1 = 2571

; floats as their two register words: Ua 220.5, Ub 221.25, Uc 219.75 V (low word first);
; Ia 1.5, Ib 2.25, Ic 12.5 A (least significant byte first); then power, energy, 50.00 Hz,
; power factor 0.950 and the trip relay
[slave.meter]
bus = mbnet
addr = 1
hold.0 = 32768
hold.1 = 17244
hold.2 = 16384
hold.3 = 17245
hold.4 = 49152
hold.5 = 17243
hold.6 = 0
hold.7 = 49215
hold.8 = 0
hold.9 = 4160
hold.10 = 0
hold.11 = 18497
hold.100 = 1
hold.101 = 57920 ~100 50000..60000
hold.102 = 4614 ~1 4614..60000
hold.103 = 15
hold.104 = 5000 ~2 4990..5010
hold.105 = 950 ~5 900..990
hold.200 = 0
hold.201 = 0

; -- a rectifier over YD/T 1363 and a distribution unit with a byte protocol of its own
; (examples/definitions/SM5120.def and SM5632.def)

[bus.psu]
kind = ydt
pty = $demo/ttyPSU

[bus.pdu]
kind = cmd
pty = $demo/ttyPDU
cmd.request = 7E adr cmd dlen dat sum 0D
cmd.reply = 7E adr cmd dlen dat sum 0D
cmd.chk0 = 1

; output 53.5 V, 22.5 A, module at 38 degC; module on, fan alarm bit clear
[slave.rectifier]
bus = psu
addr = 1
ydt.ver = 21
ydt.cid1 = 41
hold.0 = 535 ~1 530..545
hold.1 = 225 ~5 200..260
hold.2 = 380 ~10 360..680
hold.3 = 0
hold.4 = 0
hold.5 = 0
hold.6 = 0
ydt.41 = 11 {0:f10} {1:f10} 01 {2:f10}
ydt.43 = 11 {3:b} {4:b}
ydt.44 = 11 {5:b} 20 {6:b}
ydt.ctl.2F01 = 3=1
ydt.ctl.2001 = 3=0

; 220.5 V, 12.50 A, 2.5 kW, switch closed
[slave.distribution]
bus = pdu
addr = 3
hold.0 = 2205 ~3 2180..2240
hold.1 = 1250 ~20 1100..1400
hold.2 = 250 ~5 200..300
hold.3 = 1
cmd.42 = {0} {1} 0000 {2:f100}
cmd.43 = {3:b}
cmd.set.45 = 3
EOF

# Air conditioning and a camera: an infrared air-conditioner controller (type 1792), a
# precision air conditioner over YD/T 1363 (2048) and a serial JPEG camera (3072) serving
# sim/samples/camera.jpg.
cat >> "$demo/sim.ini" <<EOF

; -- air conditioning and a camera

[bus.airc]
kind = airc
pty = $demo/ttyAIRC

[bus.crac]
kind = ydt
pty = $demo/ttyCRAC

[bus.camera]
kind = camera
pty = $demo/ttyCAM

; words low byte first: supply/return air in hundredths of degC; register 2 = upper limit 26 << 8
; | set 22; 4 = current 1.50 A; 7 = state 1 (cooling); unit 2 from register 12; 25 = outputs
[slave.aircon]
bus = airc
addr = 1
hold.0 = 2345 ~5 2200..2500
hold.1 = 2610 ~5 2500..2700
hold.2 = 6678
hold.3 = 18
hold.4 = 150
hold.5 = 2560
hold.6 = 50
hold.7 = 1
hold.12 = 2400 ~5 2300..2500
hold.13 = 2700
hold.14 = 6682
hold.19 = 2
hold.25 = 0
hold.64 = 0

; 220 V, 23.5 degC and 45.0 %RH inside, 30.0 outside, 12.0 at the coil (tenths); unit on,
; fan and cooling running; no alarms; set parameters
[slave.crac]
bus = crac
addr = 1
hold.0 = 220
hold.1 = 235 ~2 220..250
hold.2 = 450 ~5 420..480
hold.3 = 300
hold.4 = 120
ydt.42 = {0}{1}{2}{3}{4}
ydt.43 = 01 01 00 01 00 00 00
ydt.44 = 0000000000000000000000000000000000000000000000000000
ydt.47 = 14 05 14 05 1E 0A 1A 12 46 0A

[slave.camera]
bus = camera
addr = 1
camera.file = $root/sim/samples/camera.jpg
EOF

echo "== Simulator"
"$build/qvsm-sim" "$demo/sim.ini" --ready "$demo/sim.ready" > "$demo/sim.log" 2>&1 &
pids+=($!)
wait_ready "${pids[-1]}" "$demo/sim.ready" "" || { cat "$demo/sim.log"; echo "the simulator did not start" >&2; exit 1; }
cat "$demo/sim.ready"
tcp_port() { sed -n "s/^bus $1 tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p" "$demo/sim.ready"; }
server_port=$(tcp_port server)
mb_port=$(tcp_port mbnet)
[[ "$server_port" =~ ^[0-9]+$ && "$mb_port" =~ ^[0-9]+$ ]] || { echo "no TCP ports from the simulator" >&2; exit 1; }

# The definition files of the generic drivers, where the module looks for them.
cp examples/definitions/SM4608.def examples/definitions/SM4609.def examples/definitions/SM4610.def \
  examples/definitions/SM5120.def examples/definitions/SM5632.def "$demo/root/NandFlash/SM/"

{
  printf '[host]\nLive = live.db\nHistory = history.db\nRoot = root\nInterval = 1000\n'
  port 1 "$demo/ttyRS485"
  port 2 "tcp://127.0.0.1:$server_port"
  port 3 "$demo/ttyPSU"
  port 4 "$demo/ttyPDU"
  port 5 "$demo/ttyMB"
  port 6 "tcp://127.0.0.1:$mb_port"
  device room-a        101 1280 1 1 机房A温湿度 Variant=0
  device battery-room  102 1280 1 2 电池室温湿度 Variant=1
  device ups-room      103 1280 1 3 UPS室温湿度 Variant=2
  device cable-room    104 1280 1 4 电缆层温湿度 Variant=4
  device roof          105 1280 1 5 屋顶温湿度
  device gate          201 1280 2 1 门卫室温湿度 Variant=3
  device rectifier     301 5120 3 1 整流柜
  device distribution  302 5632 4 3 配电柜
  device transmitter   401 4609 5 1 机房B温湿度变送器
  device io            402 4610 5 2 门禁IO模块
  device meter         403 4608 6 1 总配电电表
} > "$demo/site.ini"

# The air conditioners and the camera; pictures go to the web image folder below the root.
mkdir -p "$demo/root/NandFlash/www/wwwpub/images"
{
  port 7 "$demo/ttyAIRC"
  port 8 "$demo/ttyCRAC"
  port 9 "$demo/ttyCAM"
  device aircon        601 1792 7 1 机房空调
  device crac          602 2048 8 1 精密空调
  device camera        901 3072 9 1 机房相机
} >> "$demo/site.ini"

# A UPS with an SNMP card, read through the UPS-MIB by the SNMP driver (examples/definitions/
# SM4096.def): snmpd answers like the UPS (examples/snmpd/ups.conf) on a free loopback port.
echo "== SNMP agent"
snmpd_bin="${QVSM_SNMPD:-/usr/sbin/snmpd}"
snmp_port=""
if [[ -x "$snmpd_bin" ]]; then
  mkdir -p "$demo/snmpd"
  cp examples/snmpd/ups.conf "$demo/snmpd/ups.conf"
  for try in $(seq 16161 16180); do
    SNMP_PERSISTENT_DIR="$demo/snmpd" SNMPCONFPATH="$demo/snmpd" \
      "$snmpd_bin" -f -Lo -C -c "$demo/snmpd/ups.conf" -p "$demo/snmpd/pid" "udp:127.0.0.1:$try" \
      > "$demo/snmpd/log" 2>&1 &
    pids+=($!)
    if wait_ready "${pids[-1]}" "$demo/snmpd/log" "NET-SNMP version"; then
      snmp_port=$try
      break
    fi
    stop "${pids[-1]}"
    unset 'pids[-1]'
  done
fi
if [[ -n "$snmp_port" ]]; then
  echo "snmpd (UPS-MIB) on udp 127.0.0.1:$snmp_port"
  cp examples/definitions/SM4096.def "$demo/root/NandFlash/SM/"
  device ups-snmp 501 4096 0 1 机房UPS "ConnText=snmp127.0.0.1:$snmp_port:public" >> "$demo/site.ini"
else
  echo "no snmpd ($snmpd_bin, or no free port in 16161..16180): the SNMP UPS is left out" >&2
fi

echo "== Camera set-up (reset, resume, compression, image size)"
"$build/qvsm-host" ctl -c "$demo/site.ini" --sid 901 --cmd 0

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
echo "try:  $build/qvsm-host show -c $demo/site.ini"
echo "      sqlite3 $demo/live.db 'select SID,Tem,Hum,iTem,iHum,State from tbEnvir'"
for t in tbModbusDat tbYdt1363Dat tbNormalDat; do
  echo "      sqlite3 $demo/live.db 'select SID,Fld,Val from $t where DID=0'"
done
[[ -z "$snmp_port" ]] || echo "      sqlite3 $demo/live.db 'select SID,Fld,Val,ValStr from tbSnmpDat where DID=0'"
picture=$(ls -t "$demo/root/NandFlash/www/wwwpub/images" 2>/dev/null | head -n 1)
if [[ -n "$picture" ]]; then
  echo "camera picture:    $demo/root/NandFlash/www/wwwpub/images/$picture"
else
  echo "camera picture:    none stored" >&2
fi
