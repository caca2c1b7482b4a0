// The six-way switch input: rows, poll, summary and variable words, the hourly history rule.
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
        db.Clear();
    }
    int Poll(const Bytes& six)
    {
        Bytes b(15, 0);  // address 4, function 4, 12 bytes: three registers in six, then three more
        b[0] = 4, b[1] = 4, b[2] = 12;
        for (size_t i = 0; i < six.size() && i < 6; ++i) b[3 + i] = six[i];
        port.ReplyRtu(b);
        return sw.DataGet(&port, 4, 0);
    }
    int HistRows() { return hist.Int("select count(*) from tbOnoff where SID=6"); }

    TestDb db, hist;
    ScriptPort port;
    CSMOnOff sw;
    tagSMItem item = MakeItem(6, 512, 4, 0, &port);
};

TEST_F(OnOffTest, RowsPollSummaryAndWords)
{
    ASSERT_EQ(sw.RegDb(&db, 0), 0);
    EXPECT_EQ(db.execs.front(), "insert into tbSMType values(512,2048,'QV-PD220-6 QV-PD220-6','485接口...')");
    EXPECT_EQ(db.execs.back(), "insert into tbSMDef values(512,0,6,'sd6',1,'断开标志',0,1,1,0,'0正常',0,'',0,NULL)");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=512 and AlmMode=1 and vref=0"), 6);

    ASSERT_EQ(Poll({0x00, 0x01, 0x00, 0x00, 0x00, 0x00}), 1);
    EXPECT_EQ(ToHex(port.LastWrite()).substr(0, 17), "04 04 00 00 00 06");
    EXPECT_EQ(port.readCaps.back(), 17);
    for (int f = 1; f <= 6; ++f) EXPECT_EQ(sw.DataVal(f), f == 2 ? 1 : 0);
    EXPECT_EQ(sw.DataVal(7), -1);
    int bits = 2;
    EXPECT_EQ(sw.DataUpd(0, &bits, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=6"), "正常,断开,正常,正常,正常,正常");
    EXPECT_EQ(db.Int("select sd2*10+State from tbOnoff where SID=6"), 10) << "a switch alarm leaves the state at 0";

    // The variable words are worded the other way round from the summary.
    struct {
        const char* name;
        const char* text;
    } words[] = {{".sd2", "闭合"}, {".sd1", "断开"}, {".sd7", nullptr}, {"sd2", nullptr}};
    for (const auto& w : words) {
        char buf[16];
        std::strcpy(buf, w.name);
        EXPECT_EQ(sw.VarEval(buf), w.text ? 4 : -1) << w.name;
        if (w.text) {
            EXPECT_EQ(std::string(buf), w.text);
        }
    }

    // A failed poll: six "故障", flags cleared.
    port.ReplyHex("04 04 0C 00 01 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(sw.DataGet(&port, 4, 0), 0) << "bad CRC";
    port.Reply(Bytes());
    EXPECT_EQ(sw.DataGet(&port, 4, 0), 0) << "no reply";
    EXPECT_EQ(sw.DataVal(2), 1) << "a failed poll keeps the flags";
    EXPECT_EQ(sw.DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=6"), "故障,故障,故障,故障,故障,故障");
    EXPECT_EQ(sw.DataVal(2), 0);
    EXPECT_EQ(sw.DoFunc(&port, 4, 1, nullptr, 0), 1);
    EXPECT_EQ(port.writes.size(), 3u) << "controls send nothing";
}

TEST_F(OnOffTest, HistoryKeepsAlarmRowsAndNormalRowsHourly)
{
    int bits = 0;
    struct {
        const char* newest;  // age of the device's newest row (none: no rows)
        int flags;
        int added;
    } cases[] = {
        {nullptr, 0, 1},          // first row of the device
        {"-59 minutes", 0, 0},    // normal, newest row younger than an hour
        {"-61 minutes", 0, 1},    // older than an hour
        {"-1 minutes", 1, 1},     // alarm rows always
        {"-1 minutes", 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.newest ? c.newest : "none");
        hist.Run("delete from tbOnoff");
        if (c.newest)
            hist.Run(std::string("insert into tbOnoff(SID,DateUpd,State) values(6,datetime('now','localtime','") +
                     c.newest + "'),0)");
        int before = HistRows();
        hist.Clear();
        EXPECT_EQ(sw.DataUpd(c.flags, &bits, nullptr, -1, &hist), 1);
        EXPECT_EQ(HistRows() - before, c.added);
        EXPECT_EQ(hist.execs.front(),
                  "delete from tbOnoff where State=1 and (DID not in(select DID from tbOnoff order by DateUpd desc "
                  "limit 1000))");
    }
    // Old alarm rows beyond the newest 1000 rows go; normal rows stay.
    hist.Run("delete from tbOnoff");
    hist.Run("insert into tbOnoff(SID,DateUpd,State) values(6,'2000-01-01 00:00:00',1)");
    hist.Run("insert into tbOnoff(SID,DateUpd,State) values(6,'2000-01-01 00:00:01',0)");
    ASSERT_EQ(hist.Int("select count(*) from tbOnoff where DateUpd like '2000%'"), 2);
    for (int i = 0; i < 1000; ++i) hist.Run("insert into tbOnoff(SID,DateUpd,State) values(7,datetime('now','localtime'),1)");
    EXPECT_EQ(sw.DataUpd(1, &bits, nullptr, -1, &hist), 1);
    EXPECT_EQ(hist.Int("select count(*) from tbOnoff where DateUpd like '2000%'"), 1);
    EXPECT_EQ(hist.Int("select State from tbOnoff where DateUpd like '2000%'"), 0);
}

}  // namespace
