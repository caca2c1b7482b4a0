#include "drivers/switch/SMOnOff.h"

#include <cstdio>
#include <cstring>

namespace {
const char* const kCols[CSMOnOff::INPUTS] = {"sd1", "sd2", "sd3", "sd4", "sd5", "sd6"};
}  // namespace

CSMOnOff::CSMOnOff() : CSMBase(512)
{
    SetNote("QV-PD220-6");
    m_nDataCount = INPUTS;
    m_pData = m_sd;
    trace_log("RtLog", "SMOnOff new:%d\n", m_nType);
}

int CSMOnOff::RegDb(IDbBase* db, int force)
{
    SMPointDef rows[INPUTS];
    for (int i = 0; i < INPUTS; ++i) rows[i] = {0, i + 1, kCols[i], 1, "断开标志", 0, 1, 1, 0, "0正常", 0, "", 0};
    const SMTypeDef type = {2048, "QV-PD220-6 %s", "485接口..."};
    return RegDbRows(db, force, type, rows, INPUTS);
}

int CSMOnOff::ChkDb(tagSMItem* item)
{
    static const SMTableDef kTable = {
        "tbOnoff", "sd1 INTEGER,sd2 INTEGER,sd3 INTEGER,sd4 INTEGER,sd5 INTEGER,sd6 INTEGER"};
    return ChkDbTable(item, kTable);
}

int CSMOnOff::DataVal(int fld)
{
    if (fld < 1 || fld > INPUTS) return -1;
    return m_sd[fld - 1];
}

int CSMOnOff::DataGet(ISerBase* port, int addr, int)
{
    unsigned char r[20];
    if (RtuRead(port, addr, 4, 0, INPUTS, 0, 0, r, sizeof r) < 0) return 0;
    // High and low bytes of the first three registers.
    std::memcpy(m_sd, r + 3, INPUTS);
    return 1;
}

int CSMOnOff::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (u.state == SM_ST_FAULT) std::memset(m_sd, 0, sizeof m_sd);
    m_nFailCount = 0;
    SMCol cols[INPUTS];
    for (int i = 0; i < INPUTS; ++i) cols[i] = {kCols[i], m_sd[i]};

    int r = 0;
    bool ran = false;
    if (m_pDb) {
        UpdSubSys(u);
        UpdRow("tbOnoff", u, cols, INPUTS);
        const char* w[INPUTS];
        for (int i = 0; i < INPUTS; ++i) w[i] = u.state == SM_ST_FAULT ? "故障" : (m_sd[i] ? "断开" : "正常");
        char brief[128];
        std::snprintf(brief, sizeof brief, "%s,%s,%s,%s,%s,%s", w[0], w[1], w[2], w[3], w[4], w[5]);
        r = UpdBriefText(u, brief);
        ran = true;
    }
    if (hist) {
        r = TrimRows(hist, "tbOnoff", "State=1", 1000);
        ran = true;
        bool insert = u.state == SM_ST_ALARM;
        if (!insert)
            insert = SqlInt(hist, "select count(*) from tbOnoff where SID=%d", u.sid) == 0 ||
                     SqlInt(hist,
                            "select count(*) from tbOnoff where SID=%d and DateUpd=(select max(DateUpd) from tbOnoff "
                            "where SID=%d) and DateUpd<datetime('now','localtime','-60 minutes')",
                            u.sid, u.sid) > 0;
        if (insert) r = InsHist(hist, "tbOnoff", u, cols, INPUTS);
    }
    return (!ran || r == 0) ? 1 : 0;
}

int CSMOnOff::VarEval(char* text)
{
    if (!text) return -1;
    for (int i = 0; i < INPUTS; ++i) {
        if (text[0] != '.' || std::strcmp(text + 1, kCols[i]) != 0) continue;
        // Worded as the module always has: 0 reads "断开", 1 reads "闭合".
        const char* w = m_sd[i] ? "闭合" : "断开";
        std::strcpy(text, w);
        return static_cast<int>(std::strlen(w));
    }
    return -1;
}
