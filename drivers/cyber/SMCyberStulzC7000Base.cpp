#include "drivers/cyber/SMCyberStulzC7000Base.h"

CSMCyberStulzC7000Base::CSMCyberStulzC7000Base(int type) : CSMBase(type) {}

CSMCyberStulzC7000Base::~CSMCyberStulzC7000Base() = default;
