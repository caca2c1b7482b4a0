// The two serial cameras: the VC0706 module's set-up dialogue and snapshot exchange, the
// 3GE unit's one-command transfer, the picture files and tbCamera.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "drivers/camera/CameraModels.h"
#include "tests/kit/Kit.h"

namespace {

using Strings = std::vector<std::string>;

const char kImages[] = "/NandFlash/www/wwwpub/images/";

// A JPEG-looking picture of n bytes.
Bytes Picture(int n)
{
    Bytes b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) b[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 7 + 3);
    if (n >= 2) b[0] = 0xFF, b[1] = 0xD8;
    return b;
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.Path(std::string(kImages) + "x");  // creates the folder, as on the board
        for (CSMCameraBase* d : {static_cast<CSMCameraBase*>(&cam), static_cast<CSMCameraBase*>(&ge)}) d->SetDb(&db, 0);
        cam.DoItem(&item, 0);
        ASSERT_EQ(cam.ChkDb(&item), 1);
        ge.DoItem(&geItem, 0);
        ASSERT_EQ(ge.ChkDb(&geItem), 1);
        FakeClock::SetLocal(2024, 7, 9, 14, 5, 3);
        db.Clear();
    }
    // Replies of a snapshot up to the read-frame command.
    void Header(int len)
    {
        port.ReplyHex("76 00 36 00 00");
        port.Reply(Bytes{0x76, 0x00, 0x34, 0x00, 0x04, 0x00, 0x00, static_cast<unsigned char>(len >> 8),
                         static_cast<unsigned char>(len)});
    }
    // The read-frame reply in reads of at most 1024 bytes.
    void Frame(const Bytes& all)
    {
        for (size_t i = 0; i < all.size(); i += 1024)
            port.Reply(Bytes(all.begin() + static_cast<long>(i), all.begin() + static_cast<long>(std::min(all.size(), i + 1024))));
    }
    Strings Files()
    {
        Strings out;
        DIR* d = opendir(root.Path(kImages).c_str());
        if (!d) return out;
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') out.push_back(e->d_name);
        closedir(d);
        return out;
    }
    std::string Stored(const std::string& name) { return root.Read(kImages + name); }

    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMCamera cam;
    SMCamera3ge ge;
    tagSMItem item = MakeItem(31, 3072, 1, 0, &port);
    tagSMItem geItem = MakeItem(32, 3073, 1, 0, &port);
};

TEST_F(CameraTest, SnapshotIsStoredFromOffsetFiveUnderTheClocksName)
{
    const Bytes pic = Picture(2500);
    Header(2500);
    Frame(Cat(Cat(HexBytes("76 00 32 00 00"), pic), HexBytes("76 00 32 00 00")));
    ASSERT_EQ(cam.DataGet(&port, 1, 0), 1);
    Strings frames;
    for (const Bytes& w : port.writes) frames.push_back(ToHex(w));
    EXPECT_EQ(frames, (Strings{"56 00 36 01 00", "56 00 34 01 00",
                               "56 00 32 0C 00 0A 00 00 00 00 00 00 09 C4 00 1A"}));
    EXPECT_EQ(port.purges, 2);
    EXPECT_EQ(FakeClock::Sleeps(), (std::vector<unsigned long>{100000, 300000, 100000}));
    EXPECT_EQ(Files(), Strings{"20240709140503.JPEG"});
    EXPECT_EQ(Stored("20240709140503.JPEG"), std::string(pic.begin(), pic.end()));
    EXPECT_EQ(cam.DataVal(1), 2500);
    EXPECT_STREQ(cam.FileName(), "20240709140503.JPEG");
    EXPECT_EQ(cam.DataVal(3), -1);
    EXPECT_EQ(cam.Pictures(), 1);

    // The same name again (each snapshot sleeps half a second): the file is overwritten.
    const Bytes pic2 = Picture(10);
    Header(10);
    FakeClock::SetLocal(2024, 7, 9, 14, 5, 2);
    Frame(Cat(HexBytes("76 00 32 00 00"), pic2));
    ASSERT_EQ(cam.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(Files(), Strings{"20240709140503.JPEG"});
    EXPECT_EQ(Stored("20240709140503.JPEG"), std::string(pic2.begin(), pic2.end()));
}

TEST_F(CameraTest, FailedExchangesWriteNoFile)
{
    const Bytes pic = Picture(3000);
    const struct {
        const char* what;
        std::vector<Bytes> replies;
        unsigned long lastSleep;
    } cases[] = {
        {"no stop acknowledgement", {}, 100000},
        {"wrong stop acknowledgement", {HexBytes("76 00 36 01 00")}, 100000},
        {"wrong length prefix", {HexBytes("76 00 36 00 00"), HexBytes("76 00 34 00 04 00 01 0B B8")}, 300000},
        {"truncated transfer",
         {HexBytes("76 00 36 00 00"), HexBytes("76 00 34 00 04 00 00 0B B8"),
          Cat(HexBytes("76 00 32 00 00"), Bytes(pic.begin(), pic.begin() + 1019)),
          Bytes(pic.begin() + 1019, pic.begin() + 2000)},
         100000},
        {"no JPEG start", {HexBytes("76 00 36 00 00"), HexBytes("76 00 34 00 04 00 00 0B B8"), HexBytes("76 00 32 00 00 FF D9")},
         2000000},
        {"empty frame", {HexBytes("76 00 36 00 00"), HexBytes("76 00 34 00 04 00 00 0B B8")}, 2000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const Bytes& b : c.replies) port.Reply(b);
        FakeClock::Sleeps().clear();
        EXPECT_EQ(cam.DataGet(&port, 1, 0), 0);
        EXPECT_EQ(FakeClock::Sleeps().back(), c.lastSleep);
        EXPECT_TRUE(Files().empty());
        port.replies.clear();
    }
    EXPECT_EQ(cam.Pictures(), 0);

    // A camera that sends more than the image buffer holds: reading stops at its end.
    Header(0xFFFF);
    const Bytes big = Cat(HexBytes("76 00 32 00 00"), Picture(0xFFFF));
    Frame(big);
    Frame(big);
    port.reads = 0;
    EXPECT_EQ(cam.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(port.reads, 2 + 101);
    EXPECT_EQ(port.readCaps.back(), 1020) << "the last read is cut to the room left";
    EXPECT_EQ(Stored(cam.FileName()), std::string(big.begin() + 5, big.end()));
}

TEST_F(CameraTest, SetUpDialogueWithItsSharedRetryCounter)
{
    const Bytes ok31 = HexBytes("76 00 31 00 00");
    const struct {
        const char* what;
        std::vector<Bytes> replies;
        int result;
        int writes;
    } cases[] = {
        {"boot text", {HexBytes("76 00 26 00 56 43 30 37 30 33"), Bytes{'I', 'n', 'i', 't', ' ', 'e', 'n', 'd', '\r', '\n'}, ok31, ok31}, 1, 4},
        {"acknowledged resume", {HexBytes("76 00 26 00"), HexBytes("76 00 36 00 00"), ok31, ok31}, 1, 4},
        {"reset retried", {Bytes(), HexBytes("76 00 26 00"), HexBytes("76 00 36 00 00"), ok31, ok31}, 1, 5},
        {"reset never answered", {}, 0, 3},
        {"resume retried", {HexBytes("76 00 26 00"), HexBytes("76 00 36 01 00"), HexBytes("76 00 36 00 00"), ok31, ok31}, 1, 5},
        {"resume unanswered", {HexBytes("76 00 26 00")}, 0, 2},
        {"size after two compressions", {HexBytes("76 00 26 00"), HexBytes("76 00 36 00 00"), HexBytes("76 00 31 01 00"), ok31, ok31}, 1, 5},
        {"three compressions leave no size attempt",
         {HexBytes("76 00 26 00"), HexBytes("76 00 36 00 00"), HexBytes("76 00 31 01 00"), HexBytes("76 00 31 01 00"), ok31},
         0, 5},
        {"size refused", {HexBytes("76 00 26 00"), HexBytes("76 00 36 00 00"), ok31, HexBytes("76 00 31 01 00"), HexBytes("76 00 31 01 00")}, 0, 5},
        {"compression unanswered", {HexBytes("76 00 26 00"), HexBytes("76 00 36 00 00")}, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port.writes.clear();
        port.readTimeouts.clear();
        for (const Bytes& b : c.replies) port.Reply(b);
        EXPECT_EQ(cam.DoFunc(&port, 1, 0, nullptr, 0), c.result);
        EXPECT_EQ(static_cast<int>(port.writes.size()), c.writes);
        if (c.result) {
            // One read after every write; the resume reads only what has arrived.
            ASSERT_EQ(port.readTimeouts.size(), port.writes.size());
            for (size_t i = 0; i < port.writes.size(); ++i)
                EXPECT_EQ(port.readTimeouts[i], ToHex(port.writes[i]) == "56 00 36 01 03" ? -1 : 0) << i;
            EXPECT_EQ(ToHex(port.writes[0]), "56 00 26 00");
            EXPECT_EQ(ToHex(port.writes[port.writes.size() - 2]), "56 00 31 05 01 01 12 04 80");
            EXPECT_EQ(ToHex(port.writes.back()), "56 00 31 05 04 01 00 19 11");
        }
        port.replies.clear();
    }
    port.shortWriteBy = 1;
    port.writes.clear();
    EXPECT_EQ(cam.DoFunc(&port, 1, 0, nullptr, 0), 0);
    EXPECT_EQ(port.writes.size(), 1u) << "a short reset write ends at once";
}

TEST_F(CameraTest, ThreeGeTransferAndItsEmptyPicture)
{
    const Bytes pic = Picture(1300);
    const struct {
        int announced;
        std::vector<Bytes> data;
        int stored;
    } cases[] = {
        {1300, {Bytes(pic.begin(), pic.begin() + 512), Bytes(pic.begin() + 512, pic.begin() + 1024),
                Bytes(pic.begin() + 1024, pic.end())}, 1300},
        {1300, {Bytes(pic.begin(), pic.begin() + 512), Bytes(pic.begin() + 512, pic.begin() + 700)}, 700},  // it stopped: what arrived is kept
        {0, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.announced);
        port.Reply("UG#");
        port.Reply(Bytes{'U', 'P', static_cast<unsigned char>(c.announced & 0xFF), static_cast<unsigned char>(c.announced >> 8)});
        port.Reply("#");
        for (const Bytes& b : c.data) port.Reply(b);
        port.readCaps.clear();
        ASSERT_EQ(ge.DataGet(&port, 1, 0), 1);
        EXPECT_EQ(ToHex(port.LastWrite()), "55 47 33 23");
        EXPECT_EQ(ge.DataVal(1), c.stored);
        EXPECT_STREQ(ge.FileName(), "K20240709140503.jpeg");
        EXPECT_EQ(Files(), Strings{"K20240709140503.jpeg"});
        EXPECT_EQ(Stored("K20240709140503.jpeg"), std::string(pic.begin(), pic.begin() + c.stored));
        if (c.announced) {
            EXPECT_EQ(port.readCaps[3], 512);
        }
        port.replies.clear();
    }
    for (const char* first : {"UGX", "UG"}) {
        port.Reply(first);
        EXPECT_EQ(ge.DataGet(&port, 1, 0), 0) << first;
    }
    port.Reply("UG#");
    port.Reply("UX\x01\x01");
    EXPECT_EQ(ge.DataGet(&port, 1, 0), 0);
}

TEST_F(CameraTest, StorageOnTheHistoryDatabaseWhenGiven)
{
    TestDb hist;
    cam.SetDb(&hist, 1);
    ASSERT_EQ(cam.ChkDb(nullptr), 1);
    hist.Run("insert into tbCamera(SID) values(31)");
    Header(4);
    Frame(Cat(HexBytes("76 00 32 00 00"), Picture(4)));
    ASSERT_EQ(cam.DataGet(&port, 1, 0), 1);
    int bits[1] = {3};
    int snap = 12;
    db.Clear();
    EXPECT_EQ(cam.DataUpd(16, bits, &snap, -1, &hist), 1);
    EXPECT_EQ(db.execs, (Strings{
                            "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0 where "
                            "sid=31 and type=3072",
                            "update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),Brief='文件名："
                            "20240709140503.JPEG' where sid=31",
                        }));
    EXPECT_EQ(hist.execs.back(), "update tbCamera set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,"
                                 "SnapID=12,FileName='20240709140503.JPEG' where sid=31");
    EXPECT_EQ(hist.Str("select FileName from tbCamera where SID=31"), "20240709140503.JPEG");
    EXPECT_EQ(db.Int("select State from tbCamera where SID=31"), -1) << "the live row is left alone";

    // After a failed poll: state 2 and an empty name, on the live database without history.
    EXPECT_EQ(cam.DataUpd(0, nullptr, &snap, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select State from tbCamera where SID=31"), 2);
    EXPECT_EQ(db.Str("select FileName from tbCamera where SID=31"), "");
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=31"), "文件名：");
    EXPECT_EQ(cam.DataVal(1), 0);
    EXPECT_EQ(cam.DataUpd(1, bits, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select State from tbCamera where SID=31"), 1);
    db.failExec = true;
    EXPECT_EQ(cam.DataUpd(0, bits, nullptr, -1, nullptr), 0);

    TestDb fresh;
    for (CSMCameraBase* d : {static_cast<CSMCameraBase*>(&cam), static_cast<CSMCameraBase*>(&ge)}) {
        d->SetDb(&fresh, 0);
        d->RegDb(&fresh, 0);
    }
    EXPECT_EQ(fresh.execs, (Strings{"insert into tbSMType values(3072,3072,'相机 QV-CAM','485接口...')",
                                    "insert into tbSMType values(3073,3073,'相机3GE QV-CAM_3GE','485接口...')"}));
}

}  // namespace
