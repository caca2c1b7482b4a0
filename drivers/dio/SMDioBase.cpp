#include "drivers/dio/SMDioBase.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char kNow[] = "datetime(CURRENT_TIMESTAMP,'localtime')";

const SMTableDef kTable = {
    "tbDio",
    "Dio INTEGER,D01 INTEGER,D02 INTEGER,D03 INTEGER,D04 INTEGER,D05 INTEGER,D06 INTEGER,D07 INTEGER,"
    "D08 INTEGER,D09 INTEGER,D10 INTEGER,D11 INTEGER,D12 INTEGER,D13 INTEGER,D14 INTEGER,D15 INTEGER,"
    "D16 INTEGER,D17 INTEGER,D18 INTEGER,D19 INTEGER,D20 INTEGER,D21 INTEGER,D22 INTEGER,D23 INTEGER,"
    "D24 INTEGER,D25 INTEGER,D26 INTEGER,D27 INTEGER,D28 INTEGER,D29 INTEGER,D30 INTEGER,D31 INTEGER,"
    "D32 INTEGER"};

const char kUpdDio[] =
    "update tbDio set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,Dio=%d,"
    "\t\tD01=%d,D02=%d,D03=%d,D04=%d,D05=%d,D06=%d,D07=%d,D08=%d,D09=%d,D10=%d,D11=%d,D12=%d,D13=%d,"
    "D14=%d,D15=%d,D16=%d, \t\tD17=%d,D18=%d,D19=%d,D20=%d,D21=%d,D22=%d,D23=%d,D24=%d,D25=%d,D26=%d,"
    "D27=%d,D28=%d,D29=%d,D30=%d,D31=%d,D32=%d \t\twhere sid=%d";

const char kInsDio[] =
    "insert into tbDio(SID,DateUpd,State,SnapID,Dio,\t\tD01,D02,D03,D04,D05,D06,D07,D08,D09,D10,D11,D12,"
    "D13,D14,D15,D16,\t\tD17,D18,D19,D20,D21,D22,D23,D24,D25,D26,D27,D28,D29,D30,D31,D32) "
    "values(%d,datetime(CURRENT_TIMESTAMP,'localtime'),%d,%d,%d,\t\t%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,"
    "%d,%d,%d,%d,\t\t%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)";

#define QVSM_DIO_CHANNELS(r)                                                                           \
    r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[11], r[12], r[13], r[14], r[15],   \
        r[16], r[17], r[18], r[19], r[20], r[21], r[22], r[23], r[24], r[25], r[26], r[27], r[28],    \
        r[29], r[30], r[31], r[32]

// One request of the gpio device: the request code in the first half, the line states come
// back in the second (preset 0: every line active when the read falls short).
unsigned GpioLines(int fd, uint16_t code)
{
    unsigned char b[4] = {};
    std::memcpy(b, &code, 2);
    if (read(fd, b, sizeof b) != static_cast<ssize_t>(sizeof b)) return 0;
    uint16_t state;
    std::memcpy(&state, b + 2, 2);
    return state;
}

// "D7" -> 7; -1 unless the text after the letter is a plain decimal number.
int ChannelOf(const char* text)
{
    if (!text || *text < '0' || *text > '9') return -1;
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (*end != 0 || n > 1000) return -1;
    return static_cast<int>(n);
}
}  // namespace

CSMDioBase::CSMDioBase(int type) : CSMBase(type)
{
    m_pData = m_rec;
    m_nDataCount = m_nChannels;
}

CSMDioBase::~CSMDioBase() = default;

int CSMDioBase::RegDb(IDbBase* db, int force)
{
    if (!db) return 0;
    const SMTypeDef type = {2304, "开关量 %s", "开关量输入,内置"};
    RegDbRows(db, force, type, nullptr, 0);
    ChkDef(db, force);
    LoadNotes(db);
    return 1;
}

int CSMDioBase::ChkDef(IDbBase*, int) { return 0; }

int CSMDioBase::InsertChannelRows(IDbBase* db, int n, const char* note, int scale, int mode, int vref,
                                  const char* vrefHelp, int vref2, const char* vref2Help)
{
    int r = 0;
    for (int i = 1; i <= n && i <= CHANNELS; ++i) {
        char name[8], text[64];
        std::snprintf(name, sizeof name, "D%02d", i);
        std::snprintf(text, sizeof text, "%s%d", note, i);
        r = InsertPoint(db, {0, i, name, 1, text, 0, scale, mode, vref, vrefHelp, vref2, vref2Help, 0});
    }
    return r;
}

void CSMDioBase::LoadNotes(IDbBase* db)
{
    const char* sql = SqlFmt("select SID,Fld,ANote from tbSMDef  where Type=%d union all select SID,Fld,ANote "
                             "from tbSMDefVal where Type=%d order by SID,Fld",
                             m_nType, m_nType);
    if (!db || !sql) return;
    int cur = db->Query(sql, static_cast<int>(std::strlen(sql)));
    if (cur < 0) return;
    while (!db->Eof(cur)) {
        int sid = db->GetInt(cur, "SID");
        int fld = db->GetInt(cur, "Fld");
        const char* note = db->GetStr(cur, "ANote");
        if (note && note[0]) m_notes[sid * 1000 + fld] = note;
        db->Next(cur);
    }
    db->FreeQuery(cur);
}

bool CSMDioBase::ReadGpio(int high)
{
    char path[PATH_MAX];
    if (!SMPath("/dev/gpio", path, sizeof path)) return false;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned low = GpioLines(fd, 0x12);
    unsigned hi = GpioLines(fd, 0x11);
    close(fd);
    m_rec[0] = static_cast<int>(low | (hi << 16));
    for (int i = 0; i < 16; ++i) m_rec[1 + i] = (low >> i) & 1 ? 0 : 1;
    for (int i = 0; i < high && 17 + i <= CHANNELS; ++i) m_rec[17 + i] = (hi >> i) & 1 ? 0 : 1;
    return true;
}

int CSMDioBase::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    return ChkDbTable(item, kTable);
}

int CSMDioBase::DataVal(int i)
{
    if (i < 0 || i > m_nDataCount || i > CHANNELS) return -1;
    return m_rec[i];
}

const char* CSMDioBase::GetNoteX(int ch, int sid)
{
    std::snprintf(m_noteX, sizeof m_noteX, "DI %d", ch);
    auto it = m_notes.find(ch);
    if (it != m_notes.end()) std::snprintf(m_noteX, sizeof m_noteX, "%s", it->second.c_str());
    if (sid >= 1) {
        it = m_notes.find(sid * 1000 + ch);
        if (it != m_notes.end()) std::snprintf(m_noteX, sizeof m_noteX, "%s", it->second.c_str());
    }
    return m_noteX;
}

int CSMDioBase::VarEval(char* var)
{
    if (!var || !var[0] || (var[1] != 'D' && var[1] != 'N')) return -1;
    int n = ChannelOf(var + 2);
    if (n < 1 || n > m_nDataCount || n > CHANNELS) return -1;
    if (var[1] == 'D') {
        std::memcpy(var, m_rec[n] ? "告警" : "正常", 5);
        return 4;
    }
    const char* note = GetNoteX(n, 0);
    size_t len = std::strlen(note);
    if (len >= NOTE_CAP) return -1;  // the host's buffer holds NOTE_CAP bytes
    std::memcpy(var, note, len + 1);
    return static_cast<int>(len);
}

int CSMDioBase::DevState(int flags, const int* almBits)
{
    int st = almBits ? SM_ST_OK : SM_ST_FAULT;
    if (flags & 1) st = SM_ST_ALARM;
    return st;
}

int CSMDioBase::UpdSt(int flags, int* almBits, int sid)
{
    if (!m_pDb) return 0;
    int state = DevState(flags, almBits);
    tagSMItem* item = Item();
    if (item && item->DetailOn)
        SqlExec(m_pDb, "update tbSubSysDetail set LastUpd=%s,State=%d where sid=%d and type=%d", kNow, state, sid,
                m_nType);

    std::string brief = "(全部正常)";
    bool any = false;
    for (int i = 1; i <= m_nChannels && i <= CHANNELS; ++i) {
        int st = state;
        if (state == SM_ST_ALARM && almBits) st = AlmBit(almBits, i);
        if (item && item->DetailKey == 2) {
            if (SqlInt(m_pDb, "select count(*) from tbSubSysDetail where sid=%d and type=%d and Fld=%d", sid, m_nType,
                       i) > 0)
                SqlExec(m_pDb,
                        "update tbSubSysDetail set LastUpd=%s,State=%d where sid=%d and type=%d and Fld=%d", kNow,
                        st, sid, m_nType, i);
        } else if (SqlInt(m_pDb, "select count(*) from tbSubSysDetail where SIDD=%d and Fld=%d", sid, i) > 0) {
            SqlExec(m_pDb, "update tbSubSysDetail set LastUpd=%s,State=%d where SIDD=%d and Fld=%d", kNow, st, sid,
                    i);
        }
        if (st != SM_ST_ALARM) continue;
        std::string part = std::string(GetNoteX(i, sid)) + (i <= m_nInputs ? ":告警 " : ":关闭 ");
        if (!any) brief.clear();
        brief += part;
        any = true;
    }
    if (any) brief += "(其他正常)";
    if (state == SM_ST_FAULT) brief = "(故障)";

    char quoted[4096];
    if (SqlQuote(quoted, sizeof quoted, brief.c_str()) < 0) {
        trace_sm_log("RtLog", "[CSMDioBase::UpdSt] summary of SID %d over %d bytes\r\n", sid,
                     static_cast<int>(sizeof quoted));
        return 0;
    }
    SqlExec(m_pDb, "update tbSMBrief set LastUpd=%s,St=%d,Brief='%s' where sid=%d", kNow, state, quoted, sid);
    return 1;
}

int CSMDioBase::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    if (!almBits) std::memset(m_rec, 0, sizeof m_rec);
    return StoreRecord(flags, almBits, snapId, sid, hist);
}

int CSMDioBase::StoreRecord(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    int state = DevState(flags, almBits);
    int snap = ((flags & 16) && snapId) ? *snapId : 0;
    if (sid < 0) sid = ItemSid();
    UpdSt(flags, almBits, sid);
    int r = 0;
    if (m_pDb) r = SqlExec(m_pDb, kUpdDio, state, snap, m_rec[0], QVSM_DIO_CHANNELS(m_rec), sid);
    if (hist) r = SqlExec(hist, kInsDio, sid, state, snap, m_rec[0], QVSM_DIO_CHANNELS(m_rec));
    return r == 0 ? 1 : 0;
}
