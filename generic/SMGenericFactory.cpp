#include "generic/SMGeneric.h"

#include <unistd.h>

#include <cstdio>

void SMDefPath(char* out, int cap, int type) { std::snprintf(out, static_cast<size_t>(cap), "/NandFlash/SM/SM%04d.def", type); }

namespace {
template <class T>
ISMBase* NewHandler(int type)
{
    char path[64];
    SMDefPath(path, sizeof path, type);
    std::string file = SMPath(path);
    if (access(file.c_str(), F_OK) != 0) return nullptr;
    T* driver = new T(type);
    driver->LoadDef(file.c_str());
    return driver;
}
}  // namespace

ISMBase* NewSnmpHandler(int type) { return NewHandler<CSMSnmpPub>(type); }
ISMBase* NewModbusHandler(int type) { return NewHandler<CSMModbus>(type); }
ISMBase* NewYdt1363Handler(int type) { return NewHandler<CSMYdt1363>(type); }
ISMBase* NewNormalHandler(int type) { return NewHandler<CSMNormal>(type); }
