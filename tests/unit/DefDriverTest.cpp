// What the four definition-driven drivers share, checked on each of them: factories, common
// settings, registration, the device and readings tables, and DataUpd.
#include <gtest/gtest.h>

#include <climits>

#include <memory>
#include <ostream>
#include <string>

#include "tests/unit/DefKit.h"

namespace {

struct Family {
    const char* name;
    int type;
    ISMBase* (*factory)(int);
    const char* note;   // built-in note
    const char* model;  // default model
    const char* table;
    const char* datTable;
    const char* datExtra;
    const char* fld;    // Fld prefix of a reading
    bool plainBrief;    // brief without state words and alarm detail
    bool lastExec;      // DataUpd reports its last statement
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

const Family kFamilies[] = {
    {"CSMModbus", 4608, NewModbusHandler, "QVMB-base", "QVMB-base", "tbModbus", "tbModbusDat", "", "V", false, true},
    {"CSMSnmpPub", 4096, NewSnmpHandler, "QVMB-base", "QVSNMP-base", "tbSnmp", "tbSnmpDat", ",ValStr VARCHAR(128)", "",
     false, false},
    {"CSMYdt1363", 5120, NewYdt1363Handler, "QVYD-base", "QVYD-base", "tbYdt1363", "tbYdt1363Dat", "", "V", false, false},
    {"CSMNormal", 5632, NewNormalHandler, "QVYD-base", "QVYD-base", "tbNormal", "tbNormalDat", "", "V", true, true},
};

const char kDef[] = "[comm]\nnote=Meter\nbrief=U=%1%V %1st% T=%2%\n"
                    "[flds]\ncnt=2\n1=k1\n2=k2\n"
                    "[flds.def]\n1='Ua',1,'Volt''s',0,10,0,0,'',0,''\n2='T',1,'Temp',0,1,0,0,'',0,''\n";

class DefDriver : public ::testing::TestWithParam<Family> {
protected:
    void SetUp() override
    {
        drv = Make(GetParam().type, kDef);
        ASSERT_TRUE(drv);
        item = MakeItem(17, GetParam().type, 1, 0, &port);
    }
    // The driver the factory makes from this definition text.
    std::unique_ptr<CSMDefBase> Make(int type, const std::string& text)
    {
        root.Write("/NandFlash/SM/SM" + std::to_string(type) + ".def", text);
        testing::internal::CaptureStdout();
        ISMBase* h = GetParam().factory(type);
        testing::internal::GetCapturedStdout();
        return std::unique_ptr<CSMDefBase>(static_cast<CSMDefBase*>(static_cast<CSMBase*>(h)));
    }
    CSMDefBase& d() { return *drv; }
    // Live and second database, the device current, registered, tables made, two readings.
    void Ready()
    {
        d().SetDb(&live, 0);
        d().SetDb(&hist, 1);
        d().DoItem(&item, 0);
        d().RegDb(&live, 0);
        ASSERT_EQ(d().ChkDb(&item), 1);
        d().Ini().SetValue(SEC_VALS, "k1", 2201);
        d().Ini().SetValue(SEC_VALS, "k2", -10);
        live.Clear();
        hist.Clear();
    }
    std::string Brief() { return live.Str("select Brief from tbSMBrief where SID=17"); }
    int Row(const std::string& col) { return live.Int("select " + col + " from " + GetParam().table + " where SID=17"); }

    TempRoot root;
    FakeClock clock;
    ScriptPort port;
    TestDb live, hist;
    tagSMItem item;
    std::unique_ptr<CSMDefBase> drv;
};

INSTANTIATE_TEST_SUITE_P(Drivers, DefDriver, ::testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<Family>& i) { return std::string(i.param.name); });

TEST_P(DefDriver, FactoryNeedsTheFileAndLogsTheDriver)
{
    const Family& f = GetParam();
    EXPECT_EQ(f.factory(f.type + 1), nullptr);
    EXPECT_EQ(d().DataSize(), 2);
    EXPECT_STREQ(d().GetNote(), "Meter");
    char line[64];
    std::snprintf(line, sizeof line, "%s new 0x%X=%d(%x)\n", f.name,
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(drv.get())), f.type, f.type);
    EXPECT_NE(root.Read("/NandFlash/tmp/qvsm.log.ini").find(line), std::string::npos) << line;

    // An empty file: no points, the built-in note and the default model.
    std::unique_ptr<CSMDefBase> empty = Make(f.type + 1, "");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->DataSize(), 0);
    EXPECT_STREQ(empty->GetNote(), f.note);
    EXPECT_EQ(empty->Model(), f.model);
    EXPECT_EQ(empty->LoadDef(SMPath("/NandFlash/SM/none.def").c_str()), -1);
}

TEST_P(DefDriver, RegistersModelNoteAndPoints)
{
    const Family& f = GetParam();
    d().RegDb(&live, 0);
    EXPECT_EQ(live.execs.front(), "insert into tbSMType values(" + std::to_string(f.type) + "," +
                                      std::to_string(f.type & 0xFF00) + ",'" + f.model + "','Meter')");
    EXPECT_EQ(live.CountExecs("insert into tbSMDef values(" + std::to_string(f.type) +
                              ",0,1,'Ua',1,'Volt''s',0,10,0,0,'',0,'',0,NULL)"),
              1);
    EXPECT_EQ(live.Int("select count(*) from tbSMDef where Type=" + std::to_string(f.type)), 2);
}

TEST_P(DefDriver, CreatesItsTablesOnBothDatabases)
{
    const Family& f = GetParam();
    EXPECT_EQ(d().ChkDb(&item), 0) << "no live database";
    d().SetDb(&live, 0);
    d().SetDb(&hist, 1);
    EXPECT_EQ(d().ChkDb(nullptr), 1);
    ASSERT_EQ(live.execs.size(), 2u);
    EXPECT_EQ(live.execs[0], std::string("create table ") + f.table +
                                 "(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port INTGER,Addr INTEGER,"
                                 "DateUpd DATETIME,State INTEGER,SnapID INTEGER)");
    EXPECT_EQ(live.execs[1], std::string("create table ") + f.datTable +
                                 "(LID INTEGER PRIMARY KEY,DID INTEGER,SID INTEGER,Fld VARCHAR(64),Val INTEGER" +
                                 f.datExtra + ")");
    EXPECT_EQ(hist.execs, live.execs);
    live.Clear();
    EXPECT_EQ(d().ChkDb(&item), 1);
    EXPECT_EQ(live.CountExecs("create table"), 0) << "the tables exist";
    EXPECT_EQ(Row("State"), -1) << "the device row";

    TestDb failing;
    failing.failExec = true;
    d().SetDb(&failing, 0);
    d().SetDb(nullptr, 1);
    EXPECT_EQ(d().ChkDb(nullptr), 0);
}

TEST_P(DefDriver, UpdateWritesStateBriefAndReadings)
{
    const Family& f = GetParam();
    Ready();
    const std::string t = std::to_string(f.type), dat = f.datTable, fld = f.fld;
    int alm[16] = {0};
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, nullptr), 1);
    ASSERT_EQ(live.execs.size(), 6u);
    EXPECT_EQ(live.execs[0], "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0 "
                             "where sid=17 and type=" + t);
    EXPECT_EQ(live.execs[1], std::string("update ") + f.table +
                                 " set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=0,SnapID=0 where sid=17");
    EXPECT_EQ(live.execs[2], std::string("update tbSMBrief set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),St=0,"
                                         "Brief='U=220.1V ") + (f.plainBrief ? "" : "(正常)") + " T=-10' where sid=17");
    EXPECT_EQ(live.execs[3], "delete from " + dat + " where SID=17");
    EXPECT_EQ(live.execs[4], "insert into " + dat + "(DID,SID,Fld,Val) values(0,17,'" + fld + "k1',2201)");
    EXPECT_EQ(live.execs[5], "insert into " + dat + "(DID,SID,Fld,Val) values(0,17,'" + fld + "k2',-10)");

    // Point 1 in alarm: named in the brief; the state stays 0 unless flags bit 0 is set.
    alm[0] = 1;
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, nullptr), 1);
    EXPECT_EQ(Row("State"), 0) << "alarm bits alone do not raise the state";
    EXPECT_EQ(Brief(), f.plainBrief ? "U=220.1V  T=-10" : "U=220.1V (告警) T=-10; 告警:Volt's");
    int snap = 9;
    EXPECT_EQ(d().DataUpd(0x11, alm, &snap, -1, nullptr), 1);
    EXPECT_EQ(Row("State"), 1);
    EXPECT_EQ(Row("SnapID"), 9);
    EXPECT_EQ(live.Int("select St from tbSMBrief where SID=17"), 1);
    EXPECT_EQ(live.Int("select count(*) from " + dat + " where SID=17"), 2) << "rows replaced, not added";

    // After a failed poll.
    EXPECT_EQ(d().DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    EXPECT_EQ(Row("State"), 2);
    EXPECT_EQ(live.Int("select St from tbSMBrief where SID=17"), 2) << "the brief row carries the real state";
    EXPECT_EQ(Brief(), f.plainBrief ? "U=220.1V  T=-10" : "U=220.1V (故障) T=-10");
}

TEST_P(DefDriver, HistoryRowsCarryTheirReadings)
{
    const Family& f = GetParam();
    Ready();
    const std::string dat = f.datTable;
    int alm[16] = {0};
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, &hist), 1);
    d().Ini().SetValue(SEC_VALS, "k1", 2210);
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, &hist), 1);
    EXPECT_EQ(hist.Str(std::string("select SID||','||Type||','||Port||','||Addr||','||State from ") + f.table +
                       " where DID=2"),
              "17," + std::to_string(f.type) + ",1,1,0");
    EXPECT_EQ(hist.Int("select Val from " + dat + " where DID=2 and Fld='" + f.fld + "k1'"), 2210);
    EXPECT_EQ(hist.Int("select Val from " + dat + " where DID=1 and Fld='" + f.fld + "k1'"), 2201);
    EXPECT_EQ(hist.Int("select count(*) from " + dat + " where DID=0"), 0) << "history readings are never deleted";

    // A history row that cannot be written gets no readings.
    hist.failText = std::string("insert into ") + f.table + "(";
    hist.failExec = true;
    hist.Clear();
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, &hist), 0);
    EXPECT_EQ(hist.CountExecs(dat), 0);
}

TEST_P(DefDriver, ResultOfTheStatementThatCounts)
{
    const Family& f = GetParam();
    int alm[16] = {0};
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, nullptr), 1) << "no database: nothing written, nothing failed";

    Ready();
    live.failExec = true;
    live.failText = std::string("update ") + f.table + " ";
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, nullptr), f.lastExec ? 1 : 0) << "device row failed";
    live.failText = std::string("insert into ") + f.datTable;
    EXPECT_EQ(d().DataUpd(0, alm, nullptr, -1, nullptr), f.lastExec ? 0 : 1) << "a reading failed";
}

TEST_P(DefDriver, ReadingsThatAreNoNumberAreStoredAsNull)
{
    const Family& f = GetParam();
    Ready();
    d().Ini().SetValue(SEC_VALS, "k3", "1);drop table tbSMType;--");
    d().Ini().SetValue(SEC_VALS, "k4", "");
    EXPECT_EQ(d().DataDetail(&live, 17, 0), 0);
    EXPECT_EQ(live.CountExecs("'" + std::string(f.fld) + "k3',null)"), 1);
    EXPECT_EQ(live.CountExecs("'" + std::string(f.fld) + "k4',null)"), 1);
    EXPECT_EQ(live.Int("select count(*) from tbSMType"), 1);
    EXPECT_NE(root.Read("/NandFlash/tmp/qvsm.log.ini").find("k3=1);drop table tbSMType;-- is not a number"),
              std::string::npos);
    // Rows of a history record keep the current ones.
    live.Clear();
    EXPECT_EQ(d().DataDetail(&live, 17, 9), 0);
    EXPECT_EQ(live.CountExecs("delete from"), 0);
    EXPECT_EQ(live.Int("select count(*) from " + std::string(f.datTable) + " where DID=0"), 4);
    EXPECT_EQ(d().DataDetail(nullptr, 17, 0), 0);
}

// A reading row is written whole up to the statement buffer's 8195 bytes and refused (logged,
// -1) beyond, wherever the key's doubled quotes put the end; the rows after it still go.
TEST_P(DefDriver, ReadingRowsUpToTheBufferAreWrittenLongerOnesRefused)
{
    const Family& f = GetParam();
    Ready();
    const std::string head = "insert into " + std::string(f.datTable) + "(DID,SID,Fld,Val) values(0,17,'" + f.fld;
    const int limit = CSMBase::SQL_SIZE - 1;
    for (int len : {limit - 1, limit, limit + 1, limit + 2}) {
        for (bool quoteLast : {false, true}) {
            // key "a...a'" or "'a...a": its quote is doubled; then "',5)".
            const int quoted = len - static_cast<int>(head.size()) - 4;
            const std::string as(static_cast<size_t>(quoted - 2), 'a');
            const std::string key = quoteLast ? as + "'" : "'" + as;
            d().Ini().DeleteKey(SEC_VALS, "k1");
            d().Ini().DeleteKey(SEC_VALS, "k2");
            d().Ini().SetValue(SEC_VALS, key, 5);
            d().Ini().SetValue(SEC_VALS, "zz", 6);  // after the long key in key order
            live.Clear();
            root.Write("/NandFlash/tmp/qvsm.log.ini", "");
            SCOPED_TRACE(std::to_string(len) + (quoteLast ? " quote last" : " quote first"));
            const std::string row = head + (quoteLast ? as + "''" : "''" + as) + "',5)";
            ASSERT_EQ(static_cast<int>(row.size()), len);
            EXPECT_EQ(d().DataDetail(&live, 17, 0), 0) << "the last row counts";
            EXPECT_EQ(live.CountExecs(row), len <= limit ? 1 : 0);
            EXPECT_EQ(live.Int("select count(*) from " + std::string(f.datTable) + " where Val=5"), len <= limit ? 1 : 0);
            EXPECT_EQ(live.CountExecs(head + "zz',6)"), 1);
            EXPECT_EQ(root.Read("/NandFlash/tmp/qvsm.log.ini").find("refused") != std::string::npos, len > limit);
            d().Ini().DeleteKey(SEC_VALS, "zz");
            EXPECT_EQ(d().DataDetail(&live, 17, 0), len <= limit ? 0 : -1) << "only the long row";
            d().Ini().DeleteKey(SEC_VALS, key);
        }
    }
}

// ---- loading and registration in detail (the same code for every driver) --------------------

class DefLoad : public DefTest<CSMModbus, 4608> {};

TEST_F(DefLoad, CommonSettingsAndPointValues)
{
    EXPECT_EQ(d.DataSize(), 1) << "before loading";
    EXPECT_EQ(d.DataVal(1), -1);
    Load("[comm]\nnote=三相电表\nmodel=PM-3\ndebug=1\ndelay=50ms\ntimeout=\nmask=7\n"
         "[flds]\ncnt=3\n1=40001\n2=40002\n3=\n"
         "[flds.def]\n1='Ua',1,'Voltage',0,10,0\n");
    EXPECT_TRUE(d.Loaded());
    EXPECT_STREQ(d.GetNote(), "三相电表");
    EXPECT_EQ(d.Model(), "PM-3");
    EXPECT_EQ(d.Debug(), 1);
    EXPECT_EQ(d.Delay(), 50);
    EXPECT_EQ(d.Timeout(), 300) << "an empty number takes the default";
    EXPECT_EQ(d.Mask(), 7);
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "Ua"), "1");
    EXPECT_EQ(d.Ini().GetValue(SEC_FLDSVAL, "1"), "10");

    d.Ini().SetValue(SEC_VALS, "40001", 2201);
    d.Ini().SetValue(SEC_VALS, "40002", "x");
    EXPECT_EQ(d.DataVal(1), 2201);
    EXPECT_EQ(d.DataVal(2), -1) << "not a number";
    EXPECT_EQ(d.DataVal(3), -1) << "point without a value key";
    EXPECT_EQ(d.DataVal(4), -1) << "above cnt";
    EXPECT_EQ(d.DataVal(0), -1);
    // Readings beyond the int range (a Gauge32, a Counter64) read as the nearest bound.
    const struct {
        const char* stored;
        int val;
    } wide[] = {{"4294967295", INT_MAX},        {"2147483648", INT_MAX},           {"2147483647", INT_MAX},
                {"-2147483649", INT_MIN},       {"-2147483648", INT_MIN},          {"18446744073709551615", INT_MAX},
                {"-99999999999999999999", INT_MIN}, {"-7", -7}};
    for (const auto& w : wide) {
        d.Ini().SetValue(SEC_VALS, "40001", w.stored);
        EXPECT_EQ(d.DataVal(1), w.val) << w.stored;
    }
}

TEST_F(DefLoad, LongNotesAreCutAtACharacterBoundary)
{
    std::string note;
    for (int i = 0; i < 16; ++i) note += "温";  // 32 bytes, one over the note field
    Load("[comm]\nnote=" + note + "\n");
    EXPECT_EQ(std::string(d.GetNote()), note.substr(0, 30));
    Load("[comm]\nnote=A" + note.substr(0, 30) + "\n");
    EXPECT_EQ(std::string(d.GetNote()), "A" + note.substr(0, 30)) << "31 bytes fit";
}

TEST_F(DefLoad, PointRowsInKeyOrderUntilABlankKey)
{
    Load("[comm]\nnote=O'Neil\n[flds]\ncnt=2\n"
         "[flds.def]\n2='B',1,'b',0,1,0,0,'',0,''\n10='J',1,'j',0,1,0,0,'',0,''\n"
         "1='A',1,'a',0,10,0,0,'',0,''\n0x='Z',1,'z',0,1,0,0,'',0,''\n3=\n");
    TestDb db;
    d.RegDb(&db, 0);
    ASSERT_EQ(db.execs.size(), 5u);
    EXPECT_EQ(db.execs[0], "insert into tbSMType values(4608,4608,'QVMB-base','O''Neil')");
    EXPECT_EQ(db.execs[1], "insert into tbSMDef values(4608,0,0,'Z',1,'z',0,1,0,0,'',0,'',0,NULL)")
        << "a key starting with 0 is written as 0, and sorts first";
    EXPECT_EQ(db.execs[2], "insert into tbSMDef values(4608,0,1,'A',1,'a',0,10,0,0,'',0,'',0,NULL)");
    EXPECT_EQ(db.execs[3], "insert into tbSMDef values(4608,0,10,'J',1,'j',0,1,0,0,'',0,'',0,NULL)")
        << "keys above cnt are registered too";
    db.Clear();
    d.RegDb(&db, 0);
    EXPECT_TRUE(db.execs.empty()) << "rows exist and no force";
    d.RegDb(&db, 1);
    ASSERT_EQ(db.execs.size(), 5u);
    EXPECT_EQ(db.execs[0], "delete from tbSMDef where Type=4608");

    Load("[flds]\ncnt=1\n[flds.def]\n1='A',1,'a',0,10,0,0,'',0,''\n   \n");
    TestDb db2;
    d.RegDb(&db2, 0);
    EXPECT_EQ(db2.CountExecs("tbSMDef values"), 0) << "the blank key sorts first and ends the walk";
    CSMModbus unloaded(4609);
    unloaded.RegDb(&db2, 1);
    EXPECT_EQ(db2.Int("select count(*) from tbSMType where Type=4609"), 1);
    EXPECT_EQ(db2.Int("select count(*) from tbSMDef where Type=4609"), 0) << "an unloaded driver registers no points";
}

}  // namespace
