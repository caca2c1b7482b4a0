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
snmpd_pid=""
cleanup() {
  for pid in "$sim_pid" "$snmpd_pid"; do
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
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

# Devices of the definition-driven drivers, each on a pseudo-terminal: a rectifier over
# YD/T 1363 and a distribution unit with a byte protocol of its own (examples/definitions/
# SM5120.def and SM5632.def). Registers hold tenths and hundredths as the definitions keep them.
cat >> "$demo/sim.ini" <<EOF

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

# Modbus devices described only by definition files (examples/definitions/SM4608.def ..
# SM4610.def): a temperature/humidity transmitter and a digital I/O module on an RS-485 line,
# and a three-phase meter over Modbus TCP. Floats are given as their two register words.
cat >> "$demo/sim.ini" <<EOF

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

; Ua 220.5, Ub 221.25, Uc 219.75 V; Ia 1.5, Ib 2.25, Ic 12.5 A; P, energy, 50.00 Hz, PF 0.950
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
mb_port=$(sed -n 's/^bus mbnet tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo/sim.ready")
[[ "$mb_port" =~ ^[0-9]+$ ]] || { echo "no Modbus TCP port from the simulator" >&2; exit 1; }
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

# The definition files of the generic drivers, where the module looks for them.
mkdir -p "$demo/root/NandFlash/SM"
cp examples/definitions/SM5120.def examples/definitions/SM5632.def "$demo/root/NandFlash/SM/"
cat >> "$demo/site.ini" <<EOF

[port.3]
Device = $demo/ttyPSU
Timeout = 300

[port.4]
Device = $demo/ttyPDU
Timeout = 300

[device.rectifier]
SID = 301
Type = 5120
Port = 3
Addr = 1
Name = 整流柜

[device.distribution]
SID = 302
Type = 5632
Port = 4
Addr = 3
Name = 配电柜
EOF

cp examples/definitions/SM4608.def examples/definitions/SM4609.def examples/definitions/SM4610.def \
  "$demo/root/NandFlash/SM/"
cat >> "$demo/site.ini" <<EOF

[port.5]
Device = $demo/ttyMB
Timeout = 300

[port.6]
Device = tcp://127.0.0.1:$mb_port
Timeout = 300

[device.transmitter]
SID = 401
Type = 4609
Port = 5
Addr = 1
Name = 机房B温湿度变送器

[device.io]
SID = 402
Type = 4610
Port = 5
Addr = 2
Name = 门禁IO模块

[device.meter]
SID = 403
Type = 4608
Port = 6
Addr = 1
Name = 总配电电表
EOF

# A UPS with an SNMP card, read through the UPS-MIB by the SNMP driver (examples/definitions/
# SM4096.def): snmpd answers like the UPS (examples/snmpd/ups.conf) on a free loopback port.
echo "== SNMP agent"
snmpd_bin="${QVSM_SNMPD:-/usr/sbin/snmpd}"
snmp_port=""
if [[ -x "$snmpd_bin" ]]; then
  mkdir -p "$demo/snmpd"
  cp examples/snmpd/ups.conf "$demo/snmpd/ups.conf"
  for port in $(seq 16161 16180); do
    SNMP_PERSISTENT_DIR="$demo/snmpd" SNMPCONFPATH="$demo/snmpd" \
      "$snmpd_bin" -f -Lo -C -c "$demo/snmpd/ups.conf" -p "$demo/snmpd/pid" "udp:127.0.0.1:$port" \
      > "$demo/snmpd/log" 2>&1 &
    snmpd_pid=$!
    for _ in $(seq 50); do
      grep -q "NET-SNMP version" "$demo/snmpd/log" && break
      kill -0 "$snmpd_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$snmpd_pid" 2>/dev/null && grep -q "NET-SNMP version" "$demo/snmpd/log"; then
      snmp_port=$port
      break
    fi
    wait "$snmpd_pid" 2>/dev/null || true
    snmpd_pid=""
  done
fi
if [[ -n "$snmp_port" ]]; then
  echo "snmpd (UPS-MIB) on udp 127.0.0.1:$snmp_port"
  cp examples/definitions/SM4096.def "$demo/root/NandFlash/SM/"
  cat >> "$demo/site.ini" <<EOF

[device.ups-snmp]
SID = 501
Type = 4096
ConnText = snmp127.0.0.1:$snmp_port:public
Name = 机房UPS
EOF
else
  echo "no snmpd ($snmpd_bin, or no free port in 16161..16180): the SNMP UPS is left out" >&2
fi

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
echo "      sqlite3 $demo/live.db 'select SID,Fld,Val from tbYdt1363Dat where DID=0 union all select SID,Fld,Val from tbNormalDat where DID=0'"
echo "      sqlite3 $demo/live.db 'select SID,Fld,Val from tbModbusDat where DID=0'"
[[ -z "$snmp_port" ]] || echo "      sqlite3 $demo/live.db 'select SID,Fld,Val,ValStr from tbSnmpDat where DID=0'"
