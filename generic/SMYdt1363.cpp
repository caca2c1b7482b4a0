#include "generic/SMYdt1363.h"

CSMYdt1363::CSMYdt1363(int type) : CSMDefBase(type, "QVYD-base", "QVYD-base") {}

CSMYdt1363::~CSMYdt1363() = default;
