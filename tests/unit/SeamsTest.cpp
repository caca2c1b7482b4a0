// Shared seams of the drivers: the clock, on-board files, history trimming and device-word arithmetic.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "base/SMArith.h"
#include "base/SMBase.h"
#include "base/SMBoard.h"
#include "base/SMEnv.h"
#include "tests/kit/Kit.h"

namespace {

TEST(Seams, ClockIsTheTestsUntilReleased)
{
    {
        FakeClock clock;
        FakeClock::SetLocal(2022, 12, 31, 23, 59, 59);
        struct tm t = SMLocalNow();
        EXPECT_EQ(t.tm_year + 1900, 2022);
        EXPECT_EQ(t.tm_yday, 364);
        SMSleepMs(1500);  // sleeps move the fake clock
        t = SMLocalNow();
        EXPECT_EQ(t.tm_year + 1900, 2023);
        EXPECT_EQ(t.tm_sec, 0);
        FakeClock::Advance(3600);
        EXPECT_EQ(SMLocalNow().tm_hour, 1);
    }
    time_t real = time(nullptr);
    EXPECT_LE(real - SMNow(), 1) << "the real clock is back";
}

TEST(Seams, BoardFilesLiveBelowTheRoot)
{
    TempRoot root;
    const char* raw = "/sys/bus/iio/devices/iio:device0/in_voltage5_raw";
    long v = -7;
    EXPECT_FALSE(SMReadIntFile(raw, &v)) << "missing file";
    EXPECT_EQ(v, -7);
    root.Write(raw, "2048\n");
    ASSERT_TRUE(SMReadIntFile(raw, &v));
    EXPECT_EQ(v, 2048);
    root.Write(raw, "x12\n");
    EXPECT_FALSE(SMReadIntFile(raw, &v)) << "not a number";
    EXPECT_EQ(v, 2048);

    const char* gpio = "/sys/class/gpio/gpio123/value";
    EXPECT_FALSE(SMWriteIntFile(gpio, 1)) << "no gpio folder";
    root.Write(gpio, "");
    ASSERT_TRUE(SMWriteIntFile(gpio, 1));
    EXPECT_EQ(root.Read(gpio), "1\n");
}

TEST(Seams, TrimKeepsTheNewestRowsThatMatch)
{
    TestDb db;
    db.Run("create table tbLog(DID INTEGER PRIMARY KEY,SID INTEGER,DateUpd DATETIME,State INTEGER)");
    for (int i = 0; i < 12; ++i)
        db.Run("insert into tbLog(SID,DateUpd,State) values(1,datetime('2022-03-01','+" + std::to_string(i) +
               " minutes')," + std::to_string(i % 2) + ")");
    EXPECT_EQ(CSMBase::TrimRows(&db, "tbLog", "State=1", 4), 0);
    EXPECT_EQ(db.execs.back(),
              "delete from tbLog where State=1 and (DID not in(select DID from tbLog order by DateUpd desc limit 4))");
    // Of the newest four rows two are State 1; the older State 1 rows go, every State 0 row stays.
    EXPECT_EQ(db.Int("select count(*) from tbLog where State=1"), 2);
    EXPECT_EQ(db.Int("select count(*) from tbLog where State=0"), 6);
    EXPECT_EQ(CSMBase::TrimRows(nullptr, "tbLog", "State=1", 4), 0);
}

TEST(Seams, DeviceWordArithmeticWrapsAndScalesInDouble)
{
    struct {
        int64_t a, b;
        int32_t mul, add;
    } rows[] = {
        {65535, 65537, -1, 131072},                 // 0xFFFFFFFF
        {INT32_MAX, 2, -2, INT32_MIN + 1},          // signed overflow, defined here
        {0xFFFFFFFFLL, 0xFFFFFFFFLL, 1, -2},
        {-3, 7, -21, 4},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(SMWrapMul(r.a, r.b), r.mul) << r.a << " * " << r.b;
        EXPECT_EQ(SMWrapAdd(r.a, r.b), r.add) << r.a << " + " << r.b;
    }
    EXPECT_EQ(SMScale(90, 1.3), 117);
    EXPECT_EQ(SMScale(-90, 1.3), -117);
    EXPECT_EQ(SMScale(3e9, 1.0), INT32_MAX);
    EXPECT_EQ(SMScale(-3e9, 1.0), INT32_MIN);
}

}  // namespace
