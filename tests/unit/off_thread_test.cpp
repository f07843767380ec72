#include "platform/off_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace tarvesk {
namespace {

// Waits for a flag another thread sets; the limit only keeps a broken build
// from hanging the suite.
bool WaitFor(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!flag) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(OffThread, WithoutApplicationRunsOnTheCallingThread) {
    if (QCoreApplication::instance()) GTEST_SKIP() << "an application exists in this process";
    const auto caller = std::this_thread::get_id();
    const auto ran = RunOffThread([] { return std::this_thread::get_id(); });
    EXPECT_EQ(ran, caller);
}

class OffThreadTest : public ::testing::Test {
protected:
    void SetUp() override { m_app = std::make_unique<QCoreApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "off_thread_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_app;
};

TEST_F(OffThreadTest, CallingThreadHandlesEventsWhileTheWorkRuns) {
    std::atomic<bool> timerFired{false};
    QTimer::singleShot(10ms, [&] { timerFired = true; });
    const auto caller = std::this_thread::get_id();

    // The work can only see the flag if the calling thread keeps running its
    // timers while it waits.
    const auto [sawTimer, worker] = RunOffThread([&] {
        return std::make_pair(WaitFor(timerFired), std::this_thread::get_id());
    });
    EXPECT_TRUE(sawTimer);
    EXPECT_NE(worker, caller);
}

TEST_F(OffThreadTest, ResultsOfAnyKindComeBack) {
    EXPECT_EQ(RunOffThread([] { return std::string("page"); }), "page");
    std::unique_ptr<int> owned = RunOffThread([] { return std::make_unique<int>(42); });
    ASSERT_TRUE(owned);
    EXPECT_EQ(*owned, 42);
    int touched = 0;
    RunOffThread([&] { touched = 1; });
    EXPECT_EQ(touched, 1);
}

TEST_F(OffThreadTest, ExceptionIsRethrownOnTheCallingThread) {
    EXPECT_THROW(RunOffThread([]() -> int { throw std::runtime_error("lost"); }),
                 std::runtime_error);
    // The loop is still usable afterwards.
    EXPECT_EQ(RunOffThread([] { return 3; }), 3);
}

// A click handled during the wait may start its own off-thread call; each
// call must get its own result whichever work ends first.
TEST_F(OffThreadTest, NestedCallsEachGetTheirOwnResult) {
    std::atomic<bool> innerStarted{false};
    std::atomic<bool> innerReturned{false};
    int innerResult = 0;
    QTimer::singleShot(10ms, [&] {
        innerResult = RunOffThread([&] {
            innerStarted = true;
            std::this_thread::sleep_for(200ms);  // let the outer work end first
            return 7;
        });
        innerReturned = true;
    });
    const int outerResult = RunOffThread([&] { return WaitFor(innerStarted) ? 1 : -1; });
    EXPECT_EQ(outerResult, 1);
    // The outer call returns only after the handler that nested in it.
    EXPECT_TRUE(innerReturned);
    EXPECT_EQ(innerResult, 7);
}

// Quitting stops every event loop at once, the waiting one too; the call must
// still return the work's own result, and the kept thread must serve the next
// call of a new application.
TEST_F(OffThreadTest, QuitWhileTheWorkRunsStillWaitsForIt) {
    QTimer::singleShot(10ms, [] { QCoreApplication::exit(0); });
    const int result = RunOffThread([] {
        std::this_thread::sleep_for(200ms);
        return 5;
    });
    EXPECT_EQ(result, 5);
    for (int call = 0; call < 20; ++call) EXPECT_EQ(RunOffThread([call] { return call; }), call);
}

}  // namespace
}  // namespace tarvesk
