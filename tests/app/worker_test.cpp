#include "app/worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/app_fixtures.h"
#include "support/peer_tools.h"

namespace brevik::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct WorkerFixture : ::testing::Test {
    test::TempDir dir;
    std::shared_ptr<test::RecordingTaskEvents> events =
        std::make_shared<test::RecordingTaskEvents>();
    std::unique_ptr<AppState> state;

    void SetUp() override {
        AppEnvironment env;
        env.localDataFolder = (dir.path() / "data").string();
        state = std::make_unique<AppState>(env);
        state->events = events;
    }
    // A base whose reads are slowed down, so that a run can be caught half-way.
    std::int32_t slowBase(std::chrono::microseconds delay) {
        const std::string path = (dir.path() / "slow.pst").string();
        test::writeSample(path, 40, 5, 2);
        RecoveredBase* b = state->addBase(dir.path().string(), "slow.pst");
        b->attachSource(test::slowSource(test::readWholeFile(path), delay));
        return static_cast<std::int32_t>(b->baseIndex);
    }
};

TEST_F(WorkerFixture, RecoveryRunsReportsAndCanRunAgain) {
    const std::string path = (dir.path() / "sample.pst").string();
    test::writeSample(path, 20, 3, 2);
    RecoveredBase* b = state->addBase(dir.path().string(), "sample.pst");
    for (int round = 0; round < 2; ++round) {
        startTask(*state, TaskCode::Recover, 0);
        EXPECT_EQ(state->busy, 1);
        ASSERT_TRUE(events->waitForEnd(20s));
        ASSERT_TRUE(state->doneEvent.wait(5s));
        EXPECT_TRUE(events->results.back());
        EXPECT_EQ(b->resultOk, 1);
        EXPECT_GE(b->itemCount, 25u);
        EXPECT_GT(state->progress.highestReached(76), 1500);
        b->openMode = 1;  // as the window marks it; the next run starts from a reset
        events->results.clear();
    }
}

TEST_F(WorkerFixture, StopEndsARecoveryPromptlyAndAMissingFileFails) {
    const std::int32_t index = slowBase(2ms);
    startTask(*state, TaskCode::Recover, index);
    std::this_thread::sleep_for(100ms);
    ASSERT_FALSE(state->doneEvent.isSet()) << "the run ended before it could be stopped";
    const auto asked = std::chrono::steady_clock::now();
    stopTask(*state);
    ASSERT_TRUE(events->waitForEnd(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    EXPECT_FALSE(events->results.back());
    EXPECT_EQ(state->base(index)->resultOk, 0);

    events->results.clear();
    state->addBase(dir.path().string(), "absent.pst");
    startTask(*state, TaskCode::Recover, 1);
    ASSERT_TRUE(events->waitForEnd(5s));
    EXPECT_FALSE(events->results.back());
    EXPECT_NE(state->base(1)->errorText, "");
}

TEST_F(WorkerFixture, ClosingWhileATaskRunsReportsNothingAndWaits) {
    const std::int32_t index = slowBase(2ms);
    startTask(*state, TaskCode::Recover, index);
    std::this_thread::sleep_for(50ms);
    const auto closing = std::chrono::steady_clock::now();
    state.reset();  // the destructor stops the worker and waits for it
    EXPECT_LT(std::chrono::steady_clock::now() - closing, kShutdownWait);
    EXPECT_TRUE(events->results.empty());
}

}  // namespace
}  // namespace brevik::app
