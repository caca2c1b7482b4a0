#include <gtest/gtest.h>

#include <set>
#include <typeinfo>

#include "base/SMBase.h"
#include "drivers/elec/ElecModels.h"
#include "drivers/envir/EnvirModels.h"
#include "generic/SMGeneric.h"
#include "manager/SMManager.h"
#include "tests/kit/Kit.h"
#include "tests/unit/TypeTableData.h"

namespace {

// A manager per test; the entry points own the instance, so free it around each test.
class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override { CSMManager::FreeInstance(); mgr = CSMManager::GetInstance(); }
    void TearDown() override { CSMManager::FreeInstance(); }
    CSMManager* mgr = nullptr;
    TempRoot root;
};

TEST_F(ManagerTest, EveryListedCodeResolvesToItsClassCodeNoteAndMask)
{
    std::set<int> seen;
    for (int i = 0; i < kTypeRowCount; ++i) {
        const TypeRow& r = kTypeRows[i];
        SCOPED_TRACE(r.code);
        EXPECT_TRUE(seen.insert(r.code).second) << "code listed twice";
        ISMBase* d = mgr->GetSM(r.code);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(typeid(*static_cast<CSMBase*>(d)), *r.cls);
        EXPECT_EQ(d->GetType(), r.ownCode);
        EXPECT_STREQ(d->GetNote(), r.note);
        EXPECT_EQ(d->GetMask(), r.mask);
        EXPECT_EQ(mgr->GetSM(r.code), d) << "second request must return the same object";
    }
    EXPECT_EQ(mgr->Count(), kTypeRowCount);
}

TEST_F(ManagerTest, UnlistedCodesFallBackToTheKindsSharedDriver)
{
    for (int i = 0; i < kFallbackRowCount; ++i) {
        const FallbackRow& f = kFallbackRows[i];
        SCOPED_TRACE(f.kind);
        // The highest code of the kind is listed nowhere.
        ISMBase* d = mgr->GetSM(f.kind + 0xFF);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(typeid(*static_cast<CSMBase*>(d)), *f.cls);
        EXPECT_EQ(d->GetType(), f.ownCode);
        EXPECT_STREQ(d->GetNote(), f.note);
        EXPECT_EQ(d->GetMask(), f.mask);
        EXPECT_EQ(mgr->GetSM(f.kind + 0xFE), d);
        EXPECT_EQ(mgr->GetSM(f.ownCode), d);
    }
    EXPECT_EQ(mgr->Count(), kFallbackRowCount) << "one shared driver per kind, no temporaries kept";
}

TEST_F(ManagerTest, KindsWithoutFallbackAndUnknownKindsGiveNull)
{
    testing::internal::CaptureStdout();
    EXPECT_NE(mgr->GetSM(1024), nullptr);
    EXPECT_EQ(mgr->GetSM(1033), nullptr);
    EXPECT_EQ(mgr->GetSM(0x0A05), nullptr);
    EXPECT_EQ(mgr->GetSM(0x0005), nullptr);
    EXPECT_EQ(mgr->GetSM(0x1800), nullptr);
    EXPECT_EQ(mgr->GetSM(-1), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("CSMManager::GetSM NULL: type=1033\r\n"), std::string::npos);
    EXPECT_NE(out.find("CSMManager::GetSM NULL: type=2565\r\n"), std::string::npos);
    EXPECT_NE(out.find("CSMManager::GetSM NULL: type=-1\r\n"), std::string::npos);
    EXPECT_EQ(out.find("type=1024"), std::string::npos);
    EXPECT_EQ(mgr->Count(), 1);
}

TEST_F(ManagerTest, SnmpTestKindPrintsFirstAndOnlyServes3840)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(mgr->GetSM(3841), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "CSMManager::GetSM SMKIND_F 3841\r\nCSMManager::GetSM NULL: type=3841\r\n");

    testing::internal::CaptureStdout();
    ISMBase* demo = mgr->GetSM(3840);
    EXPECT_NE(demo, nullptr);
    EXPECT_EQ(mgr->GetSM(3840), demo);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "CSMManager::GetSM SMKIND_F 3840\r\n") << "a registered driver is found before the kind";
}

TEST_F(ManagerTest, GenericCodesNeedTheirDefinitionFile)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(mgr->GetSM(0x1234), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "CSMManager::GetSM NULL: type=4660\r\n");

    root.Write("/NandFlash/SM/SM4660.def", "[comm]\n");
    ISMBase* d = mgr->GetSM(0x1234);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(dynamic_cast<CSMModbus*>(static_cast<CSMBase*>(d)), nullptr);
    EXPECT_EQ(d->GetType(), 4660);
    EXPECT_EQ(mgr->GetSM(4660), d);

    const struct { int code; const std::type_info* cls; const char* note; } kinds[] = {
        {0x1001, &typeid(CSMSnmpPub), "QVMB-base"},  {0x1101, &typeid(CSMSnmpPub), "QVMB-base"},
        {0x1301, &typeid(CSMModbus), "QVMB-base"},   {0x1401, &typeid(CSMYdt1363), "QVYD-base"},
        {0x1501, &typeid(CSMYdt1363), "QVYD-base"},  {0x1601, &typeid(CSMNormal), "QVYD-base"},
        {0x1701, &typeid(CSMNormal), "QVYD-base"},
    };
    for (const auto& k : kinds) {
        char path[64];
        SMDefPath(path, sizeof path, k.code);
        root.Write(path, "");
        ISMBase* g = mgr->GetSM(k.code);
        ASSERT_NE(g, nullptr) << k.code;
        EXPECT_EQ(typeid(*static_cast<CSMBase*>(g)), *k.cls) << k.code;
        EXPECT_EQ(g->GetType(), k.code);
        EXPECT_STREQ(g->GetNote(), k.note);
        EXPECT_EQ(g->DataSize(), 0) << "the empty definition was loaded: no points";
    }
}

TEST_F(ManagerTest, OneDatabaseSlotWhateverTheIndex)
{
    TestDb db;
    EXPECT_EQ(mgr->GetDb(0), nullptr);
    mgr->SetDb(&db, 3);
    EXPECT_EQ(mgr->GetDb(5), &db);
    mgr->SetDb(nullptr, 0);
    EXPECT_EQ(mgr->GetDb(3), nullptr);
}

TEST_F(ManagerTest, RegisterNewKeepsTheFirstOfACodeAndHandsOverTheManager)
{
    EXPECT_EQ(mgr->RegisterNew(nullptr), -1);
    auto* a = new CSMEnvir();
    EXPECT_EQ(mgr->RegisterNew(a), 0);
    EXPECT_EQ(a->Manager(), mgr);
    auto* b = new CSMEnvir();  // destroyed by the manager (ASan reports a leak otherwise)
    EXPECT_EQ(mgr->RegisterNew(b), 0);
    EXPECT_EQ(mgr->RegisterNew(new CSMElec()), 1);
    EXPECT_EQ(mgr->Count(), 2);
}

}  // namespace
