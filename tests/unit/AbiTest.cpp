// The virtual slot positions of the host interfaces are a binary contract. Every override
// below records the slot it is declared at; calling through the raw vtable at index i must
// land in the override that records i.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/SMBase.h"

namespace {

std::vector<int> g_hits;

template <class T>
void CallSlot(T* obj, int slot)
{
    using Fn = intptr_t (*)(T*);
    void** vt = *reinterpret_cast<void***>(obj);
    reinterpret_cast<Fn>(vt[slot])(obj);
}

class RecSer : public ISerBase {
public:
    virtual ~RecSer() = default;
    int Reserved0() override { return g_hits.push_back(0), 0; }
    int Reserved1() override { return g_hits.push_back(1), 0; }
    int Reserved2() override { return g_hits.push_back(2), 0; }
    unsigned int GetMode() override { return g_hits.push_back(3), 0; }
    int Reserved4() override { return g_hits.push_back(4), 0; }
    int Open(int) override { return g_hits.push_back(5), 0; }
    int Close() override { return g_hits.push_back(6), 0; }
    int IsOpen() override { return g_hits.push_back(7), 0; }
    int GetHandle() override { return g_hits.push_back(8), 0; }
    int Reserved9() override { return g_hits.push_back(9), 0; }
    int Reserved10() override { return g_hits.push_back(10), 0; }
    int Reserved11() override { return g_hits.push_back(11), 0; }
    int SetTimeout(unsigned int, unsigned int) override { return g_hits.push_back(12), 0; }
    int Purge() override { return g_hits.push_back(13), 0; }
    int Read(unsigned char*, int, int) override { return g_hits.push_back(14), 0; }
    int Write(const unsigned char*, int) override { return g_hits.push_back(15), 0; }
    int WriteStr(const char*) override { return g_hits.push_back(16), 0; }
};

class RecDb : public IDbBase {
public:
    virtual ~RecDb() = default;
    int Reserved0() override { return g_hits.push_back(0), 0; }
    int Reserved1() override { return g_hits.push_back(1), 0; }
    int Reserved2() override { return g_hits.push_back(2), 0; }
    int Reserved3() override { return g_hits.push_back(3), 0; }
    int Reserved4() override { return g_hits.push_back(4), 0; }
    int Reserved5() override { return g_hits.push_back(5), 0; }
    int TableExists(const char*) override { return g_hits.push_back(6), 0; }
    int Exec(const char*) override { return g_hits.push_back(7), 0; }
    int QueryInt(const char*) override { return g_hits.push_back(8), 0; }
    const char* QueryStr(const char*) override { return g_hits.push_back(9), ""; }
    long long LastInsertId() override { return g_hits.push_back(10), 0; }
    int Reserved11() override { return g_hits.push_back(11), 0; }
    int Reserved12() override { return g_hits.push_back(12), 0; }
    int Reserved13() override { return g_hits.push_back(13), 0; }
    int Reserved14() override { return g_hits.push_back(14), 0; }
    int Reserved15() override { return g_hits.push_back(15), 0; }
    int Query(const char*, int) override { return g_hits.push_back(16), 0; }
    bool Eof(int) override { return g_hits.push_back(17), true; }
    int Next(int) override { return g_hits.push_back(18), 0; }
    int FreeQuery(int) override { return g_hits.push_back(19), 0; }
    int Reserved20() override { return g_hits.push_back(20), 0; }
    int Reserved21() override { return g_hits.push_back(21), 0; }
    int Reserved22() override { return g_hits.push_back(22), 0; }
    int Reserved23() override { return g_hits.push_back(23), 0; }
    int Reserved24() override { return g_hits.push_back(24), 0; }
    int Reserved25() override { return g_hits.push_back(25), 0; }
    int GetInt(int, const char*) override { return g_hits.push_back(26), 0; }
    int Reserved27() override { return g_hits.push_back(27), 0; }
    int Reserved28() override { return g_hits.push_back(28), 0; }
    int Reserved29() override { return g_hits.push_back(29), 0; }
    const char* GetStr(int, const char*) override { return g_hits.push_back(30), ""; }
};

class RecMgr : public ISMManager {
public:
    virtual ~RecMgr() = default;
    IDbBase* GetDb(int) override { return g_hits.push_back(0), nullptr; }
    void SetDb(IDbBase*, int) override { g_hits.push_back(1); }
    ISMBase* GetSM(int) override { return g_hits.push_back(2), nullptr; }
};

// Every ISMBase slot and the three that CSMBase appends after its destructors.
class RecDriver : public CSMBase {
public:
    RecDriver() : CSMBase(1) {}
    int GetType() override { return g_hits.push_back(0), 0; }
    const char* GetNote() override { return g_hits.push_back(1), ""; }
    int GetMask() override { return g_hits.push_back(2), 0; }
    void SetManager(ISMManager*) override { g_hits.push_back(3); }
    int RegDb(IDbBase*, int) override { return g_hits.push_back(4), 0; }
    void SetDb(IDbBase*, int) override { g_hits.push_back(5); }
    int ChkDb(tagSMItem*) override { return g_hits.push_back(6), 0; }
    int DataSize() override { return g_hits.push_back(7), 0; }
    void* Data() override { return g_hits.push_back(8), nullptr; }
    int DataVal(int) override { return g_hits.push_back(9), 0; }
    int DataGet(ISerBase*, int, int) override { return g_hits.push_back(10), 0; }
    int DataUpd(int, int*, int*, int, IDbBase*) override { return g_hits.push_back(11), 0; }
    int DoFunc(ISerBase*, int, int, void*, int) override { return g_hits.push_back(12), 0; }
    int DoFunc(int, void*, int) override { return g_hits.push_back(13), 0; }
    int DoItem(tagSMItem*, int) override { return g_hits.push_back(14), 0; }
    int VarEval(char*) override { return g_hits.push_back(15), 0; }
    int NeedDef(IDbBase*, int) override { return g_hits.push_back(18), 0; }
    int NeedDefAlm(IDbBase*, int) override { return g_hits.push_back(19), 0; }
    int ChkDbDatInit(const char*, tagSMItem*) override { return g_hits.push_back(20), 0; }
};

template <class T>
void ExpectSlots(T* obj, std::initializer_list<int> slots)
{
    for (int slot : slots) {
        g_hits.clear();
        CallSlot(obj, slot);
        ASSERT_EQ(g_hits.size(), 1u) << "slot " << slot;
        EXPECT_EQ(g_hits[0], slot);
    }
}

TEST(Abi, PortSlots)
{
    RecSer s;
    ExpectSlots(&s, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    ISerBase* p = &s;
    g_hits.clear();
    p->GetMode(), p->Open(0), p->Close(), p->IsOpen(), p->GetHandle(), p->SetTimeout(10, 1000), p->Purge();
    unsigned char b[4];
    p->Read(b, 4, 0), p->Write(b, 4), p->WriteStr("Q1\r");
    EXPECT_EQ(g_hits, (std::vector<int>{3, 5, 6, 7, 8, 12, 13, 14, 15, 16}));
}

TEST(Abi, DatabaseSlots)
{
    RecDb d;
    std::vector<int> all;
    for (int i = 0; i <= 30; ++i) all.push_back(i);
    for (int i : all) ExpectSlots(&d, {i});
    IDbBase* p = &d;
    g_hits.clear();
    p->TableExists("t"), p->Exec("x"), p->QueryInt("x"), p->QueryStr("x"), p->LastInsertId(), p->Query("x", -1);
    p->Eof(1), p->Next(1), p->FreeQuery(1), p->GetInt(1, "c"), p->GetStr(1, "c");
    EXPECT_EQ(g_hits, (std::vector<int>{6, 7, 8, 9, 10, 16, 17, 18, 19, 26, 30}));
}

TEST(Abi, ManagerSlots)
{
    RecMgr m;
    ExpectSlots(&m, {0, 1, 2});
}

TEST(Abi, DriverSlotsIncludingTheBaseAppendedOnes)
{
    RecDriver d;
    ExpectSlots(&d, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 19, 20});
    // Through the interface, the two DoFunc overloads keep their order.
    ISMBase* p = &d;
    g_hits.clear();
    p->DoFunc(nullptr, 1, 2, nullptr, 0);
    p->DoFunc(2, nullptr, 0);
    EXPECT_EQ(g_hits, (std::vector<int>{12, 13}));
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
