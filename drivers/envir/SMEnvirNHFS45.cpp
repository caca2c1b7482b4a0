#include "drivers/envir/SMEnvirNHFS45.h"

CSMEnvirNHFS45::CSMEnvirNHFS45()
    : CSMEnvirBase(1283, {"QV-NHFS45", "NHFS45风速传感器", "tbEnvirNHFS45", {4, 6, 1}, {3, 0, 1}}, &kEnvirFan, 1)
{
}
