// Heap allocations of a steady-state poll of every hand-written driver. A poll is what the
// host does: DoItem, DataGet, DataVal of every point, DataUpd (with the live and the history
// database, or with none). Each row's device answers through the simulator's own responder in
// the same process (bench::SimDevice); its allocations, and those made inside the database,
// are counted apart and left out of the driver's. After a few settling polls (the first ones
// may allocate: they build tables, prepare statements, write the first history rows) N polls
// are counted.
//
// Prints one line per row and exits non-zero when a row allocates in steady state or a poll
// fails. Only calls of the global operator new are counted (AllocCount.cpp), as in the other
// benchmarks.
//   qvsm_allocaudit [N [TYPE]]   (TYPE: only the rows of that type code)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/SMBase.h"
#include "base/SMEnv.h"
#include "bench/SimDevice.h"
#include "host/SqliteDb.h"
#include "manager/SMManager.h"

long AllocCount();

namespace {

void NoSleep(unsigned long) {}

int g_listenPort = 0;  // a loopback TCP listener of this program

int Listen()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 512) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

// The host's database with the allocations made inside it counted apart.
class AuditDb : public CSqliteDb {
public:
    AuditDb()
    {
        Open(":memory:");
        CreateHostTables();
    }
    long own = 0;

    int TableExists(const char* t) override { return Own([&] { return CSqliteDb::TableExists(t); }); }
    int Exec(const char* sql) override { return Own([&] { return CSqliteDb::Exec(sql); }); }
    int QueryInt(const char* sql) override { return Own([&] { return CSqliteDb::QueryInt(sql); }); }
    const char* QueryStr(const char* sql) override { return Own([&] { return CSqliteDb::QueryStr(sql); }); }
    long long LastInsertId() override { return Own([&] { return CSqliteDb::LastInsertId(); }); }
    int Query(const char* sql, int len) override { return Own([&] { return CSqliteDb::Query(sql, len); }); }
    bool Eof(int c) override { return Own([&] { return CSqliteDb::Eof(c); }); }
    int Next(int c) override { return Own([&] { return CSqliteDb::Next(c); }); }
    int FreeQuery(int c) override { return Own([&] { return CSqliteDb::FreeQuery(c); }); }
    int GetInt(int c, const char* col) override { return Own([&] { return CSqliteDb::GetInt(c, col); }); }
    const char* GetStr(int c, const char* col) override { return Own([&] { return CSqliteDb::GetStr(c, col); }); }

private:
    template <class F>
    auto Own(F f) -> decltype(f())
    {
        long before = AllocCount();
        auto r = f();
        own += AllocCount() - before;
        return r;
    }
};

// One device of a driver class.
struct Row {
    int type;
    const char* cls;
    int variant;
    int addr;
    int param1;
    int wait;           // the device's waitMs
    const char* sim;    // qvsm-sim configuration of its bus; null: no port
    const char* files;  // files below the root, "path=content;path=content"
    const char* addrText;
    const char* skip;   // why the row may not run in this process; null: it runs
    const char* note;   // what the row shows besides the counts
    bool pollOk = true;  // false: DataGet answers 0 by design (the failed poll is audited)
    bool event = false;  // every poll brings news: reported, not held to 0
    bool (*can)() = nullptr;  // with skip: the row runs when this finds what it needs
};

// An ICMP socket this process may open (an unprivileged echo socket, or a raw one).
bool IcmpSocket()
{
    for (int type : {SOCK_DGRAM, SOCK_RAW}) {
        int fd = socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            close(fd);
            return true;
        }
    }
    return false;
}

// "@T FIRST COUNT VALUE" lines in a simulator text: registers FIRST.. of table T (hold, input,
// coil, discrete) set to VALUE (plus the register's offset mod 50 when VALUE ends with '+').
// "@door FIRST COUNT": that many access records of a door controller, a second apart.
std::string Expand(const char* text)
{
    std::string out;
    const char* p = text;
    while (*p) {
        const char* e = std::strchr(p, '\n');
        std::string line(p, e ? static_cast<size_t>(e - p) : std::strlen(p));
        p = e ? e + 1 : p + line.size();
        char table[16];
        int first = 0, count = 0, value = 0;
        char plus = 0;
        if (std::sscanf(line.c_str(), "@door %d %d", &first, &count) == 2) {
            for (int i = first; i < first + count; ++i) {
                char rec[96];
                std::snprintf(rec, sizeof rec, "door.%d = %d %d 1 1 0 2022-03-01 08:%02d:%02d\n", i, 100 + i, 700000 + i,
                              i / 60 % 60, i % 60);
                out += rec;
            }
            continue;
        }
        if (line[0] == '@' && std::sscanf(line.c_str() + 1, "%15s %d %d %d%c", table, &first, &count, &value, &plus) >= 4) {
            for (int i = 0; i < count; ++i)
                out += std::string(table) + "." + std::to_string(first + i) + " = " +
                       std::to_string(plus == '+' ? value + i % 50 : value) + "\n";
            continue;
        }
        if (line.find("%JPEG%") != std::string::npos) line.replace(line.find("%JPEG%"), 6, SAMPLE_JPEG);
        out += line + "\n";
    }
    return out;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Every register a member of the sensor family reads, on one Modbus RTU line.
#define ENVIR(type, name)                                                                                   \
    {                                                                                                       \
        type, "CSMEnvirBase (" name ")", 0, 1, 0, 0,                                                        \
            RTU("@hold 0 600 100+\n@input 0 120 100+\n@coil 0 16 0\n@discrete 0 16 0\n"), nullptr, nullptr, \
            nullptr, nullptr                                                                                \
    }

// Simulator texts.
#define RTU(body) "[sim]\ntick = 600000\n[bus.line]\nkind = rtu\npty =\n[slave.dev]\nbus = line\naddr = 1\n" body

const char kNoProtocol[] = "a listed model without a protocol: its DataGet answers 0";
const char kImagesDir[] = "/NandFlash/www/wwwpub/images/.keep=";

const Row kRows[] = {
    // Power meters (HCxxx, as the families end-to-end test), switch inputs, battery string, leak.
    {256, "CSMElec", 0, 1, 0, 0,
     RTU("hold.0 = 0\nhold.2 = 100\nhold.3 = 100\nhold.64 = 0\nhold.65 = 24000\n@hold 192 15 150+\n"), nullptr,
     nullptr, nullptr, nullptr},
    {259, "CSMBase (listed model)", 0, 1, 0, 0, RTU("hold.0 = 0\n"), nullptr, nullptr, nullptr, kNoProtocol, false},
    {512, "CSMOnOff", 0, 1, 0, 0, RTU("input.0 = 1\ninput.1 = 256\ninput.5 = 0\n"), nullptr, nullptr, nullptr, nullptr},
    {1026, "CSMBatt100", 0, 1, 24, 24,
     RTU("input.1280 = 123\ninput.1281 = 5\ninput.1282 = 5400\ninput.1283 = 251\ninput.1087 = 0\n@input 256 24 1300+\n"
         "@input 512 24 250\n@input 768 24 260\n@input 1024 24 20+\n"),
     nullptr, nullptr, nullptr, nullptr},
    {1536, "CSMLeak", 0, 1, 0, 0,
     RTU("input.1 = 300\ninput.2 = 10\ninput.3 = 0\ninput.4 = 800\ninput.5 = 0\nhold.1 = 55\n"), nullptr, nullptr,
     nullptr, nullptr},
    // The other leak controllers: a cable length sent once (Param1), then reads only.
    {1536, "CSMLeak (Variant 1)", 1, 1, 800, 0, RTU("@hold 0 12 100+\n"), nullptr, nullptr, nullptr, nullptr},
    {1536, "CSMLeak (Variant 2)", 2, 1, 0, 0, RTU("input.0 = 1\nhold.4096 = 7\n"), nullptr, nullptr, nullptr, nullptr},
    {1536, "CSMLeak (Variant 3)", 3, 1, 0, 0, RTU("@input 2 37 3\n"), nullptr, nullptr, nullptr, nullptr},
    {1539, "CSMLeakX200", 0, 0, 10, 0, nullptr,
     "/sys/bus/iio/devices/iio:device0/in_voltage5_raw=4000\n;/sys/class/gpio/gpio123/value=1\n", nullptr, nullptr,
     nullptr},
    // Environment: the probe (demo's room A) and the members of the sensor family.
    {1280, "CSMEnvir", 0, 1, 0, 0, RTU("hold.0 = 450\nhold.1 = 325\n"), nullptr, nullptr, nullptr, nullptr},
    ENVIR(1282, "Pm"), ENVIR(1283, "NHFS45"), ENVIR(1284, "LaserPM"), ENVIR(1285, "YS8159B"), ENVIR(1287, "Jxbs"),
    ENVIR(1289, "Lightning"), ENVIR(1291, "O3"), ENVIR(1292, "BWDK3208E"), ENVIR(1301, "XF"), ENVIR(1302, "ETCR2900"),
    ENVIR(1303, "JXBS3001QY"), ENVIR(1304, "JXBS4001O2"), ENVIR(1305, "WHCO"), ENVIR(1306, "Voice"),
    ENVIR(1307, "WindSpeed"), ENVIR(1308, "WindDir"), ENVIR(1309, "New"), ENVIR(1311, "eFire"), ENVIR(1312, "ZGLJ"),
    {1286, "CSMEnvirT3", 0, 1, 0, 0, RTU("@hold 1133 48 200+\n"), nullptr, nullptr, nullptr, nullptr},
    {1288, "CSMEnvirSitePro", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.net]\nkind = mbtcp\nlisten = 127.0.0.1:0\n[slave.dev]\nbus = net\naddr = 1\n"
     "@hold 0 52 100+\n",
     nullptr, nullptr, nullptr, nullptr},
    // Byte protocols of their own: C1 addr cmd .. 55 sum; AA addr cmd len data sum 55.
    {1293, "CSMEnvirEx", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.ex]\nkind = script\npty =\n[slave.ex]\nbus = ex\naddr = 1\n"
     "script.1 = hex:C1 01 01 00 00 55 18 => hex:C1 01 01 00 00 FA 00 C2 01 80\n",
     nullptr, nullptr, nullptr, nullptr},
    {1310, "CSMEnvirCPL", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.lock]\nkind = script\npty =\n[slave.lock]\nbus = lock\naddr = 1\n"
     "script.1 = hex:AA 01 01 00 02 55 => hex:AA 01 81 02 01 50 D5 55\n",
     nullptr, nullptr, nullptr, nullptr},
    // UPS units: the ASCII query protocol (as demo.sh), a register model, the 5000 series.
    {768, "CSMUps", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.ups]\nkind = script\npty =\n[slave.ups]\nbus = ups\naddr = 1\nhold.0 = 2291\n"
     "hold.1 = 450\n"
     "script.1 = text:Q1\\r\\n => text:({0.1} 000.0 229.9 {1.1} 50.0 2.27 30.5 00001001\\r\n"
     "script.2 = text:Q2\\r => text:(231.0 232.5 228.0\\r\n"
     "script.3 = text:F\\r => text:#220.0 004 24.00 50.0\\r\n"
     "script.4 = text:I\\r => text:#  QV Power      SMART-1K   V1.2      \\r\n",
     nullptr, nullptr, nullptr, nullptr},
    {789, "CSMUpsBase (HTxx)", 0, 1, 0, 0, RTU("@hold 13 57 200+\n@input 83 57 0\n"), nullptr, nullptr, nullptr,
     nullptr},
    {790, "CSMUps5000", 0, 1, 0, 0, RTU("@hold 0 200 100+\n"), nullptr, nullptr, nullptr, nullptr},
    // Air conditioning (as the air-conditioner end-to-end test).
    {1792, "CSMAirc", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.ac]\nkind = airc\npty =\n[slave.ac]\nbus = ac\naddr = 1\n"
     "hold.0 = 2345\nhold.1 = 2610\nhold.2 = 6678\nhold.3 = 18\nhold.4 = 150\nhold.5 = 2560\nhold.6 = 50\n"
     "hold.7 = 8193\nhold.12 = 2400\nhold.13 = 2700\nhold.19 = 0\nhold.24 = 1\nhold.25 = 0\nhold.64 = 90\n",
     nullptr, nullptr, nullptr, nullptr},
    {2048, "CSMCyberMate", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.crac]\nkind = ydt\npty =\n[slave.crac]\nbus = crac\naddr = 1\n"
     "hold.0 = 220\nhold.1 = 235\nhold.2 = 450\nhold.3 = 300\nhold.4 = 120\nhold.5 = 1\n"
     "ydt.42 = {0}{1}{2}{3}{4}\nydt.43 = {5:b} 00 01 00 01 00 00\n"
     "ydt.44 = 00 00 00 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
     "ydt.47 = 14 05 14 05 1E 0A 1A 12 46 0A\n",
     nullptr, nullptr, nullptr, nullptr},
    {2098, "CSMCyberStulzC7000Base", 0, 1, 0, 0, RTU("hold.0 = 0\n"), nullptr, nullptr, nullptr, kNoProtocol, false},
    // I/O modules: the board's input stream, GPIO lines, analogue inputs, Modbus modules.
    {2304, "CSMDio (stream)", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.di]\nkind = dio\npty =\ndio.every = 100\n[slave.di]\nbus = di\naddr = 1\n"
     "hold.0 = 254\nhold.1 = 14\n",
     nullptr, nullptr, nullptr, nullptr},
    {2304, "CSMDio (GPIO, Variant 1)", 1, 1, 0, 0, nullptr, "/dev/gpio=\n", nullptr, nullptr, nullptr},
    {2319, "CSMDioA9DI16", 0, 0, 0, 0, nullptr, "/dev/gpio=\n", nullptr, nullptr, nullptr},
    {2320, "CSMDioIMX6ULAI", 1, 0, 0, 0, nullptr,
     "/sys/bus/iio/devices/iio:device0/in_voltage5_raw=2048\n;/sys/bus/iio/devices/iio:device0/in_voltage9_raw=4095\n",
     nullptr, nullptr, nullptr},
    {2307, "CSMDioPd2206", 0, 1, 0, 0, RTU("@input 0 16 0\ninput.2 = 1\n"), nullptr, nullptr, nullptr, nullptr},
    {2308, "CSMDioW70XX", 2, 1, 0, 0,
     RTU("discrete.0 = 1\ndiscrete.1 = 0\ndiscrete.2 = 1\ndiscrete.7 = 0\ncoil.0 = 0\ncoil.3 = 0\ncoil.7 = 1\n"),
     nullptr, nullptr, nullptr, nullptr},
    {2306, "CSMDioBase (listed model)", 0, 1, 0, 0, RTU("hold.0 = 0\n"), nullptr, nullptr, nullptr, kNoProtocol, false},
    // Alarm outputs and the display panel: a poll only checks the line.
    {2560, "CSMAlm3000", 0, 1, 0, 0, "[sim]\ntick = 600000\n[bus.dialler]\nkind = dialler\npty =\n[slave.d]\nbus = dialler\naddr = 1\n",
     nullptr, nullptr, nullptr, nullptr},
    {2561, "CSMAlmGsm", 0, 1, 0, 0, "[sim]\ntick = 600000\n[bus.modem]\nkind = gsm\npty =\n", nullptr, nullptr, nullptr,
     nullptr},
    {2816, "CSMDGusMonitor", 0, 1, 0, 0, "[sim]\ntick = 600000\n[bus.panel]\nkind = panel\npty =\n", nullptr, nullptr,
     nullptr, nullptr},
    // Camera: every poll takes a picture and stores it as a new file.
    {3072, "CSMCamera", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.cam]\nkind = camera\npty =\n[slave.cam]\nbus = cam\naddr = 1\ncamera.file = %JPEG%\n",
     kImagesDir, nullptr, nullptr, "a new picture file every poll (the C library's own buffers are not counted)"},
    {3073, "SMCamera3ge", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.cam]\nkind = camera\npty =\n[slave.cam]\nbus = cam\naddr = 1\ncamera.model = 3ge\n"
     "camera.file = %JPEG%\n",
     kImagesDir, nullptr, nullptr, "a new picture file every poll (the C library's own buffers are not counted)"},
    // Door controller: the latest record is the same as the last poll's (no new event).
    {3328, "CSMCardA (new record)", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.door]\nkind = door\npty =\n[slave.door]\nbus = door\naddr = 1\ndoor.repeat = 1\n"
     "@door 1 100\n",
     nullptr, nullptr, nullptr, "new access records (about one every other poll): events, not steady state", true, true},
    {3328, "CSMCardA", 0, 1, 0, 0,
     "[sim]\ntick = 600000\n[bus.door]\nkind = door\npty =\n[slave.door]\nbus = door\naddr = 1\ndoor.repeat = 1000\n"
     "door.1 = 101 712345 1 1 0 2022-03-01 08:30:10\n",
     nullptr, nullptr, nullptr, nullptr},
    // Reachability: a TCP connection to a loopback listener of this program; an echo to
    // 127.0.0.1 where an ICMP socket may be opened.
    {3335, "CSMNetPing (TCP)", 1, 0, 0, 0, nullptr, nullptr, "127.0.0.1:%PORT%", nullptr, nullptr},
    {3335, "CSMNetPing (ICMP echo)", 0, 0, 0, 0, nullptr, nullptr, "127.0.0.1",
     "no ICMP socket may be opened here", nullptr, true, false, IcmpSocket},
};

struct Result {
    double perPoll = 0;  // driver allocations per steady poll
    double dbPerPoll = 0;
    bool ok = false;
    std::string why;
};

// The rows of one run: the device, the driver set up as the host sets it up, N polls.
// alarms: every alarm bit set (a device that stays in alarm), else none.
Result Audit(const Row& r, bool withDb, bool alarms, int settle, int n, const std::string& root)
{
    Result res;
    if (r.files) {
        std::string all = r.files;
        for (size_t at = 0; at < all.size();) {
            size_t semi = all.find(';', at);
            if (semi == std::string::npos) semi = all.size();
            std::string kv = all.substr(at, semi - at);
            size_t eq = kv.find('=');
            if (eq != std::string::npos && !WriteFile(root + kv.substr(0, eq), kv.substr(eq + 1))) {
                res.why = "cannot write " + kv.substr(0, eq);
                return res;
            }
            at = semi + 1;
        }
    }
    std::unique_ptr<bench::SimDevice> port;
    if (r.sim) {
        port.reset(new bench::SimDevice(Expand(r.sim)));
        if (!port->Ok()) {
            res.why = "simulator: " + port->Error();
            return res;
        }
    }
    AuditDb live, hist;
    std::unique_ptr<CSMBase> drv(dynamic_cast<CSMBase*>(CSMManager::Create(r.type)));
    if (!drv) {
        res.why = "no driver";
        return res;
    }
    IDbBase* db = withDb ? &live : nullptr;
    IDbBase* hdb = withDb ? &hist : nullptr;
    tagSMItem item{};
    item.SID = 1;
    item.Type = r.type;
    item.Variant = r.variant;
    item.Ser = port.get();
    item.Port = port ? 1 : 0;
    item.Addr = r.addr;
    item.Param1 = r.param1;
    std::snprintf(item.Name, sizeof item.Name, "audit");
    if (r.addrText) {
        std::string text = r.addrText;
        if (text.find("%PORT%") != std::string::npos) text.replace(text.find("%PORT%"), 6, std::to_string(g_listenPort));
        std::snprintf(item.AddrText, sizeof item.AddrText, "%s", text.c_str());
    }

    int saved = dup(1);  // set-up and polls print lines of their own
    int null = open("/dev/null", O_WRONLY);
    std::fflush(stdout);
    if (null >= 0) dup2(null, 1);

    drv->SetDb(db, 0);
    drv->SetDb(hdb, 1);
    drv->RegDb(db, 0);
    if (withDb) live.Exec("insert into tbSubSysDetail(SIDD,type,Name,sid,Fld,State) values(1,0,'audit',1,0,-1)");
    drv->DoItem(&item, 0);
    drv->ChkDb(&item);
    std::vector<int> bits(static_cast<size_t>(drv->DataSize() / 32 + 2), alarms ? -1 : 0);
    bool failed = false;
    long sum = 0;
    auto poll = [&] {
        drv->DoItem(&item, 0);
        if (withDb) {
            live.Begin();
            hist.Begin();
        }
        int snap = 0;
        bool ok = drv->DataGet(item.Ser, item.Addr, r.wait) != 0;
        for (int i = 1; i <= drv->DataSize(); ++i) sum += drv->DataVal(i);
        drv->DataUpd(0, ok ? bits.data() : nullptr, &snap, item.SID, hdb);
        if (withDb) {
            live.Commit();
            hist.Commit();
        }
        if (!ok) failed = true;
    };
    for (int i = 0; i < settle; ++i) poll();
    failed = false;
    long before = AllocCount(), ownBefore = port ? port->OwnAllocs() : 0, dbBefore = live.own + hist.own;
    for (int i = 0; i < n; ++i) poll();
    long all = AllocCount() - before;
    long own = (port ? port->OwnAllocs() : 0) - ownBefore;
    long dbOwn = live.own + hist.own - dbBefore;

    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
    }
    if (null >= 0) close(null);

    res.perPoll = static_cast<double>(all - own - dbOwn) / n;
    res.dbPerPoll = static_cast<double>(dbOwn) / n;
    res.ok = failed == !r.pollOk;
    if (!res.ok) res.why = failed ? "a poll failed" : "a poll succeeded that should fail";
    (void)sum;
    return res;
}

}  // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 20;
    const int only = argc > 2 ? std::atoi(argv[2]) : 0;
    if (n <= 0) {
        std::fprintf(stderr, "usage: %s [POLLS [TYPE]]\n", argv[0]);
        return 2;
    }
    char root[] = "/tmp/qvsm-allocaudit-XXXXXX";
    if (!mkdtemp(root)) return 1;
    setenv("QVSM_ROOT", root, 1);
    mkdir((std::string(root) + "/NandFlash").c_str(), 0755);
    mkdir((std::string(root) + "/NandFlash/tmp").c_str(), 0755);
    mkdir((std::string(root) + "/NandFlash/SM").c_str(), 0755);
    SMSetSleepHook(NoSleep);
    g_listenPort = Listen();

    // Driver allocations per steady poll: with the databases, the same with every alarm bit set,
    // without a database; then the database class's own per poll (left out of the others).
    std::printf("%-6s %-28s %8s %8s %8s %8s  %s\n", "type", "class", "db", "db+alm", "no db", "db-side", "result");
    int bad = 0;
    for (const Row& r : kRows) {
        if (only && r.type != only) continue;
        if (r.skip && !(r.can && r.can())) {
            std::printf("%-6d %-28s %8s %8s %8s %8s  skipped: %s\n", r.type, r.cls, "-", "-", "-", "-", r.skip);
            continue;
        }
        Result a = Audit(r, true, false, 3, n, root);
        Result c = Audit(r, true, true, 3, n, root);
        Result b = Audit(r, false, false, 3, n, root);
        bool ok = a.ok && b.ok && c.ok && (r.event || (a.perPoll == 0 && b.perPoll == 0 && c.perPoll == 0));
        if (!ok) ++bad;
        std::string what = ok       ? "ok"
                           : !a.ok  ? "FAILED (db): " + a.why
                           : !c.ok  ? "FAILED (alarms): " + c.why
                           : !b.ok  ? "FAILED (no db): " + b.why
                                    : "ALLOCATES";
        if (r.note) what += std::string(" - ") + r.note;
        std::printf("%-6d %-28s %8.2f %8.2f %8.2f %8.2f  %s\n", r.type, r.cls, a.perPoll, c.perPoll, b.perPoll,
                    a.dbPerPoll, what.c_str());
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::printf("%d polls per row after 3 settling polls; %s\n", n,
                bad ? "some rows allocate in steady state or fail" : "no row allocates in steady state");
    return bad ? 1 : 0;
}
