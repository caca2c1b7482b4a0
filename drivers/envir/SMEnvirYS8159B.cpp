#include "drivers/envir/SMEnvirYS8159B.h"

CSMEnvirYS8159B::CSMEnvirYS8159B()
    : CSMEnvirBase(1285, {"QV-YS8159B", "YS8159B风速传感器", "tbEnvirYS8159B", {3, 0, 1}, {4, 0, 1}}, &kEnvirFan, 1)
{
}
