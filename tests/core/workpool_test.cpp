// The program's pool of threads: parts run on free threads or on the caller, never more at
// once than asked, and never wait for a thread another job holds (a job of the pool that runs
// parts of its own, with every thread busy, ends all the same); whatever a part or a job
// throws, the memory running out among it, comes back to whoever asked, as an exception or
// as a message, and ends nothing.
#include "core/error.h"
#include "core/workpool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

namespace tideplot {
namespace {

using namespace std::chrono_literals;

template <class R> bool WaitFor(const JobOutcome<R>& job)
{
    for (int turns = 0; !job.ended() && turns < 2000; ++turns)
        std::this_thread::sleep_for(5ms);
    return job.ended();
}

TEST(WorkPool, PartsRunOnFreeThreadsOrTheCallerAtMostAsManyAtOnceAsAsked)
{
    for (const int most : {1, 2, 3, 8}) {
        std::atomic<int> running{0}, mostRunning{0};
        const std::vector<int> results = RunPartsFor<int>(12, most, [&](int k) {
            const int now = ++running;
            for (int seen = mostRunning; now > seen && !mostRunning.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(2ms);
            --running;
            return k * k;
        });
        for (int k = 0; k < 12; ++k)
            EXPECT_EQ(results[static_cast<std::size_t>(k)], k * k) << most;
        EXPECT_LE(mostRunning.load(), most);
    }
    // Every thread of the pool busy with a job that runs parts of its own: the parts run on
    // the jobs' own threads, and every job ends.
    const int jobs = WorkPool::Program().threads() + 2;
    std::vector<std::shared_ptr<JobOutcome<int>>> outcomes;
    for (int j = 0; j < jobs; ++j)
        outcomes.push_back(StartJob<int>(
            [](const std::atomic<bool>&) {
                const std::vector<int> parts = RunPartsFor<int>(6, 4, [](int k) {
                    std::this_thread::sleep_for(3ms);
                    return k;
                });
                return parts.back();
            },
            kAnalysisPriority));
    for (const auto& outcome : outcomes) {
        ASSERT_TRUE(WaitFor(*outcome));
        EXPECT_EQ(outcome->Result.value_or(-1), 5);
    }
}

// The program may leave while a cancelled job still runs and asks the pool for more work (the
// web page's analysis when the replay failed): the pool being destroyed takes none, starts no
// thread, and the job's parts run on its own thread.
TEST(WorkPool, AJobAskingForMoreWhileThePoolEndsIsTurnedAway)
{
    std::atomic<int> partsRun{0};
    std::atomic<bool> running{false};
    {
        WorkPool pool(2);
        pool.start([&] {
            running = true;
            std::this_thread::sleep_for(20ms); // the pool's destructor has begun by now
            for (int i = 0; i < 50; ++i) {
                pool.start([] {});
                if (!pool.tryStart([] {}))
                    ++partsRun; // run here, as RunParts does
            }
        });
        while (!running.load())
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(partsRun.load(), 50);
}

TEST(WorkPool, WhatAPartOrAJobThrowsComesBackAndEndsNothing)
{
    // Parts in order, one at a time: the first failure comes back once the parts begun have
    // ended, and no part is begun after it.
    std::vector<int> begun;
    try {
        RunParts(4, 1, [&](int k) {
            begun.push_back(k);
            if (k == 1)
                throw std::bad_alloc();
        });
        ADD_FAILURE() << "the failure was lost";
    } catch (const std::bad_alloc&) {
    }
    EXPECT_EQ(begun, (std::vector<int>{0, 1}));
    EXPECT_THROW(RunParts(6, 3, [](int k) { k == 4 ? throw Error("part 4") : void(); }), Error);

    struct Case {
        std::function<int(const std::atomic<bool>&)> Work;
        std::optional<int> Result;
        std::string Failure;
    };
    const std::vector<Case> cases{
        {[](const std::atomic<bool>&) { return 7; }, 7, ""},
        {[](const std::atomic<bool>&) -> int { throw std::bad_alloc(); }, std::nullopt, "out of memory"},
        {[](const std::atomic<bool>&) -> int { throw Error("a.txt, line 3: no fix"); }, std::nullopt,
         "a.txt, line 3: no fix"},
        {[](const std::atomic<bool>&) -> int { throw 42; }, std::nullopt, "the work failed"},
    };
    for (const Case& c : cases) {
        const auto outcome = StartJob<int>(c.Work, kBoxPriority);
        ASSERT_TRUE(WaitFor(*outcome));
        EXPECT_EQ(outcome->Result, c.Result);
        EXPECT_EQ(outcome->Failure, c.Failure);
    }
    // A job let go of once cancelled is not waited for; it sees its flag and stops.
    std::atomic<bool> stopped{false};
    {
        auto outcome = StartJob<int>(
            [&stopped](const std::atomic<bool>& cancel) {
                while (!cancel.load())
                    std::this_thread::sleep_for(1ms);
                stopped = true;
                return 0;
            },
            kTimelinePriority);
        outcome->Cancel = true;
    }
    for (int turns = 0; !stopped && turns < 2000; ++turns)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(stopped.load());
}

} // namespace
} // namespace tideplot
