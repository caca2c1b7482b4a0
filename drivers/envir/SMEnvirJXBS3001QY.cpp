#include "drivers/envir/SMEnvirJXBS3001QY.h"

namespace {
// Registers 0-1 (the housing's humidity and temperature) are read but not kept; 10-11 hold
// the pressure in Pa as a 32-bit value, high word first, shown in kPa.
const EnvirPoint kPoints[] = {
    {"press", "大气压力", 1000, EV_ANALOG, 80000, 110000, "kPa", 2, EV_U32},
};
const EnvirRead kReads[] = {{3, 0, 2}, {3, 10, 2}};
}  // namespace

CSMEnvirJXBS3001QY::CSMEnvirJXBS3001QY()
    : CSMEnvirBase(1303, {"QV-EnvirJXBS3001QY", "大气压力", "tbEnvirJXBS3001QY", kReads[0]}, kPoints, 1)
{
}

int CSMEnvirJXBS3001QY::Requests(int, EnvirRead* out) const
{
    return CopyReads(kReads, 2, out);
}
