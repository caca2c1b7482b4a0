#include "manager/SMManager.h"

#include <cstdio>

#include "base/SMBase.h"

CSMManager* CSMManager::m_pInstance = nullptr;

namespace {
// Drivers are destroyed through the deleting destructor that CSMBase adds.
void Destroy(ISMBase* driver) { delete static_cast<CSMBase*>(driver); }
}  // namespace

CSMManager::CSMManager() : m_pDb(nullptr) {}

CSMManager::~CSMManager()
{
    for (auto it = m_drivers.rbegin(); it != m_drivers.rend(); ++it)
        if (*it) Destroy(*it);
    m_drivers.clear();
}

CSMManager* CSMManager::GetInstance()
{
    if (!m_pInstance) m_pInstance = new CSMManager();
    return m_pInstance;
}

void CSMManager::FreeInstance()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

IDbBase* CSMManager::GetDb(int) { return m_pDb; }

void CSMManager::SetDb(IDbBase* db, int) { m_pDb = db; }

ISMBase* CSMManager::Create(int type)
{
    const int kind = type & 0xFF00;
    if (kind == 0xF00) std::printf("CSMManager::GetSM SMKIND_F %d\r\n", type);
    const SMTypeReg* fallback = nullptr;
    for (int i = 0; i < g_smTypeTableSize; ++i) {
        const SMTypeReg& r = g_smTypeTable[i];
        if (r.how == SM_REG_CODE && r.code == type && kind >= 0x100 && kind <= 0xF00) return r.make(type);
        if (r.how != SM_REG_CODE && r.code == kind) fallback = &r;
    }
    return fallback ? fallback->make(type) : nullptr;
}

ISMBase* CSMManager::GetSM(int type)
{
    for (ISMBase* d : m_drivers)
        if (d->GetType() == type) return d;
    int index = RegisterNew(Create(type));
    if (index >= 0) return m_drivers[static_cast<size_t>(index)];
    std::printf("CSMManager::GetSM NULL: type=%d\r\n", type);
    return nullptr;
}

int CSMManager::RegisterNew(ISMBase* driver)
{
    if (!driver) return -1;
    const int type = driver->GetType();
    for (size_t i = 0; i < m_drivers.size(); ++i)
        if (m_drivers[i]->GetType() == type) {
            Destroy(driver);
            return static_cast<int>(i);
        }
    m_drivers.push_back(driver);
    driver->SetManager(this);
    return static_cast<int>(m_drivers.size()) - 1;
}
