// The six-way switch input: poll, summary and variable words, the hourly history rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drivers/switch/SwitchModels.h"
#include "tests/kit/Kit.h"

namespace {

class OnOffTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sw.SetDb(&db, 0);
        sw.SetDb(&hist, 1);
        sw.DoItem(&item, 0);
        ASSERT_EQ(sw.ChkDb(&item), 1);
    }
    TestDb db, hist;
    ScriptPort port;
    CSMOnOff sw;
    tagSMItem item = MakeItem(6, 512, 4, 0, &port);
};

TEST_F(OnOffTest, PollSummaryAndWords)
{
    port.ReplyRtu({4, 4, 12, 0, 1, 0, 0, 0, 0, 9, 9, 9, 9, 9, 9});
    ASSERT_EQ(sw.DataGet(&port, 4, 0), 1);
    EXPECT_EQ(ToHex(port.LastWrite()).substr(0, 17), "04 04 00 00 00 06");
    int bits = 2;
    EXPECT_EQ(sw.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=6"), "正常,断开,正常,正常,正常,正常");
    EXPECT_EQ(db.Str("select State||':'||sd1||sd2||sd3||sd4||sd5||sd6 from tbOnoff where SID=6"), "0:010000");
    // The variable words are worded the other way round from the summary.
    const char* words[][2] = {{".sd2", "闭合"}, {".sd1", "断开"}, {".sd7", ""}, {"sd2", ""}};
    for (const auto& w : words) {
        char buf[16];
        std::strcpy(buf, w[0]);
        EXPECT_EQ(sw.VarEval(buf), w[1][0] ? 4 : -1) << w[0];
        EXPECT_STREQ(buf, w[1][0] ? w[1] : w[0]);
    }
    // Bad CRC, no reply: failure, flags kept until DataUpd stores the failure.
    port.ReplyHex("04 04 0C 00 01 00 00 00 00 00 00 00 00 00 00 00 00");
    port.Reply(Bytes());
    EXPECT_EQ(sw.DataGet(&port, 4, 0) + sw.DataGet(&port, 4, 0), 0);
    EXPECT_EQ(sw.DataVal(2), 1);
    EXPECT_EQ(sw.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=6"), "故障,故障,故障,故障,故障,故障");
    EXPECT_EQ(sw.DataVal(2), 0);
}

TEST_F(OnOffTest, HistoryKeepsAlarmRowsAndNormalRowsHourly)
{
    int bits = 0;
    struct {
        const char* newest;  // age of the device's newest row ("": no rows)
        int flags, added;
    } cases[] = {{"", 0, 1}, {"-59 minutes", 0, 0}, {"-61 minutes", 0, 1}, {"-1 minutes", 1, 1}};
    for (const auto& c : cases) {
        hist.Run("delete from tbOnoff");
        if (c.newest[0])
            hist.Run(std::string("insert into tbOnoff(SID,DateUpd,State) values(6,datetime('now','localtime','") +
                     c.newest + "'),0)");
        int before = hist.Int("select count(*) from tbOnoff");
        EXPECT_EQ(sw.DataUpd(c.flags, &bits, nullptr, -1, &hist), 1);
        EXPECT_EQ(hist.Int("select count(*) from tbOnoff") - before, c.added) << c.newest;
    }
    // Alarm rows older than the newest 1000 rows go; normal rows stay.
    hist.Run("delete from tbOnoff");
    hist.Run("insert into tbOnoff(SID,DateUpd,State) values(6,'2000-01-01 00:00:00',1)");
    hist.Run("insert into tbOnoff(SID,DateUpd,State) values(6,'2000-01-01 00:00:01',0)");
    for (int i = 0; i < 1000; ++i) hist.Run("insert into tbOnoff(SID,DateUpd,State) values(7,datetime('now','localtime'),1)");
    hist.Clear();
    EXPECT_EQ(sw.DataUpd(1, &bits, nullptr, -1, &hist), 1);
    EXPECT_EQ(hist.execs.front(), "delete from tbOnoff where State=1 and (DID not in(select DID from tbOnoff order by "
                                  "DateUpd desc limit 1000))");
    EXPECT_EQ(hist.Str("select group_concat(State) from tbOnoff where DateUpd like '2000%'"), "0");
}

}  // namespace
