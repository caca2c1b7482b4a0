// The five exported entry points and the module's log document.
#include <qvsm/qvsm.h>

#define SI_IMPLEMENTATION  // the one translation unit that instantiates SimpleIni
#include <SimpleIni.h>

#include <cstdio>
#include <string>

#include "base/SMEnv.h"
#include "base/SMLog.h"
#include "manager/SMManager.h"

#define QVSM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
// The log document (char, case-insensitive keys, no conversion): loaded at start, saved
// over the log at FreeSMManager. Nothing adds to it.
CSimpleIniA flogIni(false, false, false);
}  // namespace

QVSM_EXPORT int DllType() { return 0; }

QVSM_EXPORT const char* DllNote() { return "libqvsm.so for Supervison Module"; }

QVSM_EXPORT int DllVersion() { return 1; }

QVSM_EXPORT ISMManager* GetSMManager(int)
{
    std::string path = SMPath(filename);
    std::remove(path.c_str());  // each start begins a new log
    flogIni.LoadFile(path.c_str());
    return CSMManager::GetInstance();
}

QVSM_EXPORT int FreeSMManager()
{
    CSMManager::FreeInstance();
    return static_cast<int>(flogIni.SaveFile(SMPath(filename).c_str(), true));
}
