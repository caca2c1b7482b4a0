// The simulator's input board and door controllers, without a bus.
#include <gtest/gtest.h>

#include "sim/DeviceResponders.h"

namespace {

using sim::DoorPacket;
using Bytes = std::vector<uint8_t>;

sim::SlaveSpec Door(int addr, std::map<std::string, std::string> ext)
{
    sim::SlaveSpec s;
    s.name = "door";
    s.bus = "door";
    s.addr = addr;
    s.ext = std::move(ext);
    return s;
}

TEST(DoorSim, RecordsInTurnAndOnlyGoodPacketsAnswered)
{
    sim::CDoorResponder r;
    std::string err;
    ASSERT_TRUE(r.Add(Door(3, {{"door.2", "8 100 2 0 0 2022-03-01 09:00:01"},
                               {"door.1", "7 712345 1 1 33 2022-03-01 08:30:10"},
                               {"door.repeat", "2"}}),
                      err))
        << err;
    Bytes ask = DoorPacket(3, 0x1081, {});
    ASSERT_EQ(34, r.FrameLength(ask.data(), 1));
    EXPECT_EQ(-1, r.FrameLength(Bytes{0x55}.data(), 1));
    // Record 7 twice (door.1 comes first whatever the key order), then record 8 for good.
    int recs[5];
    for (int& rec : recs) {
        sim::Reply rep;
        ASSERT_TRUE(r.Answer(ask.data(), ask.size(), rep));
        ASSERT_EQ(34u, rep.bytes.size());
        rec = rep.bytes[12] | rep.bytes[13] << 8 | rep.bytes[14] << 16;
        if (rec == 7) {
            EXPECT_EQ(712345 % 100000, rep.bytes[17] | rep.bytes[18] << 8);
            EXPECT_EQ(7, rep.bytes[19]);
            EXPECT_EQ(0x2C61, rep.bytes[21] | rep.bytes[22] << 8);
            EXPECT_EQ((8 << 11) | (30 << 5) | 5, rep.bytes[23] | rep.bytes[24] << 8);
            EXPECT_EQ(33, rep.bytes[25]);
            EXPECT_EQ(1, rep.bytes[26]);
        }
    }
    EXPECT_EQ((std::vector<int>{7, 7, 8, 8, 8}), std::vector<int>(recs, recs + 5));

    sim::Reply rep;
    Bytes bad = ask;
    bad[31] ^= 1;
    EXPECT_FALSE(r.Answer(bad.data(), bad.size(), rep)) << "wrong sum";
    Bytes other = DoorPacket(4, 0x1081, {});
    EXPECT_FALSE(r.Answer(other.data(), other.size(), rep)) << "no controller 4";
    Bytes open = DoorPacket(3, 0x109D, {1});
    ASSERT_TRUE(r.Answer(open.data(), open.size(), rep));
    EXPECT_EQ(DoorPacket(3, 0x109D, {0}), rep.bytes);

    for (const char* text : {"1 765536 1 0 0 2022-03-01 00:00:00", "1 1 1 0 0 1999-03-01 00:00:00",
                             "1 1 1 0 0 2022-13-01 00:00:00", "1 1 1 0 0 2022-03-01", "1 1 1 0 0 2022-03-01 1:2:3 x"}) {
        sim::DoorRecord d;
        EXPECT_FALSE(sim::ParseDoorRecord(text, d)) << text;
    }
    sim::CDoorResponder r2;
    EXPECT_FALSE(r2.Add(Door(1, {{"door.x", "1"}}), err));
}

TEST(DioSim, ReportsTheStateBytesByItself)
{
    sim::BusSpec bus;
    bus.name = "di";
    bus.protocol = sim::PROTO_DIO;
    bus.ext["dio.every"] = "50";
    sim::SlaveSpec sl;
    sl.name = "board";
    sl.bus = "di";
    for (int i = 0; i < 2; ++i) {
        sim::RegSpec reg;
        reg.reg = i;
        reg.value = reg.lo = reg.hi = i ? 0x0F : 0xFE;
        sl.regs.push_back(reg);
    }
    std::string err;
    auto r = sim::MakeDeviceResponder(bus, {sl}, err);
    ASSERT_TRUE(r) << err;
    EXPECT_EQ(50, r->ReportMs());
    sim::Reply rep;
    ASSERT_TRUE(r->Report(rep));
    EXPECT_EQ((Bytes{0xFE, 0x0F}), rep.bytes);

    sl.regs.pop_back();
    EXPECT_FALSE(sim::MakeDeviceResponder(bus, {sl}, err)) << "the second byte is missing";
    bus.ext["dio.every"] = "0";
    EXPECT_FALSE(sim::MakeDeviceResponder(bus, {}, err));
}

}  // namespace
