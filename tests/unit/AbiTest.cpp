// The virtual slot positions of the host interfaces are a binary contract. Every override
// below records the slot it is declared at; calling through the raw vtable at index i must
// land in the override that records i.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/SMBase.h"

namespace {

std::vector<int> g_hits;

// An override of slot n that records n and returns r.
#define REC(n, decl, r) \
    decl override       \
    {                   \
        g_hits.push_back(n); \
        return r;       \
    }

class RecSer : public ISerBase {
public:
    virtual ~RecSer() = default;
    REC(0, int Reserved0(), 0) REC(1, int Reserved1(), 0) REC(2, int Reserved2(), 0)
    REC(3, unsigned int GetMode(), 0) REC(4, int Reserved4(), 0) REC(5, int Open(int), 0)
    REC(6, int Close(), 0) REC(7, int IsOpen(), 0) REC(8, int GetHandle(), 0)
    REC(9, int Reserved9(), 0) REC(10, int Reserved10(), 0) REC(11, int Reserved11(), 0)
    REC(12, int SetTimeout(unsigned int, unsigned int), 0) REC(13, int Purge(), 0)
    REC(14, int Read(unsigned char*, int, int), 0) REC(15, int Write(const unsigned char*, int), 0)
    REC(16, int WriteStr(const char*), 0)
};

class RecDb : public IDbBase {
public:
    virtual ~RecDb() = default;
    REC(0, int Reserved0(), 0) REC(1, int Reserved1(), 0) REC(2, int Reserved2(), 0)
    REC(3, int Reserved3(), 0) REC(4, int Reserved4(), 0) REC(5, int Reserved5(), 0)
    REC(6, int TableExists(const char*), 0) REC(7, int Exec(const char*), 0)
    REC(8, int QueryInt(const char*), 0) REC(9, const char* QueryStr(const char*), "")
    REC(10, long long LastInsertId(), 0) REC(11, int Reserved11(), 0) REC(12, int Reserved12(), 0)
    REC(13, int Reserved13(), 0) REC(14, int Reserved14(), 0) REC(15, int Reserved15(), 0)
    REC(16, int Query(const char*, int), 0) REC(17, bool Eof(int), true) REC(18, int Next(int), 0)
    REC(19, int FreeQuery(int), 0) REC(20, int Reserved20(), 0) REC(21, int Reserved21(), 0)
    REC(22, int Reserved22(), 0) REC(23, int Reserved23(), 0) REC(24, int Reserved24(), 0)
    REC(25, int Reserved25(), 0) REC(26, int GetInt(int, const char*), 0) REC(27, int Reserved27(), 0)
    REC(28, int Reserved28(), 0) REC(29, int Reserved29(), 0) REC(30, const char* GetStr(int, const char*), "")
};

class RecMgr : public ISMManager {
public:
    virtual ~RecMgr() = default;
    REC(0, IDbBase* GetDb(int), nullptr) REC(2, ISMBase* GetSM(int), nullptr)
    void SetDb(IDbBase*, int) override { g_hits.push_back(1); }
};

// Every ISMBase slot and the three that CSMBase appends after its destructors.
class RecDriver : public CSMBase {
public:
    RecDriver() : CSMBase(1) {}
    REC(0, int GetType(), 0) REC(1, const char* GetNote(), "") REC(2, int GetMask(), 0)
    void SetManager(ISMManager*) override { g_hits.push_back(3); }
    REC(4, int RegDb(IDbBase*, int), 0)
    void SetDb(IDbBase*, int) override { g_hits.push_back(5); }
    REC(6, int ChkDb(tagSMItem*), 0) REC(7, int DataSize(), 0) REC(8, void* Data(), nullptr)
    REC(9, int DataVal(int), 0) REC(10, int DataGet(ISerBase*, int, int), 0)
    REC(11, int DataUpd(int, int*, int*, int, IDbBase*), 0) REC(12, int DoFunc(ISerBase*, int, int, void*, int), 0)
    REC(13, int DoFunc(int, void*, int), 0) REC(14, int DoItem(tagSMItem*, int), 0) REC(15, int VarEval(char*), 0)
    REC(18, int NeedDef(IDbBase*, int), 0) REC(19, int NeedDefAlm(IDbBase*, int), 0)
    REC(20, int ChkDbDatInit(const char*, tagSMItem*), 0)
};

template <class T>
void ExpectSlots(T* obj, std::vector<int> slots)
{
    for (int slot : slots) {
        g_hits.clear();
        using Fn = intptr_t (*)(T*);
        void** vt = *reinterpret_cast<void***>(obj);
        reinterpret_cast<Fn>(vt[slot])(obj);
        EXPECT_EQ(g_hits, std::vector<int>{slot}) << "slot " << slot;
    }
}

std::vector<int> Range(int first, int last)
{
    std::vector<int> v;
    for (int i = first; i <= last; ++i) v.push_back(i);
    return v;
}

TEST(Abi, PortDatabaseAndManagerSlots)
{
    RecSer s;
    ExpectSlots(&s, Range(0, 16));
    RecDb d;
    ExpectSlots(&d, Range(0, 30));
    RecMgr m;
    ExpectSlots(&m, Range(0, 2));
}

TEST(Abi, DriverSlotsIncludingTheBaseAppendedOnes)
{
    RecDriver d;
    std::vector<int> slots = Range(0, 15);
    slots.insert(slots.end(), {18, 19, 20});
    ExpectSlots(&d, slots);
}

TEST(Abi, DestructorOccupiesSlots16And17)
{
    // Slot 17 is the deleting destructor through which the manager destroys drivers.
    static bool destroyed = false;
    struct Probe : CSMBase {
        Probe() : CSMBase(2) {}
        ~Probe() override { destroyed = true; }
    };
    auto* p = new Probe();
    using Fn = void (*)(Probe*);
    void** vt = *reinterpret_cast<void***>(p);
    reinterpret_cast<Fn>(vt[17])(p);
    EXPECT_TRUE(destroyed);
}

}  // namespace
