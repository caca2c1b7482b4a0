#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/SMLog.h"
#include "tests/kit/Kit.h"

namespace {

const char kLog[] = "/NandFlash/tmp/qvsm.log.ini";
const char kBak[] = "/NandFlash/tmp/qvsm.log.ini.bak";

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { SMLogResetCounter(); }
    void TearDown() override { SMLogResetCounter(); }
    TempRoot root;
};

TEST_F(LogTest, LinesAreNumberedAndTimeStamped)
{
    EXPECT_EQ(trace_sm_log("RtLog", "[CSMAlmGsm::endSendSms] Read Data Error\r\n"), 1);
    EXPECT_EQ(trace_sm_log("RtLog", "v=%d %s\n", 42, "x"), 1);
    std::vector<std::string> l = Lines(root.Read(kLog));
    ASSERT_EQ(l.size(), 2u);
    std::regex line0(R"(^0=\[RtLog\]\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\] \[CSMAlmGsm::endSendSms\] Read Data Error\r$)");
    EXPECT_TRUE(std::regex_match(l[0], line0)) << l[0];
    EXPECT_TRUE(std::regex_match(l[1], std::regex(R"(^1=\[RtLog\]\[[-0-9: ]+\] v=42 x$)"))) << l[1];
}

TEST_F(LogTest, LostLinesAreNotCounted)
{
    EXPECT_EQ(trace_sm_log(nullptr, "lost\n"), -1);
    EXPECT_FALSE(root.Exists(kLog));
    EXPECT_EQ(trace_log("RtLog", "[A%02d] SMEnvir: t=%d  h=%d \r\n", 1, 2, 3), 1);
    EXPECT_EQ(trace_log(nullptr), 1);
    EXPECT_FALSE(root.Exists(kLog)) << "trace_log records nothing";
    // A directory where the file should be makes fopen fail.
    std::filesystem::remove_all(root.Dir() + "/NandFlash/tmp");
    std::filesystem::create_directories(root.Dir() + kLog);
    EXPECT_EQ(trace_sm_log("RtLog", "lost\n"), 1);
    std::filesystem::remove_all(root.Dir() + kLog);
    trace_sm_log("RtLog", "kept\n");
    EXPECT_EQ(root.Read(kLog).substr(0, 2), "0=");
}

TEST_F(LogTest, The2049thLineStartsANewFileAndKeepsTheOldAsBackup)
{
    root.Write(kBak, "older backup\n");
    for (int i = 0; i < 2048; ++i) trace_sm_log("RtLog", "line %d\n", i);
    std::vector<std::string> l = Lines(root.Read(kLog));
    ASSERT_EQ(l.size(), 2048u);
    EXPECT_EQ(l.back().substr(0, 5), "2047=");
    EXPECT_EQ(root.Read(kBak), "older backup\n");

    trace_sm_log("RtLog", "after\n");
    std::vector<std::string> now = Lines(root.Read(kLog));
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].substr(0, 2), "0=");
    EXPECT_NE(now[0].find("after"), std::string::npos);
    std::vector<std::string> bak = Lines(root.Read(kBak));
    ASSERT_EQ(bak.size(), 2048u);
    EXPECT_NE(bak.back().find("line 2047"), std::string::npos);
}

TEST_F(LogTest, LongMessagesAreCutNotOverrun)
{
    std::string big(5000, 'x');
    EXPECT_EQ(trace_sm_log("RtLog", "%s", big.c_str()), 1);
    std::string text = root.Read(kLog);
    EXPECT_EQ(text.size(), 1025u) << "the composed line is cut to its buffer";
    EXPECT_EQ(text.find_first_not_of('x', text.find('x')), std::string::npos);
}

TEST_F(LogTest, EntryPointsClearTheLogAndShareOneManager)
{
    EXPECT_EQ(DllType(), 0);
    EXPECT_STREQ(DllNote(), "libqvsm.so for Supervison Module");
    EXPECT_EQ(DllVersion(), 1);

    root.Write(kLog, "0=[RtLog][2020-01-01 00:00:00] from last run\n");
    ISMManager* m = GetSMManager(7);
    ASSERT_NE(m, nullptr);
    EXPECT_FALSE(root.Exists(kLog)) << "the previous log is deleted at start";
    trace_sm_log("RtLog", "during\n");
    EXPECT_EQ(GetSMManager(0), m);
    EXPECT_FALSE(root.Exists(kLog)) << "every start deletes the log again";
    ASSERT_NE(m->GetSM(1280), nullptr);

    EXPECT_EQ(FreeSMManager(), 0);
    ASSERT_TRUE(root.Exists(kLog));
    EXPECT_EQ(root.Read(kLog), "") << "the empty document is saved over the log";
}

}  // namespace
