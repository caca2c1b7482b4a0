// The driver manager: owns every driver and maps type codes to driver classes.
#ifndef QVSM_MANAGER_SMMANAGER_H
#define QVSM_MANAGER_SMMANAGER_H

#include <qvsm/qvsm.h>

#include <vector>

// How a row of the type table selects its class.
enum SMRegHow {
    SM_REG_CODE,     // exactly this code
    SM_REG_KIND,     // any code of this SM kind without a row of its own (the kind's fallback)
    SM_REG_GENERIC,  // every code of this SM kind: a definition-driven driver made for the code
};

struct SMTypeReg {
    int code;  // the code, or the SM kind for SM_REG_KIND and SM_REG_GENERIC
    SMRegHow how;
    ISMBase* (*make)(int type);  // null result: no driver
};

extern const SMTypeReg g_smTypeTable[];
extern const int g_smTypeTableSize;

class CSMBase;

class CSMManager final : public ISMManager {
public:
    static CSMManager* GetInstance();
    static void FreeInstance();

    IDbBase* GetDb(int index) override;
    void SetDb(IDbBase* db, int index) override;
    ISMBase* GetSM(int type) override;

    int RegisterNew(ISMBase* driver);
    // A new driver for the code as the type table says, or null.
    static ISMBase* Create(int type);

    int Count() const { return static_cast<int>(m_drivers.size()); }

private:
    CSMManager();
    ~CSMManager();
    CSMManager(const CSMManager&) = delete;
    CSMManager& operator=(const CSMManager&) = delete;

    static CSMManager* m_pInstance;
    IDbBase* m_pDb;
    std::vector<ISMBase*> m_drivers;
};

#endif
