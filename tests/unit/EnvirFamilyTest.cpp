// The other members of the environment-sensor family: each polled through scripted replies,
// checked for its requests, values, family-table row, summary and history row.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/envir/EnvirModels.h"
#include "tests/kit/Kit.h"

namespace {

// A Modbus RTU frame: the bytes given and their CRC.
Bytes Rtu(const std::string& hex)
{
    ScriptPort p;
    p.ReplyRtu(HexBytes(hex));
    return p.replies.back();
}

template <class T>
CSMEnvirBase* Make()
{
    return new T();
}

struct MemberCase {
    const char* label;
    CSMEnvirBase* (*make)();
    int code;
    int variant;
    const char* display;  // name of the tbSMType row
    const char* table;
    const char* names;    // FldName in Fld order
    std::vector<std::string> requests;  // RTU requests without their CRC
    std::vector<std::string> replies;   // RTU replies without their CRC, one per request
    std::vector<int> values;            // DataVal 1..n
    int alm;                            // alarm bits handed to DataUpd
    const char* brief;
};

void PrintTo(const MemberCase& c, std::ostream* os)
{
    *os << c.label;
}

std::string Hex2(int v)
{
    char t[8];
    std::snprintf(t, sizeof t, "%02X %02X", (v >> 8) & 0xFF, v & 0xFF);
    return t;
}

// The unit that reads 17 single registers.
const int kXfRegs[] = {101, 102, 103, 104, 105, 106, 119, 120, 121, 122, 129, 130, 131, 132, 133, 134, 419};
std::vector<std::string> XfRequests()
{
    std::vector<std::string> r;
    for (int reg : kXfRegs) r.push_back("01 03 " + Hex2(reg) + " 00 01");
    return r;
}
std::vector<std::string> XfReplies()
{
    std::vector<std::string> r;
    for (int reg : kXfRegs) {
        int v = reg == 101 ? 235 : reg == 102 ? 450 : (reg == 104 || reg == 419) ? 1 : reg == 122 ? 5 : 0;
        r.push_back("01 03 02 " + Hex2(v));
    }
    return r;
}

std::vector<int> T3Values()
{
    std::vector<int> v(48, 0);
    v[0] = 235;     // Tem1
    v[24] = 12000;  // Vol1
    return v;
}

const MemberCase kCases[] = {
    {"Pm", Make<CSMEnvirPm>, 1282, 0, "粉尘 QV-PM485", "tbEnvirPm", "Pm", {"01 03 00 03 00 01"}, {"01 03 02 00 23"},
     {35}, 0, "PM2.5:35 ug/m3"},
    {"NHFS45", Make<CSMEnvirNHFS45>, 1283, 0, "NHFS45风速传感器 QV-NHFS45", "tbEnvirNHFS45", "Fan",
     {"01 04 00 06 00 01"}, {"01 04 02 00 23"}, {35}, 0, "风速:3.5m/s (正常)"},
    {"NHFS45v1", Make<CSMEnvirNHFS45>, 1283, 1, "NHFS45风速传感器 QV-NHFS45", "tbEnvirNHFS45", "Fan",
     {"01 03 00 00 00 01"}, {"01 03 02 00 D2"}, {210}, 1, "风速:21.0m/s (告警)"},
    {"LaserPM", Make<CSMEnvirLaserPM>, 1284, 0, "激光粉尘变送器 QV-LaserPM", "tbEnvirLaserPM", "Pm1_0,Pm2_5,Pm10_0",
     {"01 03 00 00 00 03"}, {"01 03 06 00 0C 00 19 00 28"}, {12, 25, 40}, 0,
     "PM1.0:12ug/m3 (正常),PM2.5:25ug/m3 (正常),PM10:40ug/m3 (正常)"},
    {"YS8159B", Make<CSMEnvirYS8159B>, 1285, 0, "YS8159B风速传感器 QV-YS8159B", "tbEnvirYS8159B", "Fan",
     {"01 03 00 00 00 01"}, {"01 03 02 00 07"}, {7}, 0, "风速:0.7m/s (正常)"},
    {"YS8159Bv1", Make<CSMEnvirYS8159B>, 1285, 1, "YS8159B风速传感器 QV-YS8159B", "tbEnvirYS8159B", "Fan",
     {"01 04 00 00 00 01"}, {"01 04 02 00 08"}, {8}, 0, "风速:0.8m/s (正常)"},
    {"T3TwoChannels", Make<CSMEnvirT3>, 1286, 2, "温湿度 QV-T3", "tbEnvirT3",
     "Tem1,Tem2,Tem3,Tem4,Tem5,Tem6,Tem7,Tem8,Tem9,Tem10,Tem11,Tem12,Tem13,Tem14,Tem15,Tem16,Tem17,Tem18,Tem19,Tem20,"
     "Tem21,Tem22,Tem23,Tem24,Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,Vol10,Vol11,Vol12,Vol13,Vol14,Vol15,Vol16,"
     "Vol17,Vol18,Vol19,Vol20,Vol21,Vol22,Vol23,Vol24",
     {"01 03 04 6D 00 02", "01 03 04 85 00 02"}, {"01 03 04 00 EB 7F F9", "01 03 04 2E E0 FF FF"}, T3Values(), 0,
     "温度1:23.5 (正常),温度2:0.0 (正常),电压1:12.000V (正常),电压2:0.000V (正常)"},
    {"Jxbs", Make<CSMEnvirJxbs>, 1287, 0, "Jxbs DS-JXBS3001", "tbEnvirJxbs",
     "Hum,Tem,Hum2,Tem2,Pm25,Pm10,Ppm,Ppm2,Noist,Lm,Pa", {"01 03 00 00 00 0D"},
     {"01 03 1A 01 C2 FF CE 01 F4 01 04 00 1E 00 3C 03 20 00 05 01 C7 00 01 11 70 00 01 8B CD"},
     {450, -50, 500, 260, 30, 60, 800, 5, 455, 70000, 101325}, 2,
     "湿度:45.0 (正常),温度:-5.0 (告警),湿度2:50.0 (正常),温度2:26.0 (正常),PM2.5:30ug/m3 (正常),"
     "PM10:60ug/m3 (正常),气体浓度:800ppm (正常),气体浓度2:5ppm (正常),噪声:45.5dB (正常),"
     "光照度:70000Lux (正常),大气压:101.325kPa (正常)"},
    {"Lightning", Make<CSMEnvirLightning>, 1289, 0, "温湿度 QV-TH485", "tbEnvirLightning", "AlmSen1,AlmSen2,AlmLost",
     {"01 03 01 06 00 04"}, {"01 03 08 00 01 00 00 00 07 00 02"}, {1, 0, 1}, 1 | 4,
     "防雷告警1:1 (告警),防雷告警2:0 (正常),防雷器失效:1 (告警)"},
    {"O3", Make<CSMEnvirO3>, 1291, 0, "O3 QV-O3", "tbEnvirO3", "O3", {"01 03 02 24 00 01"}, {"01 03 02 00 32"}, {50},
     0, "臭氧:0.050ppm (正常)"},
    {"O3v1", Make<CSMEnvirO3>, 1291, 1, "O3 QV-O3", "tbEnvirO3", "O3", {"01 03 00 05 00 02"},
     {"01 03 04 00 01 00 64"}, {65636}, 1, "臭氧:65.636ppm (告警)"},
    {"BWDK3208E", Make<CSMEnvirBWDK3208E>, 1292, 0, "干式变压器电子温湿度 QV-BWDK3208E", "tbEnvirBWDK3208E",
     "TemA,TemB,TemC,iSw,iErr,iTh,iFan,TemH", {"01 01 00 00 00 04", "01 04 00 00 00 04", "01 03 00 00 00 02"},
     {"01 01 01 09", "01 04 08 02 BC 02 C6 02 D0 00 00", "01 03 04 03 84 04 4C"}, {700, 710, 720, 1, 0, 0, 1, 1100},
     0,
     "A相温度:70.0 (正常),B相温度:71.0 (正常),C相温度:72.0 (正常),风机开关:1 (正常),故障:0 (正常),"
     "超温跳闸:0 (正常),风机运行:1 (正常),超温设定:110.0 (正常)"},
    {"XF", Make<CSMEnvirXF>, 1301, 0, "温湿度 QV-EnvirXF", "tbXF", "Tem,Hum,CH_Data1,CH_Data2", XfRequests(),
     XfReplies(), {235, 450, 0x82, 0x40}, 8, "温度:23.5 (正常),湿度:45.0 (正常),通道状态1:130 (正常),通道状态2:64 (告警)"},
    {"ETCR2900", Make<CSMEnvirETCR2900>, 1302, 0, "接地电阻监测 QV-ENVIR-ETCR2900", "tbEnirETCR2900",
     "ResData1,ResData2,ResData3,ResData4,ResData5", {"01 03 00 01 00 05"},
     {"01 03 0A 04 B0 0D AC 00 00 FF FF 00 0A"}, {1200, 3500, 0, 65535, 10}, 8,
     "接地电阻1:1.200Ω (正常),接地电阻2:3.500Ω (正常),接地电阻3:0.000Ω (正常),接地电阻4:65.535Ω (告警),"
     "接地电阻5:0.010Ω (正常)"},
    {"JXBS3001QY", Make<CSMEnvirJXBS3001QY>, 1303, 0, "大气压力 QV-EnvirJXBS3001QY", "tbEnvirJXBS3001QY", "press",
     {"01 03 00 00 00 02", "01 03 00 0A 00 02"}, {"01 03 04 01 C2 00 EB", "01 03 04 00 01 8B CD"}, {101325}, 0,
     "大气压力:101.325kPa (正常)"},
    {"JXBS4001O2", Make<CSMEnvirJXBS4001O2>, 1304, 0, "SMENVIR_JXBS4001O2 QV-EnvirJXBS4001O2", "tbEnvirJXBS4001O2",
     "m_iO2", {"01 03 00 00 00 07"}, {"01 03 0E 00 01 00 02 00 03 00 04 00 05 00 06 00 D1"}, {209}, 0,
     "氧气浓度:20.9%VOL (正常)"},
    {"WHCO", Make<CSMEnvirWHCO>, 1305, 0, "SMENVIR_WHCO QV-EnvirWHCO", "tbEnvirWHCO", "m_iCO", {"01 03 00 06 00 01"},
     {"01 03 02 00 0C"}, {12}, 0, "一氧化碳:12ppm (正常)"},
    {"Voice", Make<CSMEnvirVoice>, 1306, 0, "SMENVIR_VOICE QV-EnvirVoice", "tbEnvirVoice", "iVoice",
     {"01 03 00 0C 00 01"}, {"01 03 02 01 C8"}, {456}, 0, "噪声:45.6dB (正常)"},
    {"WindSpeed", Make<CSMEnvirWindSpeed>, 1307, 0, "SMENVIR_WINDSPEED QV-EnvirWindSpeed", "tbEnvirWindSpeed", "mData",
     {"01 03 00 00 00 01"}, {"01 03 02 00 23"}, {35}, 0, "风速:3.5m/s (正常)"},
    {"WindDir", Make<CSMEnvirWindDir>, 1308, 0, "SMENVIR_WINDDIR QV-EnvirWindDir", "tbEnvirWindDir", "mData",
     {"01 03 00 00 00 01"}, {"01 03 02 0A 91"}, {2705}, 0, "角度:270.5° (正常)"},
    {"New", Make<CSMEnvirNew>, 1309, 0, "温湿度 QV-EnvirNew", "tbEnvirNew", "Tem,Hum", {"01 03 00 00 00 02"},
     {"01 03 04 01 C2 FF 9C"}, {-100, 450}, 1, "温度:-10.0 (告警),湿度:45.0 (正常)"},
    {"eFire", Make<CSMEnvireFire>, 1311, 0, "火灾探测器 QV-Fire", "tbEnvirFire", "CH,Cur,Tem,st,bSt,bAlm",
     {"01 03 00 0E 00 06"}, {"01 03 0C 00 01 00 78 01 64 00 03 00 00 00 01"}, {1, 120, 356, 3, 0, 1}, 32,
     "通道:1 (正常),剩余电流:120mA (正常),温度:35.6 (正常),状态:3 (正常),故障:0 (正常),火警:1 (告警)"},
    {"ZGLJ", Make<CSMEnvirZGLJ>, 1312, 0, "智能防雷器ZGLJ QV-ZGLJ", "tbEnvirZGLJ", "St,Age,Alm,AlmCnt,LyNum,LangY",
     {"01 04 00 64 00 10"},
     {"01 04 20 00 00 00 0F 00 00 00 03 00 0C 00 CD 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
     {0, 15, 0, 3, 12, 205}, 0,
     "运行状态:0 (正常),劣化程度:15% (正常),告警:0 (正常),告警次数:3 (正常),雷击次数:12 (正常),"
     "浪涌电流:20.5kA (正常)"},
};

std::vector<std::string> Split(const std::string& s)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string part;
    while (std::getline(ss, part, ',')) out.push_back(part);
    return out;
}

class EnvirFamilyTest : public ::testing::TestWithParam<MemberCase> {
protected:
    void QueueReplies(const MemberCase& c, bool corruptLast = false)
    {
        for (const std::string& r : c.replies) port.Reply(Rtu(r));
        if (corruptLast) port.replies.back()[3] ^= 0x10;
    }

    TempRoot root;
    FakeClock clock;
    TestDb db, hist;
    ScriptPort port;
};

TEST_P(EnvirFamilyTest, RegistersPollsAndStores)
{
    const MemberCase& c = GetParam();
    std::unique_ptr<CSMEnvirBase> d(c.make());
    tagSMItem item = MakeItem(21, c.code, 1, c.variant, &port);
    d->SetDb(&db, 0);
    d->SetDb(&hist, 1);
    d->DoItem(&item, 0);
    const std::vector<std::string> names = Split(c.names);
    ASSERT_EQ(d->DataSize(), static_cast<int>(names.size()));
    ASSERT_EQ(c.values.size(), names.size());
    const std::string type = " where Type=" + std::to_string(c.code);
    const std::string row = std::string(" from ") + c.table + " where SID=21";

    // Catalogue rows: kind 1280, the device text and model, points in Fld order, sound limits.
    EXPECT_EQ(d->RegDb(&db, 0), 0);
    EXPECT_EQ(db.Str("select Kind||' '||Name from tbSMType" + type), std::string("1280 ") + c.display);
    EXPECT_EQ(db.Str("select group_concat(FldName) from (select FldName from tbSMDef" + type + " order by Fld)"),
              c.names);
    EXPECT_EQ(db.Int("select count(*) from tbSMDef" + type +
                     " and (Scale not in (1,10,100,1000) or (AlmMode=6 and vref>vref2))"),
              0);

    // Family table in both databases, the device's row not yet polled.
    EXPECT_EQ(d->ChkDb(&item), 1);
    EXPECT_EQ(db.Int("select State" + row), -1);
    EXPECT_EQ(hist.TableExists(c.table), 1);

    // The poll: requests in order, values in Fld order.
    QueueReplies(c);
    ASSERT_EQ(d->DataGet(&port, 1, 0), 1);
    ASSERT_EQ(port.writes.size(), c.requests.size());
    for (size_t i = 0; i < c.requests.size(); ++i) EXPECT_EQ(ToHex(port.writes[i]), ToHex(Rtu(c.requests[i])));
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(d->DataVal(static_cast<int>(i) + 1), c.values[i]) << names[i];
    EXPECT_EQ(d->DataVal(0), -1);
    EXPECT_EQ(d->DataVal(d->DataSize() + 1), -1);

    // The stored row with its per-point states (fault: every state 2 and the values 0).
    auto expectRow = [&](int state, bool fault) {
        EXPECT_EQ(db.Int("select State" + row), state);
        EXPECT_EQ(db.Int("select St from tbSMBrief where SID=21"), state);
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(db.Int("select " + names[i] + row), fault ? 0 : c.values[i]) << names[i];
            const char* st = d->StateCol(static_cast<int>(i));
            if (st) {
                EXPECT_EQ(db.Int(std::string("select ") + st + row), fault ? 2 : i < 32 ? (c.alm >> i) & 1 : 0) << st;
            }
        }
    };
    int alm[2] = {c.alm, 0};
    db.Clear();
    hist.Clear();
    EXPECT_EQ(d->DataUpd(0, alm, nullptr, -1, &hist), 1);
    const int state = c.alm ? 1 : 0;
    expectRow(state, false);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=21"), c.brief);
    EXPECT_EQ(db.execs.at(0), "update tbSubSysDetail set LastUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=" +
                                  std::to_string(state) + " where sid=21 and type=" + std::to_string(c.code));
    ASSERT_EQ(hist.execs.size(), 1u);
    EXPECT_EQ(hist.Int("select " + names.back() + row), c.values.back());

    // A bad CRC in the last reply fails the whole poll and keeps the values.
    port.writes.clear();
    QueueReplies(c, true);
    EXPECT_EQ(d->DataGet(&port, 1, 0), 0);
    EXPECT_EQ(port.writes.size(), c.requests.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(d->DataVal(static_cast<int>(i) + 1), c.values[i]);

    EXPECT_EQ(d->DataUpd(0, nullptr, nullptr, -1, nullptr), 1);
    expectRow(2, true);
}

INSTANTIATE_TEST_SUITE_P(Members, EnvirFamilyTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MemberCase>& i) { return std::string(i.param.label); });
TEST(EnvirFamily, T3ReadsTheVariantsChannelCountUpTo24)
{
    FakeClock clock;
    const int cases[][2] = {{0, 24}, {1, 24}, {2, 2}, {7, 7}, {24, 24}, {30, 24}};
    for (const auto& c : cases) {
        ScriptPort port;
        CSMEnvirT3 d;
        tagSMItem item = MakeItem(1, 1286, 1, c[0], &port);
        d.DoItem(&item, 0);
        EXPECT_EQ(d.Channels(), c[1]);
        Bytes tem = {0x01, 0x03, static_cast<unsigned char>(2 * c[1])};
        Bytes vol = tem;
        for (int i = 0; i < c[1]; ++i) {
            tem.insert(tem.end(), {0x00, static_cast<unsigned char>(100 + i)});
            vol.insert(vol.end(), {0x30, static_cast<unsigned char>(i)});
        }
        port.ReplyRtu(tem);
        port.ReplyRtu(vol);
        ASSERT_EQ(d.DataGet(&port, 1, 0), 1) << c[0];
        ASSERT_EQ(port.writes.size(), 2u);
        EXPECT_EQ(port.writes[0][5], c[1]);
        EXPECT_EQ(port.writes[1][5], c[1]);
        EXPECT_EQ(d.DataVal(c[1]), 100 + c[1] - 1) << "last channel read";
        EXPECT_EQ(d.DataVal(24 + c[1]), 0x3000 + c[1] - 1);
        if (c[1] < 24) {
            EXPECT_EQ(d.DataVal(c[1] + 1), 0) << "channels not read stay 0";
            EXPECT_EQ(d.DataVal(24 + c[1] + 1), 0);
        }
    }
}

TEST(EnvirFamily, VarEvalByPointNameOrDisplayName)
{
    FakeClock clock;
    ScriptPort port;
    CSMEnvirETCR2900 d;
    tagSMItem item = MakeItem(1, 1302, 1, 0, &port);
    d.DoItem(&item, 0);
    port.ReplyRtu(HexBytes("01 03 0A 04 B0 0D AC 00 00 FF FF 00 0A"));
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    const struct {
        const char* var;
        int len;
        const char* text;
    } cases[] = {{".ResData4", 6, "65.535"}, {".接地电阻1", 5, "1.200"}, {"ResData1", -1, "ResData1"},
                 {".ResData6", -1, ".ResData6"}};
    for (const auto& c : cases) {
        char var[32];
        std::strcpy(var, c.var);
        EXPECT_EQ(d.VarEval(var), c.len) << c.var;
        EXPECT_STREQ(var, c.text);
    }
    CSMEnvirWHCO co;
    char var[32] = ".m_iCO";
    EXPECT_EQ(co.VarEval(var), 1);
    EXPECT_STREQ(var, "0") << "no decimals for divisor 1";
}

// The site controller over Modbus TCP, one read per point group, one table per group.
class SiteProTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.SetDb(&db, 0);
        d.SetDb(&hist, 1);
        d.DoItem(&item, 0);
    }
    void QueueGood(int firstId)
    {
        const char* bodies[] = {"00 00 00 07 01 03 04 00 EB 01 C2", "00 00 00 07 01 03 04 00 00 00 01",
                                "00 00 00 0B 01 03 08 00 01 00 00 00 00 00 00",
                                "00 00 00 0B 01 03 08 00 01 00 FA 00 B4 00 00"};
        for (int i = 0; i < 4; ++i) {
            Bytes b = {0x00, static_cast<unsigned char>(firstId + i)};
            Bytes rest = HexBytes(bodies[i]);
            b.insert(b.end(), rest.begin(), rest.end());
            port.Reply(b);
        }
    }

    TempRoot root;
    FakeClock clock;
    TestDb db, hist;
    ScriptPort port;
    CSMEnvirSitePro d;
    tagSMItem item = MakeItem(5, 1288, 1, 0, &port);
};

TEST_F(SiteProTest, GroupsTablesAndOnePollOverModbusTcp)
{
    EXPECT_EQ(d.RegDb(&db, 0), 0);
    EXPECT_EQ(db.Str("select Name||'|'||Iface from tbSMType where Type=1288"), "温湿度 QV-Env-SitePro|网络接口");
    EXPECT_EQ(db.Int("select count(*) from tbSMDef where Type=1288 and Fld>0"), 12);
    // A heading per group, right before the group's first point.
    EXPECT_EQ(db.Str("select group_concat(Note) from tbSMDef where Type=1288 and Fld=0 and rowid+1 in (select rowid "
                     "from tbSMDef where Type=1288 and FldName in ('Tem','Leak1','Di1','AircSt'))"),
              "温湿度,漏水,开关量,通用空调");
    EXPECT_EQ(d.ChkDb(&item), 1);
    for (const char* t : {"tbSitePro", "tbSiteProTemHum", "tbSiteProLeak", "tbSiteProDi", "tbSiteProAirc"}) {
        EXPECT_EQ(db.Int(std::string("select State from ") + t + " where SID=5"), -1) << t;
        EXPECT_EQ(hist.TableExists(t), 1) << t;
    }
    EXPECT_EQ(db.CountExecs("create table tbSiteProDi(DID INTEGER PRIMARY KEY,SID INTEGER,Type INTEGER,Port "
                            "INTEGER,Addr INTEGER,DateUpd DATETIME,State INTEGER,SnapID INTEGER,Di1 INTEGER,Di2 "
                            "INTEGER,Di3 INTEGER,Di4 INTEGER)"),
              1)
        << "on/off points carry no state column";

    QueueGood(1);
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    const char* want[] = {"00 01 00 00 00 06 01 03 00 00 00 02", "00 02 00 00 00 06 01 03 00 10 00 02",
                          "00 03 00 00 00 06 01 03 00 20 00 04", "00 04 00 00 00 06 01 03 00 30 00 04"};
    ASSERT_EQ(port.writes.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ToHex(port.writes[i]), want[i]);
    const int values[] = {235, 450, 0, 1, 1, 0, 0, 0, 1, 250, 180, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(d.DataVal(i + 1), values[i]) << i + 1;

    db.Clear();
    hist.Clear();
    int alm[1] = {8};  // Leak2
    EXPECT_EQ(d.DataUpd(0, alm, nullptr, -1, &hist), 1);
    EXPECT_EQ(db.execs.at(1), "update tbSitePro set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=1,SnapID=0 "
                              "where sid=5");
    EXPECT_EQ(db.execs.at(2), "update tbSiteProTemHum set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=1,"
                              "SnapID=0,Tem=235,Hum=450,iTem=0,iHum=0 where sid=5");
    EXPECT_EQ(db.Int("select Leak2 from tbSiteProLeak where SID=5"), 1);
    EXPECT_EQ(db.Int("select Di1 from tbSiteProDi where SID=5"), 1);
    EXPECT_EQ(db.Int("select AircSet from tbSiteProAirc where SID=5"), 180);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=5"),
              "温度:23.5 (正常),湿度:45.0 (正常),漏水1:0 (正常),漏水2:1 (告警),开关量1:1 (正常),开关量2:0 (正常),"
              "开关量3:0 (正常),开关量4:0 (正常),空调开机:1 (正常),回风温度:25.0 (正常),设定温度:18.0 (正常),"
              "空调告警:0 (正常)");
    EXPECT_EQ(hist.execs.size(), 5u);
    EXPECT_EQ(hist.execs.at(0), "insert into tbSitePro(SID,DateUpd,State,SnapID) "
                                "values(5,datetime(CURRENT_TIMESTAMP,'localtime'),1,0)");
}

TEST_F(SiteProTest, RepliesMustEchoTheRequestHeader)
{
    QueueGood(1);
    ASSERT_EQ(d.DataGet(&port, 1, 0), 1);
    // Next poll uses ids 5..8; each case spoils the first reply.
    struct Spoil {
        const char* what;
        int index;
        unsigned char value;
    };
    const Spoil spoils[] = {{"transaction id", 1, 0x09}, {"protocol id", 3, 0x01}, {"length", 5, 0x08},
                            {"unit", 6, 0x02},           {"function", 7, 0x04},    {"byte count", 8, 0x06}};
    int id = 5;
    for (const Spoil& s : spoils) {
        SCOPED_TRACE(s.what);
        port.replies.clear();
        QueueGood(id);
        port.replies.front()[s.index] = s.value;
        size_t before = port.writes.size();
        EXPECT_EQ(d.DataGet(&port, 1, 0), 0);
        EXPECT_EQ(port.writes.size(), before + 1) << "only the first request went out";
        ++id;
    }
    // A late reply to an earlier request ahead of the own one is passed over.
    port.replies.clear();
    QueueGood(id);
    port.replies.push_front(HexBytes("00 01 00 00 00 07 01 03 04 00 11 00 22"));
    EXPECT_EQ(d.DataGet(&port, 1, 0), 1);
    EXPECT_EQ(d.DataVal(1), 235);
    id += 4;
    port.replies.clear();
    QueueGood(id);
    port.readLimit = 12;
    EXPECT_EQ(d.DataGet(&port, 1, 0), 0) << "short";
    EXPECT_EQ(d.DataVal(1), 235);
}

TEST(EnvirFamily, ParkingLockPollChecksEveryPartOfItsFrame)
{
    TempRoot root;
    FakeClock clock;
    TestDb db;
    ScriptPort port;
    CSMEnvirCPL d;
    tagSMItem item = MakeItem(8, 1310, 3, 0, &port);
    d.SetDb(&db, 0);
    d.DoItem(&item, 0);
    ASSERT_EQ(d.ChkDb(&item), 1);
    port.ReplyHex("AA 03 81 02 01 5A E1 55");
    ASSERT_EQ(d.DataGet(&port, 3, 0), 1);
    EXPECT_EQ(ToHex(port.writes.at(0)), "AA 03 01 00 04 55");
    EXPECT_EQ(port.readCaps.at(0), 120);
    int alm[1] = {0};
    EXPECT_EQ(d.DataUpd(0, alm, nullptr, -1, nullptr), 1);
    EXPECT_EQ(db.Int("select Lock*1000+Pow*10+iPow from tbEnvirCPL where SID=8"), 1900);
    EXPECT_EQ(db.Str("select Brief from tbSMBrief where SID=8"), "车位锁:1 (正常),电量:90% (正常)");

    const char* bad[] = {
        "AA 03 81 02 01 5A E2 55",  // sum
        "AA 04 81 02 01 5A E2 55",  // other address
        "AA 03 82 02 01 5A E2 55",  // other command
        "AA 03 81 03 01 5A E2 55",  // length
        "AA 03 81 02 01 5A E1 56",  // tail
        "AB 03 81 02 01 5A E1 55",  // head
        "AA 03 81 01 01 86 55",     // one data byte only
        "AA 03 81",
    };
    for (const char* b : bad) {
        port.ReplyHex(b);
        EXPECT_EQ(d.DataGet(&port, 3, 0), 0) << b;
    }
    EXPECT_EQ(d.DataVal(2), 90);
    port.ReplyHex("AA 04 81 02 01 50 D8 55 AA 03 81 02 00 4B D1 55");  // another lock's, then the own
    ASSERT_EQ(d.DataGet(&port, 3, 0), 1);
    EXPECT_EQ(d.DataVal(2), 75);
}

}  // namespace
