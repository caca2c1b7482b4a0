#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: the example definitions, and replies shaped
like the ones the tests use (Modbus RTU and TCP, the probe's own frames, YD/T 1363, the
command protocol). Run from anywhere; the files go to fuzz/corpus/<target>/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")


def crc16(b):
    crc = 0xFFFF
    for c in b:
        crc ^= c
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes(b) + struct.pack("<H", crc)


def rtu(addr, func, data):
    return crc16(bytes([addr, func, len(data)]) + bytes(data))


def tcp(tid, unit, func, data):
    pdu = bytes([unit, func, len(data)]) + bytes(data)
    return struct.pack(">HHH", tid, 0, len(pdu)) + pdu


def regs(*v):
    return b"".join(struct.pack(">H", x & 0xFFFF) for x in v)


def ydt(ver, adr, rtn, info):
    n = len(info)
    s = (n & 0xF) + ((n >> 4) & 0xF) + ((n >> 8) & 0xF)
    length = ((((16 - s % 16) % 16) << 12) | n) if n else 0
    body = "%s%02X60%s%04X%s" % (ver, adr, rtn, length, info)
    chk = (0x10000 - sum(body.encode()) % 0x10000) % 0x10000
    return ("~" + body + "%04X\r" % chk).encode()


def frames(*fs):
    out = b""
    for f in fs:
        out += bytes([min(len(f), 255)]) + f[:255]
    return out


def write(target, name, data):
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# fuzz_driver: the row number, then the replies (rows as in kRows of fuzz_driver.cpp).
probe = regs(450, 235)
for row, func in [(0, 3), (1, 4), (2, 3), (3, 4), (4, 3)]:
    write("fuzz_driver", "probe-%d" % row, bytes([row]) + frames(rtu(1, func, probe)))
ex = bytes([0xC1, 1, 1, 4, 0, 0xEB, 0, 0xC2, 1, 0x55])
write("fuzz_driver", "probe-ex", bytes([5]) + frames(ex + bytes([sum(ex) & 0xFF])))
for row in range(6, 30):
    write("fuzz_driver", "envir-%d" % row, bytes([row]) + frames(
        rtu(1, 3, regs(*range(1, 21))), rtu(1, 4, regs(*range(1, 21))), rtu(1, 1, b"\x05\x00"), rtu(1, 2, b"\x01")))
write("fuzz_driver", "sitepro-tcp", bytes([12]) + frames(*[tcp(i, 1, 3, regs(*range(10))) for i in range(1, 5)]))
write("fuzz_driver", "modbus-rtu", bytes([30]) + frames(
    rtu(1, 3, regs(*range(2200, 2212))), rtu(1, 3, regs(1, 57920, 4614, 15, 5000, 950)), rtu(1, 3, regs(0, 1))))
write("fuzz_driver", "modbus-tcp", bytes([31]) + frames(
    tcp(1, 1, 3, regs(*range(2200, 2212))), tcp(2, 1, 3, regs(1, 57920, 4614, 15, 5000, 950)), tcp(3, 1, 3, regs(0, 1))))
write("fuzz_driver", "modbus-4609", bytes([32]) + frames(rtu(1, 4, regs(-50 & 0xFFFF, 456))))
write("fuzz_driver", "modbus-4610", bytes([33]) + frames(rtu(1, 1, b"\x05"), rtu(1, 2, b"\x81"), rtu(1, 3, regs(3))))
write("fuzz_driver", "modbus-4610-tcp", bytes([34]) + frames(tcp(1, 1, 1, b"\x05"), tcp(2, 1, 2, b"\x81"),
                                                             tcp(3, 1, 3, regs(3))))
write("fuzz_driver", "ydt", bytes([35]) + frames(
    ydt("21", 1, "00", "01" + "0000C842" * 3), ydt("21", 1, "00", "01" + "0102" * 4), ydt("21", 1, "00", "01" + "05" * 4)))
cmd42 = bytes([0x7E, 1, 0x42, 9]) + bytes(5) + struct.pack("<f", 1.5)
cmd43 = bytes([0x7E, 1, 0x43, 2, 1, 0])
write("fuzz_driver", "command", bytes([36]) + frames(
    cmd42 + bytes([sum(cmd42[1:]) & 0xFF, 0x0D]), cmd43 + bytes([sum(cmd43[1:]) & 0xFF, 0x0D])))

# The hand-written drivers after the definition drivers (rows 37 on): register blocks over RTU
# and TCP, and a line of an ASCII protocol.
for row in list(range(37, 92)) + list(range(92, 123)):
    write("fuzz_driver", "row-%d" % row, bytes([row]) + frames(
        rtu(1, 3, regs(*range(2200, 2260))), rtu(1, 4, regs(*range(100, 160))), rtu(1, 1, b"\x05\x81"),
        tcp(1, 1, 3, regs(*range(2200, 2250))), b"(230.0 229.0 230.0 034 50.0 2.25 35.0 00110000\r"))

# fuzz_buffers: addr 2, count 2, then replies of every kind, a late one first.
for name, fs in {
    "rtu": [rtu(3, 3, regs(1, 2)), rtu(2, 3, regs(1, 2)), rtu(2, 4, regs(1, 2)), rtu(2, 1, b"\x03")],
    "exception": [crc16(bytes([2, 0x84, 2]))],
    "tcp": [tcp(6, 2, 4, regs(1, 2)), tcp(7, 2, 4, regs(1, 2))],
    "ydt": [ydt("21", 1, "00", "0102"), ydt("21", 2, "00", "0102")],
    "ydt-short": [b"~101609FF000"],
}.items():
    write("fuzz_buffers", name, bytes([0x0A]) + frames(*fs))

# fuzz_defini: the example definitions.
ex_dir = os.path.join(HERE, "..", "examples", "definitions")
for f in sorted(os.listdir(ex_dir)):
    with open(os.path.join(ex_dir, f), "rb") as src:
        write("fuzz_defini", f, src.read())
