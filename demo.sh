#!/usr/bin/env bash
# The qvsm demo: builds libqvsm.so, the reference host and the device simulator, simulates a
# site — temperature/humidity sensors on an RS-485 bus and behind a TCP serial device server,
# Modbus devices described by definition files (RTU and Modbus TCP), a YD/T 1363 rectifier, a
# distribution unit with a byte protocol of its own, a UPS with the ASCII query protocol and,
# when snmpd is there, two UPS units read over SNMP — polls it with qvsm-host for a few cycles and shows what landed in SQLite.
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

; Variant 2: function 3, temperature first; runs warm, always above its 38.0 limit
[slave.ups-room]
bus = rs485
addr = 3
hold.0 = 388 ~4 384..396
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

; -- a UPS with the ASCII query protocol (CSMUps, type 768) on an RS-232 line: a scripted bus
; answers its status, input, rating and identification queries; input voltage (register 0) and
; load (register 1, percent) drift
[bus.ups]
kind = script
pty = $demo/ttyUPS

[slave.ups]
bus = ups
addr = 1
hold.0 = 2291 ~2 2250..2330
hold.1 = 450 ~5 380..520
script.1 = text:Q1\r\n => text:({0.1} 000.0 229.9 {1.1} 50.0 2.27 30.5 00001001\r
script.2 = text:Q2\r => text:(231.0 232.5 228.0\r
script.3 = text:F\r => text:#220.0 004 24.00 50.0\r
script.4 = text:I\r => text:#  QV Power      SMART-1K   V1.2      \r

; -- I/O modules and a door controller

; a W70XX I/O module on the second RS-485 line: inputs 1 and 3 closed, relay 8 on
[slave.w70xx]
bus = mb
addr = 3
discrete.0 = 1
discrete.2 = 1
discrete.7 = 0
coil.0 = 0
coil.7 = 1

; the board's input lines, sent by the input board twice a second without being asked (active
; low: FE = input 1 active)
[bus.di]
kind = dio
pty = $demo/ttyDI
dio.every = 500

[slave.board-inputs]
bus = di
addr = 1
hold.0 = 254
hold.1 = 15

; a door controller with a queue of access records; each is the latest for two polls
[bus.door]
kind = door
pty = $demo/ttyDOOR

[slave.door]
bus = door
addr = 1
door.repeat = 2
door.1 = 1001 712345 1 1 0 2022-03-01 08:30:10
door.2 = 1002 4660 2 0 33 2022-03-01 09:00:00
door.3 = 1003 65535 1 1 0 2022-03-01 18:45:58
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

# -- a power meter, a switch-input module, a battery string and a leak controller on a third
# RS-485 line, each polled by its own driver.
cells=""
for i in $(seq 0 23); do
  cells+="input.$((0x100 + i)) = $((1340 + i % 5)) ~1 $((1330 + i % 5))..$((1350 + i % 5))"$'\n'  # cell voltages
  cells+="input.$((0x400 + i)) = $((24 + i % 3))"$'\n'                                              # resistances
  cells+="input.$((0x200 + i)) = 251 ~1 248..256"$'\n'"input.$((0x300 + i)) = 253"$'\n'          # temperatures
done
cat >> "$demo/sim.ini" <<EOF

[bus.field]
kind = rtu
pty = $demo/ttyFIELD

; HCxxx three-phase meter (CSMElec, Variant 0): ratio registers 2 and 3, the energy count at 64,
; Ua Ub Uc Ia Ib Ic P Q S PF Hz .. Pa Pb Pc from 192 (220 V and 1.5 A with the ratios of 100)
[slave.power-meter]
bus = field
addr = 1
hold.0 = 0
hold.2 = 100
hold.3 = 100
hold.64 = 3
hold.65 = 5000 ~7 0..65000
hold.192 = 22000 ~30 21700..22300
hold.193 = 22100 ~25 21800..22400
hold.194 = 21950 ~20 21700..22200
hold.195 = 150 ~3 120..180
hold.196 = 140 ~3 110..170
hold.197 = 160 ~3 130..190
hold.198 = 105 ~2 90..120
hold.199 = 20
hold.200 = 115 ~2 100..130
hold.201 = 9500 ~20 9300..9800
hold.202 = 5000 ~1 4995..5005
hold.204 = 35
hold.205 = 33
hold.206 = 37

; six switch inputs in the bytes of input registers 0..2 (the module answers six registers):
; the third breaker is open
[slave.breakers]
bus = field
addr = 2
input.0 = 0
input.1 = 256
input.2 = 0
input.5 = 0

; 24-cell battery string: current 1, current 2, voltage, temperature at 0x500; the cells in
; blocks of 64 registers (full-length replies)
[slave.battery-string]
bus = field
addr = 3
input.1280 = 52 ~2 40..64
input.1281 = 0
input.1282 = 5420 ~3 5400..5440
input.1283 = 252
input.1087 = 0
$cells
; leak controller (CSMLeak, Variant 0): a leak 40 units along a 780-unit cable trips the alarm
[slave.leak-rope]
bus = field
addr = 4
input.1 = 40
input.2 = 10
input.3 = 0
input.4 = 780
input.5 = 0
hold.1 = 6
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
  port 12 "$demo/ttyDI"
  port 13 "$demo/ttyDOOR"
  device w70xx         611 2308 5 3 W70XX开关量模块 Variant=2 DetailOn=1
  device board-inputs  612 2304 12 1 板载开关量 DetailOn=1
  device door          751 3328 13 1 机房门禁
  # Reachability: an echo to 127.0.0.1 (on line), a TCP probe of a closed loopback port (off
  # line). Vref.1 = 1: the on/off point means "1 = on line", so it alarms when not 1.
  device ping-lo       851 3335 0 0 本机网络 AddrText=127.0.0.1 Vref.1=1
  device ping-closed   852 3335 0 0 关闭的端口 Variant=1 AddrText=127.0.0.1:1 Vref.1=1
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
{
  port 11 "$demo/ttyFIELD"
  device power-meter    701 256  11 1 总配电三相电表 Variant=0
  device breakers       702 512  11 2 配电开关量
  device battery-string 703 1026 11 3 蓄电池组 Wait=24 Param1=24
  device leak-rope      704 1536 11 4 机房漏水绳
} >> "$demo/site.ini"

# The UPS with the ASCII query protocol on its own RS-232 line.
{
  port 10 "$demo/ttyUPS"
  device ups-ascii     801 768 10 1 机房UPS串口
} >> "$demo/site.ini"

# A UPS with an SNMP card, read through the UPS-MIB by the SNMP driver (examples/definitions/
# SM4096.def): snmpd answers like the UPS (examples/snmpd/ups.conf) on a free loopback port.
echo "== SNMP agent"
snmpd_bin="${QVSM_SNMPD:-/usr/sbin/snmpd}"
snmp_port=""
if [[ -x "$snmpd_bin" ]]; then
  mkdir -p "$demo/snmpd"
  # one agent for both SNMP UPS units: the UPS-MIB objects and the enterprise objects of type 795
  cat examples/snmpd/ups.conf examples/snmpd/ups-powernet.conf > "$demo/snmpd/ups.conf"
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
  # the SNMP UPS driver of type 795 asks the library's default port: QVSM_SNMP_PORT moves it
  device ups-apc 502 795 0 1 机房UPS网卡 "ConnText=snmp127.0.0.1" >> "$demo/site.ini"
  export QVSM_SNMP_PORT="$snmp_port"
else
  echo "no snmpd ($snmpd_bin, or no free port in 16161..16180): the SNMP UPS is left out" >&2
fi

# Alarm outputs: a GSM modem (CSMAlmGsm, type 2561) on a pseudo-terminal of a second simulator;
# it captures every PDU it is sent into $demo/sms/pdu.txt.
echo "== GSM modem simulator"
mkdir -p "$demo/sms"
cat > "$demo/sms/sim.ini" <<EOF
[bus.modem]
kind = gsm
pty = $demo/ttyGSM
gsm.capture = $demo/sms/pdu.txt
gsm.log = $demo/sms/at.log
EOF
"$build/qvsm-sim" "$demo/sms/sim.ini" --ready "$demo/sms/sim.ready" > "$demo/sms/sim.log" 2>&1 &
pids+=($!)
wait_ready "${pids[-1]}" "$demo/sms/sim.ready" "" || { cat "$demo/sms/sim.log"; echo "the modem simulator did not start" >&2; exit 1; }
{
  port 20 "$demo/ttyGSM"
  device gsm-modem 1001 2561 20 1 短信猫
} >> "$demo/site.ini"
echo "== Camera set-up (reset, resume, compression, image size)"
"$build/qvsm-host" ctl -c "$demo/site.ini" --sid 901 --cmd 0

echo "== Host: $cycles cycles"
"$build/qvsm-host" -c "$demo/site.ini" --cycles "$cycles"

echo "== What the database holds"
"$build/qvsm-host" show -c "$demo/site.ini"

echo "== An alarm text through the GSM modem (about 15 s: the modem dialogue waits as on a real line)"
"$build/qvsm-host" ctl -c "$demo/site.ini" --sid 1001 --cmd 3 --text "13800138000;机房A温度告警: 41.5°C,请尽快处理!"
echo "-- what the modem received, decoded by python3-gammu:"
/usr/bin/python3 sim/sms_decode.py --show "$demo/sms/pdu.txt"

echo "== Files"
echo "site file:         $demo/site.ini"
echo "simulator file:    $demo/sim.ini"
echo "live database:     $demo/live.db"
echo "history database:  $demo/history.db ($(sqlite3 "$demo/history.db" 'select count(*) from tbEnvir') rows in tbEnvir)"
echo "module log:        $demo/root/NandFlash/tmp/qvsm.log.ini"
echo "modem dialogue:    $demo/sms/at.log, captured PDUs: $demo/sms/pdu.txt"
echo "try:  $build/qvsm-host show -c $demo/site.ini"
echo "      sqlite3 $demo/live.db 'select SID,Tem,Hum,iTem,iHum,State from tbEnvir'"
for t in tbModbusDat tbYdt1363Dat tbNormalDat; do
  echo "      sqlite3 $demo/live.db 'select SID,Fld,Val from $t where DID=0'"
done
echo "      sqlite3 $demo/live.db 'select SID,Ady,Bdy,Cdy,Adl,Zyggl,Ygzdn from tbElec'"
echo "      sqlite3 $demo/live.db 'select SID,Fld,V,R,T from tbBattVal'"
echo "      sqlite3 $demo/history.db 'select SID,Day,Val from tbElecM'"
[[ -z "$snmp_port" ]] || echo "      sqlite3 $demo/live.db 'select SID,Fld,Val,ValStr from tbSnmpDat where DID=0'"
echo "      sqlite3 $demo/live.db 'select SID,Vin1,Vout,Aout,Vbatt,status,company,mode from tbUps'"
picture=$(ls -t "$demo/root/NandFlash/www/wwwpub/images" 2>/dev/null | head -n 1)
if [[ -n "$picture" ]]; then
  echo "camera picture:    $demo/root/NandFlash/www/wwwpub/images/$picture"
else
  echo "camera picture:    none stored" >&2
fi
