#include "generic/SMNormal.h"

CSMNormal::CSMNormal(int type) : CSMDefBase(type, "QVYD-base", "QVYD-base") {}

CSMNormal::~CSMNormal() = default;
