#include "tests/kit/Kit.h"

#include <cstring>

tagSMItem MakeItem(int sid, int type, int addr, int variant, ISerBase* port)
{
    tagSMItem it;
    std::memset(&it, 0, sizeof it);
    it.SID = sid;
    it.Type = type;
    it.Addr = addr;
    it.Variant = variant;
    it.Ser = port;
    it.Port = 1;
    it.DetailKey = 2;
    return it;
}
