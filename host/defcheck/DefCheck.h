// qvsm-defcheck: checks the definition files of the generic drivers before they are deployed
// as "/NandFlash/SM/SM%04d.def". The file is read with the module's own reader (SimpleIni),
// so what is checked is what the driver will see.
//
// The driver kind decides which sections and keys are known:
//   1. --kind on the command line, else
//   2. the type code in a file name of the form SM<code>.def (SM kinds 0x1000/0x1100 SNMP,
//      0x1200/0x1300 Modbus, 0x1400/0x1500 YD/T 1363, 0x1600/0x1700 command), else
//   3. the content: [regs1]..[regs4] Modbus, [oids] SNMP, [comm] cid1/cid2 YD/T 1363,
//      [comm] cmds/SND command; otherwise only what all four share is checked.
//
// Every kind is one row of a table (DefKindSpec in DefCheck.cpp): its [comm] keys, whether it
// has Yk controls, which further sections it reads and a function with its own checks.
#ifndef QVSM_HOST_DEFCHECK_H
#define QVSM_HOST_DEFCHECK_H

#include <string>
#include <vector>

enum DefKind { DEF_AUTO = 0, DEF_MODBUS, DEF_SNMP, DEF_YDT, DEF_CMD, DEF_UNKNOWN };

// "modbus", "snmp", "ydt1363", "cmd", "unknown".
const char* DefKindName(DefKind kind);
// A --kind argument (the names above except "unknown"). false when it is none of them.
bool DefKindParse(const std::string& name, DefKind& kind);
// By a file name SM<digits>.def (any folder); DEF_AUTO when the name says nothing.
DefKind DefKindOfPath(const std::string& path);

struct DefFinding {
    int line;          // line of the file (1 when the finding concerns the whole file)
    std::string text;  // plain explanation
};

// Checks the text of one definition file. kind DEF_AUTO: decided by the content. The kind
// used is stored in *used when given. Findings are sorted by line.
std::vector<DefFinding> DefCheckText(const std::string& text, DefKind kind, DefKind* used = nullptr);

// Checks one file; appends "FILE:LINE: explanation" lines to out. Returns 0 clean,
// 1 findings, 2 the file cannot be read (a line saying so is appended).
int DefCheckFile(const std::string& path, DefKind kind, std::vector<std::string>& out);

#endif
