#include "workpool.h"

#include <QThread>

#include <algorithm>
#include <limits>
#include <new>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tideplot {

WorkPool::WorkPool(int threads) : most_(std::max(threads, 1)) {}

WorkPool::~WorkPool()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        waiting_ = {};
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

WorkPool& WorkPool::Program()
{
    static WorkPool pool(std::max(2, QThread::idealThreadCount()));
    return pool;
}

void WorkPool::add(std::function<void()> job, int priority)
{
    // An idle thread takes it, or a new one (which may throw: nothing is added then), or the
    // first thread done with its job.
    const bool idle = idle_ > static_cast<int>(waiting_.size());
    if (!idle && static_cast<int>(threads_.size()) < most_)
        threads_.emplace_back([this] { run(); });
    waiting_.push(Waiting{priority, order_++, std::move(job)});
    if (idle)
        wake_.notify_one();
}

// Once the pool is ending (the program leaving while a cancelled job still runs and asks for
// more), nothing is added: its threads are being joined, and a thread started now would be
// left running.
void WorkPool::start(std::function<void()> job, int priority)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!ending_)
        add(std::move(job), priority);
}

bool WorkPool::tryStart(std::function<void()> job)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (ending_ || (idle_ <= static_cast<int>(waiting_.size()) && static_cast<int>(threads_.size()) >= most_))
        return false;
    try {
        add(std::move(job), std::numeric_limits<int>::max());
    } catch (const std::exception&) {
        return false; // no thread could be started
    }
    return true;
}

namespace {

// The pool's threads give way to the threads that started their work (the windows', a
// replay's) when every processor is busy: the windows answer and a replay that writes a page
// keeps its pace while the analysis beside it takes what the replay leaves. Alone, they run
// as fast as any thread.
void GiveWay()
{
#if defined(__linux__)
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5); // a failure changes nothing
#endif
}

} // namespace

void WorkPool::run()
{
    GiveWay();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
        --idle_;
        if (ending_)
            return;
        std::function<void()> job = std::move(const_cast<Waiting&>(waiting_.top()).Job);
        waiting_.pop();
        lock.unlock();
        job();
        job = nullptr; // what it holds goes before the thread waits again
        lock.lock();
    }
}

namespace {

// What the caller and the threads that help it share. A thread that begins late finds no
// part left and touches nothing of the caller's: the parts are claimed here, and the caller
// waits for every part claimed.
struct Parts {
    const std::function<void(int)>* Part = nullptr;
    const std::function<bool()>* Stop = nullptr;
    int Count = 0;
    std::atomic<int> Next{0};
    std::atomic<bool> Failed{false};
    std::mutex Mutex;
    std::condition_variable AllEnded;
    int Ended = 0; // parts claimed and ended, or passed over
    std::vector<std::exception_ptr> Failures;

    void work()
    {
        for (;;) {
            const int k = Next.fetch_add(1);
            if (k >= Count)
                return;
            std::exception_ptr failure;
            if (!Failed.load() && !(*Stop && (*Stop)())) {
                try {
                    (*Part)(k);
                } catch (...) {
                    failure = std::current_exception();
                    Failed = true;
                }
            }
            const std::lock_guard<std::mutex> lock(Mutex);
            Failures[static_cast<std::size_t>(k)] = failure;
            if (++Ended == Count)
                AllEnded.notify_all();
        }
    }
};

} // namespace

void RunParts(int parts, int mostAtOnce, const std::function<void(int)>& part, const std::function<bool()>& stop)
{
    if (parts <= 0)
        return;
    auto shared = std::make_shared<Parts>();
    shared->Part = &part;
    shared->Stop = &stop;
    shared->Count = parts;
    shared->Failures.resize(static_cast<std::size_t>(parts));
    const int helpers = std::min(std::max(mostAtOnce, 1), parts) - 1;
    for (int i = 0; i < helpers; ++i) {
        bool started = false;
        try {
            started = WorkPool::Program().tryStart([shared] { shared->work(); });
        } catch (const std::bad_alloc&) {
        }
        if (!started)
            break; // no thread free (or no memory for a helper): the rest are run here
    }
    shared->work();
    std::unique_lock<std::mutex> lock(shared->Mutex);
    shared->AllEnded.wait(lock, [&] { return shared->Ended == parts; });
    for (const std::exception_ptr& failure : shared->Failures)
        if (failure)
            std::rethrow_exception(failure);
}

std::string FailureText(const std::exception_ptr& failure)
{
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "the work failed";
}

} // namespace tideplot
