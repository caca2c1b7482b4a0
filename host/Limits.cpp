#include "host/Limits.h"

#include <cstdio>

namespace host {

bool PointInAlarm(const PointLimit& lim, int value)
{
    switch (lim.mode) {
    case 1:
        return value != lim.vref;
    case 6:
    case 10:
        return value < lim.vref || value > lim.vref2;
    case 7:
        return value > lim.vref2;
    case 11:
        return value < lim.vref;
    default:
        return false;
    }
}

int CLimits::Load(IDbBase* db, int type)
{
    m_points.clear();
    if (!db) return 0;
    char sql[160];
    // SID descending: the SID 0 row of a point comes last and wins.
    std::snprintf(sql, sizeof sql,
                  "select Fld,AlmMode,vref,vref2 from tbSMDef where Type=%d and Fld>0 order by SID desc", type);
    int cur = db->Query(sql, -1);
    if (cur < 0) return 0;
    while (!db->Eof(cur)) {
        PointLimit p;
        p.mode = db->GetInt(cur, "AlmMode");
        p.vref = db->GetInt(cur, "vref");
        p.vref2 = db->GetInt(cur, "vref2");
        m_points[db->GetInt(cur, "Fld")] = p;
        db->Next(cur);
    }
    db->FreeQuery(cur);
    return static_cast<int>(m_points.size());
}

const PointLimit* CLimits::Find(int fld) const
{
    auto it = m_points.find(fld);
    return it == m_points.end() ? nullptr : &it->second;
}

bool CLimits::InAlarm(int fld, int value) const
{
    const PointLimit* p = Find(fld);
    return p && PointInAlarm(*p, value);
}

std::vector<int> AlarmBits(ISMBase* drv, const CLimits& limits, std::vector<int>* values)
{
    int n = drv ? drv->DataSize() : 0;
    if (n < 0) n = 0;
    std::vector<int> bits(static_cast<size_t>(n / 32 + 1), 0);
    for (int fld = 1; fld <= n; ++fld) {
        int v = drv->DataVal(fld);
        if (values) values->push_back(v);
        if (limits.InAlarm(fld, v)) bits[static_cast<size_t>((fld - 1) / 32)] |= static_cast<int>(1u << ((fld - 1) % 32));
    }
    return bits;
}

}  // namespace host
