// The host's limit check: the alarm mode and the two reference values a driver registered
// for each point in tbSMDef decide whether the point's value is in alarm.
//
//   mode 0        no check
//   mode 1        on/off point: alarm when the value differs from vref (the normal level)
//   mode 6, 10    analogue point: alarm when the value is below vref or above vref2
//   mode 7        analogue point, upper limit only: alarm when the value is above vref2
//   mode 11       analogue point, lower limit only: alarm when the value is below vref
//   other modes   no check
//
// Limits are equal-is-normal: a value exactly on a limit is not in alarm.
#ifndef QVSM_HOST_LIMITS_H
#define QVSM_HOST_LIMITS_H

#include <qvsm/qvsm.h>

#include <cstddef>
#include <map>
#include <vector>

namespace host {

struct PointLimit {
    int mode = 0;
    int vref = 0;
    int vref2 = 0;
};

bool PointInAlarm(const PointLimit& lim, int value);

class CLimits {
public:
    // Reads the rows of one type (Fld > 0) through the cursor operations. When a point has
    // rows for several SIDs, the row of SID 0 counts. Returns the number of points read.
    int Load(IDbBase* db, int type);
    const PointLimit* Find(int fld) const;
    bool InAlarm(int fld, int value) const;
    size_t Size() const { return m_points.size(); }

private:
    std::map<int, PointLimit> m_points;
};

// DataVal(1..DataSize) of the driver checked against the limits: bit (fld-1) of the words
// set for a point in alarm. Never empty (one zero word for a driver without points). The
// values read are appended to values when it is given.
std::vector<int> AlarmBits(ISMBase* drv, const CLimits& limits, std::vector<int>* values = nullptr);

}  // namespace host

#endif
