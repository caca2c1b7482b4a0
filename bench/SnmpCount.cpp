// Heap allocations (global operator new) of steady SNMP polls against a real snmpd on
// 127.0.0.1: the definition-driven driver (scalars and a walked table) and the drivers with
// fixed object lists, each with and without a database. A poll is what the host runs: DataGet,
// DataVal of every point, DataUpd. Two polls settle, then POLLS are counted. The net-snmp
// library's own C allocations are not counted.
//   qvsm_snmpcount [POLLS]      exit 1 when a steady poll allocates or fails, 2 without snmpd
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/SMEnv.h"
#include "bench/BenchRig.h"
#include "generic/SMSnmpPub.h"
#include "manager/SMManager.h"
#include "tests/snmp/SnmpAgent.h"

long AllocCount();

namespace {

// Scalars of every kind snmpd answers, a missing object, and the host-resources storage table
// with every statistics slot and a text column.
std::string PubDefinition()
{
    std::string d =
        "[comm]\nver=1\nbrief=up {.up}\n[oids]\n1.3.6.1.2.1.1.1.0=descr\n1.3.6.1.2.1.1.2.0=oid\n"
        "1.3.6.1.2.1.1.3.0=up\n1.3.6.1.2.1.1.5.0=name\n1.3.6.1.2.1.1.7.0=services\n"
        "1.3.6.1.4.1.99999.9.9.0=missing\n1.3.6.1.2.1.25.2.3.1=hr:,1,3,4,5,6,\n"
        "[vals.str]\ndescr=1\nhr.3=1\n[flds]\ncnt=3\n1=services\n2=hr\n3=hr_1a\n[vals.ext]\n";
    for (int n = 1; n <= 32; ++n) d += "hr." + std::to_string(n) + "=1\n";
    return d;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Row {
    int type;
    const char* what;
};

}  // namespace

int main(int argc, char** argv)
{
    long polls = argc > 1 ? std::atol(argv[1]) : 50;
    if (polls < 1) polls = 1;
    char root[] = "/tmp/qvsm-snmpcount-XXXXXX";
    if (!mkdtemp(root)) return 2;
    setenv("QVSM_ROOT", root, 1);
    for (const char* d : {"/NandFlash", "/NandFlash/tmp", "/NandFlash/SM"}) mkdir((root + std::string(d)).c_str(), 0755);

    std::string conf = "rocommunity public 127.0.0.1\nrocommunity quorum 127.0.0.1\nsysdescr Rack 'A' \\ agent\n"
                       "sysname bench\nsysservices 72\n";
    for (const char* f : {"ups-powernet.conf", "ups-mg.conf", "cyberpex.conf", "ups-powernet3.conf", "ups-ita.conf"}) {
        std::string text = ReadFile(std::string(EXAMPLES_SNMPD) + "/" + f);
        if (text.empty()) {
            std::fprintf(stderr, "cannot read %s/%s\n", EXAMPLES_SNMPD, f);
            return 2;
        }
        // One agent for all: the communities and descriptions of the files are given once above.
        std::stringstream in(text);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("override ", 0) == 0) conf += line + "\n";
    }
    SnmpAgent agent;
    if (!agent.Start(conf)) {
        std::fprintf(stderr, "snmpd: %s\n", agent.Error().c_str());
        return 2;
    }
    setenv("QVSM_SNMP_PORT", std::to_string(agent.Port()).c_str(), 1);

    const Row rows[] = {{4096, "CSMSnmpPub (scalars, a table walk)"}, {795, "CSMSnmpUpsPowerNet"},
                        {798, "CSMSnmpUpsIta0510k"},  {804, "CSMSnmpUpsMgG5000"},
                        {807, "CSMSnmpUpsIta1620k"},  {808, "CSMSnmpUpsPowerNet3"},
                        {2097, "CSMSnmpCyberPex"}};
    int bad = 0;
    std::printf("%-6s %-36s %12s %12s\n", "type", "driver", "allocs/poll", "with SQLite");
    for (const Row& r : rows) {
        std::printf("%-6d %-36s", r.type, r.what);
        for (int withDb = 0; withDb <= 1; ++withDb) {
            bench::BenchDb db;
            IDbBase* pdb = withDb ? &db : nullptr;
            std::unique_ptr<CSMBase> drv;
            if (r.type == 4096) {
                auto* pub = new CSMSnmpPub(4096);
                drv.reset(pub);
                std::string path = SMPath("/NandFlash/SM/SM4096.def");
                std::ofstream(path) << PubDefinition();
                bench::Quiet([&] { pub->LoadDef(path.c_str()); });
            } else {
                drv.reset(dynamic_cast<CSMBase*>(CSMManager::Create(r.type)));
            }
            if (!drv) {
                std::printf(" no driver\n");
                ++bad;
                break;
            }
            tagSMItem item{};
            item.SID = 1;
            item.Type = r.type;
            std::snprintf(item.ConnText, sizeof item.ConnText, "snmp127.0.0.1:%d", agent.Port());
            drv->SetDb(pdb, 0);
            drv->RegDb(pdb, 0);
            drv->DoItem(&item, 0);
            drv->ChkDb(&item);
            std::vector<int> bits(static_cast<size_t>(drv->DataSize() / 32 + 1), 0);
            long sink = 0;
            auto poll = [&] {
                if (pdb) db.Begin();
                bool ok = drv->DataGet(nullptr, 0, 0) != 0;
                for (int i = 1; i <= drv->DataSize(); ++i) sink += drv->DataVal(i);
                drv->DataUpd(0, bits.data(), nullptr, -1, nullptr);
                if (pdb) db.Commit();
                return ok;
            };
            bool ok = poll() && poll();
            long before = AllocCount();
            for (long i = 0; i < polls; ++i) ok = poll() && ok;
            double per = static_cast<double>(AllocCount() - before) / static_cast<double>(polls);
            std::printf(" %12.2f", per);
            if (!ok) std::printf(" (a poll failed)");
            if (!ok || per > 0) ++bad;
            if (sink == 42) std::printf(" ");
        }
        std::printf("\n");
    }
    std::printf("%s\n", bad ? "FAILED: a steady poll allocated or failed" : "every steady poll: 0 allocations");
    return bad ? 1 : 0;
}
