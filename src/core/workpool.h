#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <string>
#include <thread>
#include <vector>

// The program's one pool of threads for long work, sized by the processors: the build of
// the replay's timeline, the race's box, the analysis (and its boats at once) and the chart's bands
// all take their threads from it, so that two processors never run a dozen threads at Start.
//
// The rule for a job on it: it gets copies or data no other thread writes, returns its own
// result (it writes into no memory another thread reads while it runs), looks at a cancel flag
// of its own, and hands any error back as a value (StartJob); whoever cancels it lets go of it
// and never waits for it. Qt paints a large area of a window on the threads of its own global
// pool and waits for them, so this pool is not that one: work that held those threads for
// seconds would hold the windows too. Its threads are the standard library's, so that
// ThreadSanitizer sees every hand-over between them.
namespace tideplot {

class WorkPool {
public:
    // A pool of at most `threads` threads (one at least), started as jobs come.
    explicit WorkPool(int threads);
    // Jobs not yet begun are dropped; those running are waited for (a cancelled job stops at
    // its next look at its flag).
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // The program's pool: as many threads as processors, two at least.
    static WorkPool& Program();

    // Runs `job` on a thread of the pool, as soon as one is free: of the jobs waiting, those
    // of the highest priority first, in the order they came. `job` must not throw.
    void start(std::function<void()> job, int priority = 0);
    // Runs `job` only when a thread can take it now (one idle, or one more may be started);
    // false, running nothing, when every thread is busy.
    bool tryStart(std::function<void()> job);
    int threads() const { return most_; }

private:
    struct Waiting {
        int Priority = 0;
        std::uint64_t Order = 0;
        std::function<void()> Job;
        bool operator<(const Waiting& other) const
        {
            return Priority != other.Priority ? Priority < other.Priority : Order > other.Order;
        }
    };
    void run();
    void add(std::function<void()> job, int priority); // with mutex_ held

    const int most_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::priority_queue<Waiting> waiting_;
    std::vector<std::thread> threads_;
    int idle_ = 0;
    std::uint64_t order_ = 0;
    bool ending_ = false;
};

// The priorities of the pool's jobs: of jobs waiting for a thread, the build of the replay's
// timeline (Play waits for it) goes first, then the race's box (the chart waits for it), then
// the analysis.
inline constexpr int kTimelinePriority = 2;
inline constexpr int kBoxPriority = 1;
inline constexpr int kAnalysisPriority = 0;

// What an exception caught from a job says, for the window that asked: what() of a
// std::exception ("out of memory" for std::bad_alloc), or that the work failed.
std::string FailureText(const std::exception_ptr& failure);

// A job's outcome, shared by the job and the thread that started it: the job writes Result or
// Failure, then Ended; the starter reads them once ended() is true, and sets Cancel to stop it.
template <class R> struct JobOutcome {
    std::atomic<bool> Cancel{false};
    std::atomic<bool> Ended{false};
    std::optional<R> Result; // the job's until ended()
    std::string Failure;     // the same: why it failed, when it did
    bool ended() const { return Ended.load(std::memory_order_acquire); }
};

// Starts `work(cancel)`, which returns an R, on the program's pool. Whatever it throws comes
// back as the outcome's Failure. The job holds the outcome too, so the starter may let go of
// it at any time (setting Cancel first): nothing waits for the job.
template <class R, class F> std::shared_ptr<JobOutcome<R>> StartJob(F work, int priority)
{
    auto outcome = std::make_shared<JobOutcome<R>>();
    WorkPool::Program().start(
        [outcome, work = std::move(work)]() mutable {
            try {
                outcome->Result.emplace(work(static_cast<const std::atomic<bool>&>(outcome->Cancel)));
            } catch (...) {
                outcome->Failure = FailureText(std::current_exception());
            }
            outcome->Ended.store(true, std::memory_order_release);
        },
        priority);
    return outcome;
}

// Runs part(0) to part(parts - 1), at most `mostAtOnce` at a time: on this thread and on as
// many of the program's pool's threads as are free now (tryStart). A part no free thread took
// is run here, so that a job of the pool that runs parts never waits for a thread another job
// holds: with every thread busy the parts run one after the other on the caller. Returns when
// every part has ended; then throws the exception of the first part (in part order) that
// threw one. Parts are begun in order; none is begun once a part has thrown or `stop()` (when
// given, called on any of the threads) is true.
void RunParts(int parts, int mostAtOnce, const std::function<void(int)>& part, const std::function<bool()>& stop = {});

// RunParts whose parts each return their own result, in part order.
template <class R, class F>
std::vector<R> RunPartsFor(int parts, int mostAtOnce, F&& part, const std::function<bool()>& stop = {})
{
    std::vector<R> results(static_cast<std::size_t>(parts > 0 ? parts : 0));
    RunParts(
        parts, mostAtOnce, [&](int k) { results[static_cast<std::size_t>(k)] = part(k); }, stop);
    return results;
}

} // namespace tideplot
