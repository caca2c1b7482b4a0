// What the tests of the four definition-driven drivers share: a driver of one type code loaded
// from a definition text under a temporary root, with a scripted port and a fake clock.
#ifndef QVSM_TESTS_UNIT_DEFKIT_H
#define QVSM_TESTS_UNIT_DEFKIT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "generic/SMGeneric.h"
#include "tests/kit/Kit.h"

// Writes text as the definition file of type and loads it into d; the load's standard output
// goes to *out when given. Returns LoadDef's result.
inline int LoadDefText(TempRoot& root, CSMDefBase& d, int type, const std::string& text, std::string* out = nullptr)
{
    char path[64];
    std::snprintf(path, sizeof path, "/NandFlash/SM/SM%04d.def", type);
    if (!root.Exists("/NandFlash/tmp/qvsm.log.ini")) root.Write("/NandFlash/tmp/qvsm.log.ini", "");
    root.Write(path, text);
    testing::internal::CaptureStdout();
    int r = d.LoadDef(SMPath(path).c_str());
    std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return r;
}

template <class D, int Type>
class DefTest : public ::testing::Test {
protected:
    void Load(const std::string& text) { ASSERT_EQ(LoadDefText(root, d, Type, text, &loadOut), 1); }
    std::string Val(const std::string& key) const { return d.Ini().GetValue(SEC_VALS, key, "<absent>"); }
    bool Has(const std::string& key) const { return d.Ini().HasKey(SEC_VALS, key); }
    size_t ValCount() const
    {
        const SimpleIni::KeyMap* m = d.Ini().Section(SEC_VALS);
        return m ? m->size() : 0;
    }
    std::string Log() const { return root.Read("/NandFlash/tmp/qvsm.log.ini"); }

    TempRoot root;
    FakeClock clock;
    ScriptPort port;
    D d{Type};
    std::string loadOut;
};

#endif
