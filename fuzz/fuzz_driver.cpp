// One poll of one driver per input, made through the driver manager like the host does. The
// first input byte picks a row of kRows (a type code and how its device is set up); the rest
// is cut into the replies the scripted port hands out, one per Read: a length byte, then that
// many bytes. Each input runs a full cycle against the SQLite test database (ChkDb, DataGet,
// DataVal of every point, DataUpd with history, VarEval) on a fresh manager.
//
// A new driver joins by one row in kRows.
#include <qvsm/qvsm.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/SMEnv.h"
#include "tests/kit/ScriptPort.h"
#include "tests/kit/TestDb.h"

namespace {

struct Row {
    int type;
    int variant;
    bool tcp;         // the port is a network connection
    const char* def;  // definition file copied from the examples for a definition driver
};

const Row kRows[] = {
    // temperature/humidity probes and the rest of the environment family
    {1280, 0, false, nullptr}, {1280, 1, false, nullptr}, {1280, 2, false, nullptr}, {1280, 3, false, nullptr},
    {1280, 4, false, nullptr}, {1293, 0, false, nullptr}, {1282, 0, false, nullptr}, {1283, 0, false, nullptr},
    {1284, 0, false, nullptr}, {1285, 0, false, nullptr}, {1286, 0, false, nullptr}, {1287, 0, false, nullptr},
    {1288, 0, true, nullptr},  {1289, 0, false, nullptr}, {1291, 0, false, nullptr}, {1292, 0, false, nullptr},
    {1301, 0, false, nullptr}, {1302, 0, false, nullptr}, {1303, 0, false, nullptr}, {1304, 0, false, nullptr},
    {1305, 0, false, nullptr}, {1306, 0, false, nullptr}, {1307, 0, false, nullptr}, {1307, 1, false, nullptr},
    {1308, 0, false, nullptr}, {1308, 1, false, nullptr}, {1309, 0, false, nullptr}, {1310, 0, false, nullptr},
    {1311, 0, false, nullptr}, {1312, 0, false, nullptr},
    // definition drivers: Modbus over RTU and TCP, YD/T 1363, command protocol
    {4608, 0, false, "SM4608.def"}, {4608, 0, true, "SM4608.def"}, {4609, 0, false, "SM4609.def"},
    {4610, 0, false, "SM4610.def"}, {4610, 0, true, "SM4610.def"}, {5120, 0, false, "SM5120.def"},
    {5632, 0, false, "SM5632.def"},
    // power meters: every meter variant
    {256, 0, false, nullptr}, {256, 1, false, nullptr}, {256, 2, false, nullptr}, {256, 3, false, nullptr},
    {256, 4, false, nullptr}, {256, 5, false, nullptr}, {256, 6, false, nullptr}, {256, 7, false, nullptr},
    {256, 8, false, nullptr}, {256, 9, false, nullptr}, {256, 10, false, nullptr}, {256, 11, false, nullptr},
    {256, 12, false, nullptr}, {256, 13, true, nullptr}, {256, 14, false, nullptr}, {256, 15, false, nullptr},
    {256, 16, false, nullptr}, {256, 17, false, nullptr}, {256, 18, false, nullptr}, {256, 19, false, nullptr},
    {256, 20, false, nullptr}, {256, 21, false, nullptr}, {256, 22, false, nullptr}, {256, 23, false, nullptr},
    {256, 24, false, nullptr}, {256, 25, false, nullptr}, {256, 26, false, nullptr}, {256, 27, false, nullptr},
    {256, 28, false, nullptr},
    // switches, UPS units (the ASCII protocols and the Modbus base), batteries, leak detectors
    {512, 0, false, nullptr}, {768, 0, false, nullptr}, {768, 1, false, nullptr}, {768, 2, false, nullptr},
    {768, 3, false, nullptr}, {769, 0, false, nullptr}, {769, 1, false, nullptr}, {772, 0, false, nullptr},
    {790, 0, false, nullptr}, {793, 0, false, nullptr}, {794, 0, false, nullptr}, {1026, 0, false, nullptr},
    {1536, 0, false, nullptr}, {1536, 1, false, nullptr}, {1536, 2, false, nullptr}, {1536, 3, false, nullptr},
    {1539, 0, false, nullptr},
    // air conditioners, precision air conditioner, I/O modules, camera, access controller
    {1792, 0, false, nullptr}, {2048, 0, false, nullptr}, {2304, 0, false, nullptr}, {2307, 0, false, nullptr},
    {2308, 0, false, nullptr}, {2319, 0, false, nullptr}, {2320, 0, false, nullptr}, {3072, 0, false, nullptr},
    {3328, 0, false, nullptr},
    // rows 92 on: the remaining meter variants, the UPS models read from register rows, the 3GE
    // camera, the board input module, the alarm outputs (their controls) and the display panels
    {256, 29, false, nullptr}, {256, 30, false, nullptr}, {256, 31, false, nullptr}, {256, 32, false, nullptr},
    {256, 33, false, nullptr}, {256, 34, false, nullptr}, {256, 35, false, nullptr}, {256, 36, false, nullptr},
    {789, 0, false, nullptr},  {791, 0, false, nullptr},  {792, 0, false, nullptr},  {796, 0, false, nullptr},
    {800, 0, false, nullptr},  {801, 0, false, nullptr},  {801, 1, false, nullptr},  {805, 0, false, nullptr},
    {805, 1, false, nullptr},  {806, 0, false, nullptr},  {809, 0, false, nullptr},  {810, 0, false, nullptr},
    {811, 0, false, nullptr},  {814, 0, false, nullptr},  {818, 0, false, nullptr},  {3073, 0, false, nullptr},
    {2304, 1, false, nullptr}, {2560, 0, false, nullptr}, {2561, 0, false, nullptr}, {2561, 2, false, nullptr},
    {2816, 0, false, nullptr}, {2816, 1, false, nullptr}, {2817, 0, false, nullptr},
};
const size_t kRowCount = sizeof kRows / sizeof kRows[0];

std::string g_root;

void NoSleep(unsigned long) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char tmpl[] = "/tmp/qvsm-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    g_root = tmpl;
    namespace fs = std::filesystem;
    fs::create_directories(g_root + "/NandFlash/SM");
    fs::create_directories(g_root + "/NandFlash/tmp");
    for (const Row& r : kRows)
        if (r.def)
            fs::copy_file(std::string(QVSM_EXAMPLES) + "/definitions/" + r.def, g_root + "/NandFlash/SM/" + r.def,
                          fs::copy_options::overwrite_existing);
    setenv("QVSM_ROOT", g_root.c_str(), 1);
    SMSetSleepHook(NoSleep);
    std::atexit([] { std::filesystem::remove_all(g_root); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const Row& row = kRows[data[0] % kRowCount];
    ScriptPort port;
    port.mode = row.tcp ? QVSM_MODE_TCP : 0;
    for (size_t i = 1; i < size;) {
        size_t n = data[i++];
        if (n > size - i) n = size - i;
        port.Reply(Bytes(data + i, data + i + n));
        i += n;
    }

    TestDb live, hist;
    ISMManager* mgr = GetSMManager(0);
    ISMBase* d = mgr ? mgr->GetSM(row.type) : nullptr;
    if (!d) {
        FreeSMManager();
        return 0;
    }
    tagSMItem item{};
    item.SID = 7;
    item.Type = row.type;
    item.Variant = row.variant;
    item.Ser = &port;
    item.Port = 1;
    item.Addr = 1;
    std::snprintf(item.Name, sizeof item.Name, "fuzz");
    d->SetDb(&live, 0);
    d->RegDb(&live, 0);
    d->DoItem(&item, 0);
    d->ChkDb(&item);
    int ok = d->DataGet(&port, item.Addr, 0);
    int alarms[8] = {};
    for (int f = 1; f <= d->DataSize() && f <= 256; ++f)
        if (d->DataVal(f) > 1000) alarms[(f - 1) / 32] |= 1 << ((f - 1) % 32);
    int snap = 3;
    d->DataUpd(0x10, ok ? alarms : nullptr, &snap, -1, &hist);
    char var[256];
    for (const char* name : {".Tem", "$1", "$T1", ".x"}) {
        std::snprintf(var, sizeof var, "%s", name);
        d->VarEval(var);
    }
    d->DoFunc(&port, item.Addr, 1, nullptr, 0);
    FreeSMManager();
    return 0;
}
