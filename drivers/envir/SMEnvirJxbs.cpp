#include "drivers/envir/SMEnvirJxbs.h"

namespace {
// Registers 0-8 one word each; light (9-10) and pressure (11-12) are 32-bit, high word first.
const EnvirPoint kPoints[] = {
    {"Hum", "湿度", 10, EV_ANALOG, 200, 800, "", 0},
    {"Tem", "温度", 10, EV_ANALOG, 50, 350, "", 1, EV_S16},
    {"Hum2", "湿度2", 10, EV_ANALOG, 200, 800, "", 2},
    {"Tem2", "温度2", 10, EV_ANALOG, 50, 350, "", 3, EV_S16},
    {"Pm25", "PM2.5", 1, EV_ANALOG, 0, 75, "ug/m3", 4},
    {"Pm10", "PM10", 1, EV_ANALOG, 0, 150, "ug/m3", 5},
    {"Ppm", "气体浓度", 1, EV_ANALOG, 0, 1000, "ppm", 6},
    {"Ppm2", "气体浓度2", 1, EV_ANALOG, 0, 1000, "ppm", 7},
    {"Noist", "噪声", 10, EV_ANALOG, 0, 700, "dB", 8},        // tenths of dB
    {"Lm", "光照度", 1, EV_NOCHK, 0, 0, "Lux", 9, EV_U32},
    {"Pa", "大气压", 1000, EV_ANALOG, 80000, 110000, "kPa", 11, EV_U32},  // Pa, shown in kPa
};
}  // namespace

CSMEnvirJxbs::CSMEnvirJxbs() : CSMEnvirBase(1287, {"DS-JXBS3001", "Jxbs", "tbEnvirJxbs", {3, 0, 13}}, kPoints, 11)
{
}
