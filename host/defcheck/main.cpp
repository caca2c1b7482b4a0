// qvsm-defcheck [--kind modbus|snmp|ydt1363|cmd] FILE...
//
// One line per finding, "FILE:LINE: explanation". Exit status: 0 no findings, 1 findings,
// 2 a file cannot be read or the command line is wrong.
#include <cstdio>
#include <string>
#include <vector>

#include "host/ToolInfo.h"
#include "host/defcheck/DefCheck.h"

namespace {
const char kUsage[] = "usage: qvsm-defcheck [--kind modbus|snmp|ydt1363|cmd] FILE...\n"
                      "       qvsm-defcheck --help | --version\n";
}

int main(int argc, char** argv)
{
    if (ToolInfo(argc, argv, "qvsm-defcheck", kUsage)) return 0;
    DefKind kind = DEF_AUTO;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--kind" && i + 1 < argc) {
            if (!DefKindParse(argv[++i], kind)) {
                std::fprintf(stderr, "qvsm-defcheck: unknown kind '%s' (modbus, snmp, ydt1363, cmd)\n", argv[i]);
                return 2;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    for (const std::string& f : files) {
        std::vector<std::string> lines;
        int r = DefCheckFile(f, kind, lines);
        for (const std::string& l : lines) std::printf("%s\n", l.c_str());
        if (r > status) status = r;
    }
    return status;
}
