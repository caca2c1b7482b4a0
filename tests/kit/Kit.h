// Everything a driver test needs.
#ifndef QVSM_TESTS_KIT_H
#define QVSM_TESTS_KIT_H

#include <gtest/gtest.h>

#include "tests/kit/Env.h"
#include "tests/kit/ScriptPort.h"
#include "tests/kit/TestDb.h"

// A device record with the usual defaults.
tagSMItem MakeItem(int sid, int type, int addr = 1, int variant = 0, ISerBase* port = nullptr);

#endif
