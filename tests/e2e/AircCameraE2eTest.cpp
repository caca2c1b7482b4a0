// qvsm-host with libqvsm.so polling an infrared air-conditioner controller, a precision air
// conditioner over YD/T 1363 and serial cameras, all simulated by qvsm-sim on
// pseudo-terminals; controls and the camera set-up go over the same lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/TestUtil.h"

using e2e::Gbk;

namespace {

namespace fs = std::filesystem;

// Controller words are sent low byte first: register 2 = Ht << 8 | Ct, 3 = Lt, 4 = Dl,
// 5 = Hdl << 8, 6 = Ldl, 7 = ExceptV << 8 | StatusV; unit 2 from register 12; 24 = Di2 << 8 |
// Di1, 25 = Do2 << 8 | Do1.
const char kSim[] =
    "[sim]\ntick = 600000\n"
    "[bus.ac]\nkind = airc\npty = %DIR%/ttyAC\n"
    "[bus.crac]\nkind = ydt\npty = %DIR%/ttyCRAC\n"
    "[bus.cam]\nkind = camera\npty = %DIR%/ttyCAM\n"
    "[slave.ac]\nbus = ac\naddr = 1\n"
    "hold.0 = 2345\nhold.1 = 2610\nhold.2 = 6678\nhold.3 = 18\nhold.4 = 150\nhold.5 = 2560\nhold.6 = 50\n"
    "hold.7 = 8193\nhold.12 = 2400\nhold.13 = 2700\nhold.19 = 0\nhold.24 = 1\nhold.25 = 0\nhold.64 = 90\n"
    "[slave.crac]\nbus = crac\naddr = 1\n"
    "hold.0 = 220\nhold.1 = 235\nhold.2 = 450\nhold.3 = 300\nhold.4 = 120\nhold.5 = 1\n"
    "ydt.42 = {0}{1}{2}{3}{4}\n"
    "ydt.43 = {5:b} 00 01 00 01 00 00\n"
    "ydt.44 = 00 00 00 0A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
    "ydt.47 = 14 05 14 05 1E 0A 1A 12 46 0A\n"
    "ydt.43.rtn = %RTN%\n"
    "[slave.cam]\nbus = cam\naddr = 1\ncamera.file = " SAMPLE_JPEG "\n%CAM%";

class AircCameraEndToEnd : public e2e::Harness {
protected:
    void Start(const std::string& cam = "", const std::string& rtn = "00")
    {
        fs::create_directories(images);
        std::string cfg = e2e::Replace(kSim, "%DIR%", dir.Path());
        StartSim(e2e::Replace(e2e::Replace(cfg, "%CAM%", cam), "%RTN%", rtn), true);
        site = Site(Port(1, dir / "ttyAC") + Port(2, dir / "ttyCRAC") + Port(3, dir / "ttyCAM"),
                    Device(701, 1792, 1, 1, "空调") + Device(801, 2048, 2, 1, "精密空调") +
                        Device(1201, 3072, 3, 1, "相机"),
                    "HistoryEvery = 0\n");
    }
    std::vector<std::string> Pictures()
    {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(images)) out.push_back(e.path().filename().string());
        return out;
    }

    std::string site;
    const std::string images = dir / "root/NandFlash/www/wwwpub/images";
};

TEST_F(AircCameraEndToEnd, RowsSummariesAndTheStoredPicture)
{
    Start();
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out << e2e::ReadFile(dir / "sim.log");
    EXPECT_NE(std::string::npos, out.find("cycle 1: 3 ok, 0 failed")) << out;

    EXPECT_EQ(Gbk("空调(正常),送风口温度:23.45℃,空调状态:1(制冷),异常状态:32电流异常"), Brief(701));
    EXPECT_EQ("2345 2610 22 26 18 150 10 50 1 32 2400 2700 1 0",
              Str("select Sfkwd||' '||Hfkwd||' '||Ct||' '||Ht||' '||Lt||' '||Dl||' '||Hdl||' '||Ldl||' '||StatusV||' '||"
                  "ExceptV||' '||Sfkwd2||' '||Hfkwd2||' '||Di1||' '||Do2 from tbAirc where SID=701"));

    EXPECT_EQ(0, Brief(801).rfind(Gbk("当前温度:23.5°C, 当前湿度:45.0%"), 0)) << Brief(801);
    EXPECT_EQ("220 235 450 300 120 1 10 20 10",
              Str("select voltage||' '||itemperature||' '||ihumidity||' '||otemperature||' '||ptemperature||' '||"
                  "statedevice||' '||warndw||' '||paramzl||' '||paramlh from tbCyberMate where SID=801"));

    ASSERT_EQ(1u, Pictures().size());
    const std::string name = Pictures()[0];
    EXPECT_EQ(19u, name.size()) << name;
    EXPECT_EQ(".JPEG", name.substr(14));
    EXPECT_EQ(e2e::ReadFile(SAMPLE_JPEG), e2e::ReadFile(images + "/" + name));
    EXPECT_EQ(Gbk("文件名：") + name, Brief(1201));
    EXPECT_EQ(name, Str("select FileName from tbCamera where SID=1201"));
    EXPECT_EQ(0, Int("select State from tbCamera where SID=1201"));
}

TEST_F(AircCameraEndToEnd, ControlsAndCameraSetUpOnTheWire)
{
    Start();
    std::string out;
    // Set-point block 19 1A 02 (function 11), output 2 on, a register without control.
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "701", "--cmd", "42", "--int", "1645058"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 42) = 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "701", "--cmd", "65", "--int", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 65) = 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "701", "--cmd", "10", "--int", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 10) = 1")) << out;
    ASSERT_EQ(0, Host({"ctl", "-c", site, "--sid", "1201", "--cmd", "0"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("DoFunc(cmd 0) = 1")) << out << e2e::ReadFile(dir / "sim.log");
    std::string log = e2e::ReadFile(dir / "sim.log");
    for (const char* frame : {"ac < 01 0b 00 2a 00 03 19 1a 02", "ac < 01 08 00 41 00 01 01",
                              "cam < 56 00 36 01 03", "cam < 56 00 31 05 04 01 00 19 11"})
        EXPECT_NE(std::string::npos, log.find(frame)) << frame << "\n" << log;

    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_EQ("25 26 2 1", Str("select Ct||' '||Ht||' '||StatusV||' '||Do2 from tbAirc where SID=701"));
    EXPECT_EQ(Gbk("空调(正常),送风口温度:23.45℃,空调状态:2(制热),异常状态:32电流异常"), Brief(701));
}

TEST_F(AircCameraEndToEnd, TruncatedPictureAndFailedCommandFailTheirPolls)
{
    Start("camera.cut = 1000\n", "04");
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 1: 1 ok, 2 failed (801 1201)")) << out;
    EXPECT_TRUE(Pictures().empty()) << "no file, not even a partial one";
    EXPECT_EQ(2, Int("select State from tbCamera where SID=1201"));
    EXPECT_EQ(Gbk("文件名："), Brief(1201));
    EXPECT_EQ(2, Int("select State from tbCyberMate where SID=801"));
    EXPECT_EQ(0, Int("select voltage from tbCyberMate where SID=801"));
}

// The 3GE unit and a controller that answers all 60 registers (more than the 100 bytes read).
TEST_F(AircCameraEndToEnd, ThreeGeCameraAndAnOverlongControllerReply)
{
    fs::create_directories(images);
    StartSim(e2e::Replace("[sim]\ntick = 600000\n[bus.ac]\nkind = airc\npty = %DIR%/ttyAC\n"
                          "[bus.cam]\nkind = camera\npty = %DIR%/ttyCAM\n"
                          "[slave.ac]\nbus = ac\naddr = 2\nairc.words = 60\nhold.0 = 2345\n"
                          "[slave.cam]\nbus = cam\naddr = 1\ncamera.model = 3ge\ncamera.file = " SAMPLE_JPEG "\n",
                          "%DIR%", dir.Path()));
    site = Site(Port(1, dir / "ttyAC") + Port(3, dir / "ttyCAM"),
                Device(702, 1792, 1, 2, "空调") + Device(1202, 3073, 3, 1, "相机3GE"));
    std::string out;
    ASSERT_EQ(0, Host({"-c", site, "--cycles", "1"}, out)) << out;
    EXPECT_NE(std::string::npos, out.find("cycle 1: 1 ok, 1 failed (702)")) << out;
    ASSERT_EQ(1u, Pictures().size());
    const std::string name = Pictures()[0];
    EXPECT_EQ("K", name.substr(0, 1));
    EXPECT_EQ(".jpeg", name.substr(15));
    EXPECT_EQ(e2e::ReadFile(SAMPLE_JPEG), e2e::ReadFile(images + "/" + name));
    EXPECT_EQ(Gbk("文件名：") + name, Brief(1202));
    EXPECT_EQ(Gbk("空调(故障),送风口温度:0.00℃,空调状态:0(关机),异常状态:0(正常)"), Brief(702));
}

}  // namespace
