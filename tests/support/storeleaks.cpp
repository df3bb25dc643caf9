// Built into every test program that uses the address book: after each test, no object of the
// address book may still be alive. One that is keeps the store file open (an entry attached
// twice did exactly that once), and no single test would notice.
#include <gtest/gtest.h>

#include <string>

#include "standins/wab32/wabstandin.h"

namespace {

// What the listener saw, for the environment to report: gtest owns (and deletes) each of them.
ULONG g_live = 0;
std::string g_leaks;

class CStoreLeakListener : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        // Only a rise is told: a leak stays counted in every later test.
        ULONG live = WabStandinLiveObjects();
        if (live > g_live)
            g_leaks += std::string(g_leaks.empty() ? "" : ", ") + test.test_suite_name() + "." + test.name() + " (" +
                       std::to_string(live - g_live) + ")";
        g_live = live;
    }
};

class CStoreLeakReport : public ::testing::Environment {
    void TearDown() override
    {
        if (!g_leaks.empty())
            ADD_FAILURE() << "objects of the address book outlived these tests: " << g_leaks;
    }
};

const bool g_registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CStoreLeakListener);
    ::testing::AddGlobalTestEnvironment(new CStoreLeakReport);
    return true;
}();

}  // namespace
