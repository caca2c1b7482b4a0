// The definition-file reader, value expressions and brief templates. The input is read as a
// definition file; its [comm] brief is expanded with every state and the alarm words taken
// from the input, and every [flds] name is evaluated as a variable.
#include <cstdint>
#include <cstring>
#include <string>

#include "generic/DefIni.h"
#include "generic/VarExpr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    SimpleIni ini;
    ini.LoadString(text);
    int cnt = ini.GetValue<int>(SEC_FLDS, "cnt", 0);
    IndexPoints(ini, cnt < 0 ? 0 : cnt > 512 ? 512 : cnt);

    int alarms[16] = {};
    std::memcpy(alarms, data, size < sizeof alarms ? size : sizeof alarms);
    for (int state = 0; state <= 2; ++state) {
        std::string brief = ini.GetValue(SEC_COMM, "brief", "");
        VarByIni(brief, ini, state, state == 2 ? nullptr : alarms);
    }
    for (auto it = ini.beginKey(SEC_FLDSVAL); it != ini.endKey(SEC_FLDSVAL); ++it) {
        char buf[DEF_VAR_CAP];
        std::string name = "$" + it->first;
        if (name.size() >= sizeof buf) continue;
        std::memcpy(buf, name.c_str(), name.size() + 1);
        DefVarEval(ini, buf, sizeof buf);
    }
    for (auto it = ini.beginKey(SEC_VALS); it != ini.endKey(SEC_VALS); ++it)
        ScaleByDivisor(it->second.value, ini.GetValue(SEC_FLDS, it->first, "10"));
    return 0;
}
