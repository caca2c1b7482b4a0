// Helpers of the qvsm-defcheck tests.
#ifndef QVSM_TESTS_DEFCHECK_DEFCHECKKIT_H
#define QVSM_TESTS_DEFCHECK_DEFCHECKKIT_H

#include <string>
#include <vector>

#include "host/defcheck/DefCheck.h"

// The findings as "line: text" lines, for failure messages.
inline std::string Lines(const std::vector<DefFinding>& f)
{
    std::string s;
    for (const DefFinding& d : f) s += std::to_string(d.line) + ": " + d.text + "\n";
    return s;
}

// Whether a finding on line mentions every part.
inline bool Has(const std::vector<DefFinding>& f, int line, const std::vector<std::string>& parts)
{
    for (const DefFinding& d : f) {
        if (d.line != line) continue;
        bool all = true;
        for (const std::string& p : parts) all = all && d.text.find(p) != std::string::npos;
        if (all) return true;
    }
    return false;
}

#endif
