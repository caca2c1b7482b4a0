// Replies that do not belong to the request: a unit that answers after the host's time-out
// (its frame arrives with the next device's own) and a unit that answers with another
// address, on the same line as healthy ones, over Modbus RTU and Modbus TCP. Every cycle the
// healthy devices store their own readings and the faulty ones fail.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/TestUtil.h"

namespace {

// Two holding registers, read as one block.
const char kDef[] = "[comm]\nnote=stray\ndelay=0\n[regs3]\n0=2\n[flds]\ncnt=2\n1=40001\n2=40002\n";
const int kType = 4620;
const int kCycles = 3;

class StrayReplies : public e2e::Harness {
protected:
    void Run(bool tcp)
    {
        InstallDefs({});
        e2e::WriteFile(dir / "root/NandFlash/SM/SM4620.def", kDef);
        // The late units answer 400 ms after the request: after the host's 300 ms time-out,
        // together with the next device's reply (the simulator sends in order).
        auto where = StartSim(std::string("[sim]\ntick = 600000\n[bus.line]\n") +
                                  (tcp ? "kind = mbtcp\nlisten = 127.0.0.1:0\n" : "kind = rtu\npty = " + (dir / "tty") + "\n") +
                                  "[slave.late]\nbus = line\naddr = 1\nhold.0 = 111\nhold.1 = 112\nfault = late\ndelay = 400\n"
                                  "[slave.healthy]\nbus = line\naddr = 2\nhold.0 = 221\nhold.1 = 222\n"
                                  "[slave.wrong]\nbus = line\naddr = 3\nhold.0 = 331\nhold.1 = 332\nfault = wrongaddr\n"
                                  "[slave.late2]\nbus = line\naddr = 4\nhold.0 = 441\nhold.1 = 442\nfault = late\ndelay = 400\n"
                                  "[slave.probe]\nbus = line\naddr = 5\nhold.0 = 555\nhold.1 = 321\n",
                              true);
        std::string devices = Device(501, kType, 1, 1, "late") + Device(502, kType, 1, 2, "healthy") +
                              Device(503, kType, 1, 4, "late2");
        // The temperature and humidity probe speaks RTU only.
        devices += tcp ? Device(504, kType, 1, 5, "probe") : Device(504, 1280, 1, 5, "probe");
        devices += Device(505, kType, 1, 3, "wrong");
        std::string site = Site(Port(1, tcp ? "tcp://" + where["line"] : dir / "tty"), devices);
        std::string out;
        ASSERT_EQ(0, Host({"-c", site, "--cycles", std::to_string(kCycles)}, out)) << out;
        EXPECT_NE(std::string::npos, out.find("cycle 3: 2 ok, 3 failed (501 503 505)")) << out;

        // Every history row of the healthy devices is state 0 with their own values.
        auto histInt = [&](const std::string& sql) { return e2e::DbInt(hist, sql); };
        EXPECT_EQ(kCycles, histInt("select count(*) from tbModbus where SID=502 and State=0"));
        EXPECT_EQ(0, histInt("select count(*) from tbModbus where SID=502 and State<>0"));
        EXPECT_EQ(kCycles, histInt("select count(*) from tbModbusDat where SID=502 and Fld='V40001' and Val=221"));
        EXPECT_EQ(kCycles, histInt("select count(*) from tbModbusDat where SID=502 and Fld='V40002' and Val=222"));
        EXPECT_EQ(2 * kCycles, histInt("select count(*) from tbModbusDat where SID=502"));
        if (tcp) {
            EXPECT_EQ(kCycles, histInt("select count(*) from tbModbusDat where SID=504 and Fld='V40001' and Val=555"));
            EXPECT_EQ(2 * kCycles, histInt("select count(*) from tbModbusDat where SID=504"));
        } else {
            EXPECT_EQ(kCycles, histInt("select count(*) from tbEnvir where SID=504 and State=0 and Hum=555 and Tem=321"));
            EXPECT_EQ(kCycles, histInt("select count(*) from tbEnvir where SID=504"));
        }
        // The faulty ones fail every cycle and store nothing.
        for (int sid : {501, 503, 505}) {
            SCOPED_TRACE(sid);
            EXPECT_EQ(kCycles, histInt("select count(*) from tbModbus where State=2 and SID=" + std::to_string(sid)));
            EXPECT_EQ(0, histInt("select count(*) from tbModbusDat where SID=" + std::to_string(sid)));
            EXPECT_EQ(2, State(sid));
        }
        EXPECT_EQ("V40001=221 V40002=222", Readings("tbModbusDat", 502));
    }
};

TEST_F(StrayReplies, OverModbusRtu) { Run(false); }
TEST_F(StrayReplies, OverModbusTcp) { Run(true); }

}  // namespace
