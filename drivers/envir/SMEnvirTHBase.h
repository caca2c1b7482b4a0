// What the two temperature/humidity probes share: the type row, the point rows, one family
// table, Tem and Hum in a big-endian data block, the ".温度"/".Tem" and ".湿度"/".Hum"
// variables, and the storage of a poll (values and their states column by column in pairs).
#ifndef QVSM_DRIVERS_ENVIR_SMENVIRTHBASE_H
#define QVSM_DRIVERS_ENVIR_SMENVIRTHBASE_H

#include "drivers/envir/SMEnvirBase.h"

class CSMEnvirTHBase : public CSMBase {
public:
    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int fld) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    // ".温度"/".Tem" and ".湿度"/".Hum": the value in tenths as "%.1f" over var.
    int VarEval(char* var) override;

protected:
    enum { MAX_POINTS = 4 };
    // points: Tem, Hum (and TemRate, HumRate); sep: between the parts of the summary.
    CSMEnvirTHBase(int type, const SMPointDef* points, int n, const SMTableDef& table, const char* sep);

    void SetTemHum(int tem, int hum);
    // After a DataUpd that wrote the fault state for sid.
    virtual void OnFault(int) {}

    int m_val[MAX_POINTS] = {};  // in point order

private:
    const SMPointDef* m_points;
    int m_nPoints;
    SMTableDef m_table;
    const char* m_sep;
    unsigned char m_block[4] = {};  // Tem, Hum as big-endian words
};

#endif
