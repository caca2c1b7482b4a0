// Door controller packets, record decoding and the access log; network reachability on
// loopback only.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "drivers/card/CardModels.h"
#include "tests/kit/Kit.h"

namespace {

// A controller reply built by hand from the fields at their offsets, with its sum.
Bytes CardReply(int rec, int card, int st, int date, int time, int reason, int door, int addr = 1)
{
    Bytes b(34, 0);
    const struct {
        int at, v, n;
    } fields[] = {{0, 0x7E, 1},          {1, addr, 2},     {3, 0x1081, 2}, {12, rec, 3},
                  {17, card % 100000, 2}, {19, card / 100000, 1}, {20, st, 1},    {21, date, 2},
                  {23, time, 2},          {25, reason, 1}, {26, door, 1}};
    for (const auto& f : fields)
        for (int i = 0; i < f.n; ++i) b[static_cast<size_t>(f.at + i)] = static_cast<unsigned char>(f.v >> (8 * i));
    unsigned sum = 0;
    for (int i = 1; i <= 30; ++i) sum += b[static_cast<size_t>(i)];
    b[31] = sum & 0xFF;
    b[32] = (sum >> 8) & 0xFF;
    b[33] = 0x0D;
    return b;
}

// 2022-03-01 and 08:30:10 as the controller packs them.
const int kDate = 0x2C61;
const int kTime = (8 << 11) | (30 << 5) | 5;

TEST(CardPacket, LayoutSumAndCheck)
{
    CSMCardA card;
    unsigned char data[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_EQ(34, card.CmdPack(0x0102, 0x109D, data, 3));
    Bytes p(card.CmdBuf(), card.CmdBuf() + 34);
    EXPECT_EQ("7E 02 01 9D 10 AA BB CC 00", ToHex(Bytes(p.begin(), p.begin() + 9)));
    unsigned sum = 0x02 + 0x01 + 0x9D + 0x10 + 0xAA + 0xBB + 0xCC;
    EXPECT_EQ(sum & 0xFF, p[31]);
    EXPECT_EQ(sum >> 8, p[32]);
    EXPECT_EQ(0x0D, p[33]);
    EXPECT_EQ(1, CSMCardA::ChkPack(p.data(), 34));
    EXPECT_EQ(0, CSMCardA::ChkPack(p.data(), 33));
    p[30] ^= 1;
    EXPECT_EQ(0, CSMCardA::ChkPack(p.data(), 34));
    // len 0 with data: one byte; data longer than the packet holds is refused.
    ASSERT_EQ(34, card.CmdPack(1, 0x1081, data, 0));
    EXPECT_EQ("AA 00", ToHex(Bytes(card.CmdBuf() + 5, card.CmdBuf() + 7)));
    unsigned char big[27] = {};
    EXPECT_EQ(0, card.CmdPack(1, 0x1081, big, 27));

    EXPECT_EQ((2022 << 16) | (3 << 8) | 1, CSMCardA::DecodeDate(kDate));
    EXPECT_EQ((8 << 16) | (30 << 8) | 10, CSMCardA::DecodeTime(kTime));
}

class CardLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        card.SetDb(&live, 0);
        card.SetDb(&hist, 1);
        card.RegDb(&live, 0);
        card.DoItem(&item, 0);
        card.ChkDb(&item);
    }
    int Poll(const Bytes& reply)
    {
        port.Reply(reply);
        int ok = card.DataGet(&port, 1, 0);
        int bits = 0;
        card.DataUpd(0, ok ? &bits : nullptr, nullptr, 21, &hist);
        return ok;
    }
    FakeClock clock;
    TestDb live, hist;
    ScriptPort port;
    CSMCardA card;
    tagSMItem item = MakeItem(21, 3328, 1, 0, &port);
};

TEST_F(CardLog, TablesAndRows)
{
    EXPECT_EQ(1, live.CountExecs("CREATE TABLE tbCardLog(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port "
                                 "INTEGER,Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,Rec INTEGER,Card "
                                 "INTEGER,Door INTEGER,St INTEGER,LogDate DATETIME,LogImg VARCHAR(128))"));
    EXPECT_EQ(1, hist.CountExecs("CREATE TABLE tbCardLog("));
    EXPECT_EQ(1, live.CountExecs("insert into tbSMType values(3328,3329,'CardA ISMBase基类','485接口...')"));  // no model name: the base's
    EXPECT_EQ(1, live.CountExecs("insert into tbSMDef values(3328,0,17,'CardFound',1,'进出',0,1,1,0,'1有人进出',0,'',0,NULL)"));
    EXPECT_EQ(1, live.CountExecs("insert into tbSMDef values(3328,0,1,'CardId',1,'卡号',0,1,0,0,'卡ID|允许卡ID范围 "
                                 "小值',0,'卡ID|允许卡ID范围 大值',0,NULL)"));
}

TEST_F(CardLog, ANewRecordIsDecodedAndLoggedOnce)
{
    ASSERT_EQ(1, Poll(CardReply(0x010203, 712345, 1, kDate, kTime, 0x21, 2)));
    EXPECT_EQ("7E 01 00 81 10", ToHex(Bytes(port.writes[0].begin(), port.writes[0].begin() + 5)));
    EXPECT_EQ(0x010203, card.DataVal(1));
    EXPECT_EQ(712345, card.DataVal(2));
    EXPECT_EQ((2022 << 16) | (3 << 8) | 1, card.DataVal(3));
    EXPECT_EQ(0x21, card.DataVal(7));
    EXPECT_EQ(2, card.DataVal(8));
    EXPECT_EQ(-1, card.DataVal(0));
    EXPECT_EQ(-1, card.DataVal(18));
    EXPECT_EQ(0, card.DataVal(17)) << "reset by DataUpd";
    EXPECT_EQ(1, hist.Int("select count(*) from tbCardLog where Rec=66051 and Card=712345 and Door=2 and St=1 and "
                          "LogDate='2022-03-01 08:30:10'"));
    EXPECT_EQ(1, live.CountExecs("Rec=66051,Card=712345,Door=2,St=1,LogDate='2022-03-01 08:30:10' where sid=21"));

    // The same record again: no event, nothing logged.
    port.Reply(CardReply(0x010203, 712345, 1, kDate, kTime, 0x21, 2));
    ASSERT_EQ(1, card.DataGet(&port, 1, 0));
    EXPECT_EQ(0, card.DataVal(17));
    int bits = 0;
    card.DataUpd(0, &bits, nullptr, 21, &hist);
    // Another record number with a time already logged is not inserted again.
    ASSERT_EQ(1, Poll(CardReply(5, 1, 0, kDate, kTime, 0, 1)));
    EXPECT_EQ(1, hist.Int("select count(*) from tbCardLog"));
    // A bad sum, or only a packet of another controller (address 0x101: the high byte counts),
    // fails the poll and keeps the record.
    Bytes bad = CardReply(6, 1, 0, kDate, kTime, 0, 1);
    bad[31] ^= 0xFF;
    const Bytes others[] = {bad, CardReply(6, 1, 0, kDate, kTime, 0, 1, 2),
                            CardReply(6, 1, 0, kDate, kTime, 0, 1, 0x101)};
    for (const Bytes& b : others) {
        EXPECT_EQ(0, Poll(b));
        EXPECT_EQ(5, card.DataVal(1));
        EXPECT_EQ(2, live.Int("select St from tbSMBrief where SID=21"));
    }
    // Controller 2's late packet before the own one is dropped.
    port.Reply(CardReply(7, 1, 0, kDate, kTime, 0, 1, 2));
    EXPECT_EQ(1, Poll(CardReply(8, 1, 0, kDate, kTime, 0, 1)));
    EXPECT_EQ(8, card.DataVal(1));
    EXPECT_TRUE(port.replies.empty());
}

TEST_F(CardLog, LogOver1500RowsIsTrimmedToTheNewest1000)
{
    for (int i = 0; i < 1501; ++i)
        hist.Run("insert into tbCardLog(SID,DateUpd,State,LogDate) values(21,'2021-01-01 00:00:00'," +
                 std::to_string(i % 2) + ",'2021-01-01 00:00:00')");
    hist.Clear();
    ASSERT_EQ(1, Poll(CardReply(9, 1, 0, kDate, kTime, 0, 1)));
    EXPECT_EQ(1, hist.CountExecs("delete from tbCardLog where State>=0 and (DID not in(select DID from tbCardLog "
                                 "order by DateUpd desc limit 1000))"));
    EXPECT_EQ(1001, hist.Int("select count(*) from tbCardLog"));
}

TEST(CardFunc, ControlsAreAnsweredByTheController)
{
    FakeClock clock;
    struct Case {
        int cmd, byte5, sumOff, ret;
    } cases[] = {{0x109D, 0, 0, 1}, {0x109D, 1, 0, 0}, {0x1090, 1, 0, 1}, {0x1090, 0, 1, 0}};
    for (const Case& c : cases) {
        CSMCardA card;
        ScriptPort port;
        Bytes r = CardReply(1, 0, 0, 0, 0, 0, 0, 3);
        r[5] = static_cast<unsigned char>(c.byte5);
        r[31] = static_cast<unsigned char>(r[31] + c.byte5 + c.sumOff);
        port.Reply(r);
        unsigned char data = 1;
        EXPECT_EQ(c.ret, card.DoFunc(&port, 3, c.cmd, &data, 1)) << c.cmd;
        EXPECT_EQ(c.cmd & 0xFF, port.LastWrite().at(3));
        port.Reply(CardReply(1, 0, 0, 0, 0, 0, 0, 4));
        EXPECT_EQ(0, card.DoFunc(&port, 3, c.cmd, &data, 1)) << "answered by controller 4";
    }
    EXPECT_EQ(std::vector<unsigned long>(8, 100000), FakeClock::Sleeps());
}

// ---- reachability ------------------------------------------------------------------------

// A loopback TCP port that listens (keep the socket) or that nobody listens on (closed).
int LoopbackPort(bool listening, int* fd)
{
    *fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(*fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(*fd, reinterpret_cast<sockaddr*>(&a), &len);
    if (listening) {
        listen(*fd, 4);
    } else {
        close(*fd);
        *fd = -1;
    }
    return ntohs(a.sin_port);
}

int PingFlag(int variant, const std::string& addrText, TestDb* db = nullptr)
{
    CSMNetPing ping;
    tagSMItem item = MakeItem(31, 3335, 0, variant);
    std::snprintf(item.AddrText, sizeof item.AddrText, "%s", addrText.c_str());
    if (db) {
        ping.SetDb(db, 0);
        ping.ChkDb(&item);
    }
    ping.DoItem(&item, 0);
    EXPECT_EQ(1, ping.DataGet(nullptr, 0, 0)) << addrText;
    int bits = 0;
    if (db) ping.DataUpd(0, &bits, nullptr, 31, db);
    return ping.DataVal(1);
}

TEST(NetPing, AddressTextSplitAndChecked)
{
    struct Case {
        const char* text;
        const char* host;
        int port;
        bool plain;
    } cases[] = {
        {"127.0.0.7:8080", "127.0.0.7", 8080, true},
        {"127.0.0.7", "127.0.0.7", 0, true},
        {"board-1.local:x", "board-1.local", 0, true},
        {"", "", 0, false},
        {"a;rm -rf x:80", "a;rm -rf x", 80, false},
        {"-c9", "-c9", 0, false},
        {"0123456789012345678901234567890123456789:1", "01234567890123456789012345678901234", 1, true},
    };
    for (const Case& c : cases) {
        char host[CSMNetPing::HOST_MAX + 1];
        int port = -1;
        CSMNetPing::SplitTarget(c.text, host, &port);
        EXPECT_EQ(c.host, std::string(host)) << c.text;
        EXPECT_EQ(c.port, port) << c.text;
        EXPECT_EQ(c.plain, CSMNetPing::PlainHost(host)) << c.text;
    }
}

TEST(NetPing, TcpProbeOfLoopbackPortsAndShellCharactersNeverRunOrSent)
{
    int lfd, cfd;
    int open = LoopbackPort(true, &lfd);
    int closed = LoopbackPort(false, &cfd);
    TestDb db;
    EXPECT_EQ(1, PingFlag(1, "localhost:" + std::to_string(open), &db));
    EXPECT_EQ(1, db.CountExecs("update tbPingNet set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,"
                               "SnapID=0,iPingState=1 where sid=31"));
    EXPECT_EQ("在线", db.Str("select Brief from tbSMBrief where SID=31"));
    EXPECT_EQ(1, db.CountExecs("insert into tbPingNet(SID,DateUpd,State,SnapID,iPingState) "
                               "values(31,datetime(CURRENT_TIMESTAMP,'localtime'),0,0,1)"));
    EXPECT_EQ(0, PingFlag(1, "127.0.0.1:" + std::to_string(closed), &db));
    EXPECT_EQ("离线", db.Str("select Brief from tbSMBrief where SID=31"));
    EXPECT_EQ(0, PingFlag(1, "127.0.0.1")) << "no port: nothing probed";
    EXPECT_EQ(0, PingFlag(1, ":" + std::to_string(open))) << "no host";

    TempRoot root;
    std::string mark = root.Dir() + "/ran";
    for (int variant : {0, 1})
        for (const std::string& text : {"127.0.0.1;touch " + mark + ":" + std::to_string(open),
                                        "$(touch " + mark + "):" + std::to_string(open)}) {
            EXPECT_EQ(0, PingFlag(variant, text)) << text;
            EXPECT_NE(0, access(mark.c_str(), F_OK)) << text;
        }
    close(lfd);
}

TEST(NetPing, EchoOfLoopback)
{
    if (CSMNetPing::EchoKind() == 0)
        GTEST_SKIP() << "this machine allows no ICMP socket (no raw-socket right and a closed ping group range): "
                        "the echo is not tried";
    EXPECT_EQ(1, PingFlag(0, "127.0.0.1"));
    EXPECT_EQ(1, PingFlag(0, "127.0.0.9:80")) << "the port is ignored by the echo";
    EXPECT_EQ(0, PingFlag(0, "")) << "an empty host name";
}

}  // namespace
