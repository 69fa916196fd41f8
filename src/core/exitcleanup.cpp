#include "exitcleanup.h"

#include <mutex>
#include <set>

#include <unistd.h>

namespace tideplot {

namespace {

struct Registry {
    std::recursive_mutex lock;
    std::multiset<std::string> paths;
};

// Never destroyed: a signal during the program's own exit still finds it whole.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

} // namespace

RemovedOnForcedExit::RemovedOnForcedExit(std::string path) : path_(std::move(path))
{
    Registry& registry = TheRegistry();
    const std::lock_guard<std::recursive_mutex> guard(registry.lock);
    registry.paths.insert(path_);
}

RemovedOnForcedExit::~RemovedOnForcedExit()
{
    Registry& registry = TheRegistry();
    const std::lock_guard<std::recursive_mutex> guard(registry.lock);
    const auto at = registry.paths.find(path_);
    if (at != registry.paths.end())
        registry.paths.erase(at);
}

ForcedExitHeld::ForcedExitHeld()
{
    TheRegistry().lock.lock();
}

ForcedExitHeld::~ForcedExitHeld()
{
    TheRegistry().lock.unlock();
}

void ForcedExit(int status, const std::string& message)
{
    Registry& registry = TheRegistry();
    registry.lock.lock(); // kept: nothing registers or renames any more
    for (const std::string& path : registry.paths)
        ::unlink(path.c_str());
    // Straight to the descriptor: stderr's own lock may be held by a thread that waits.
    for (std::size_t done = 0; done < message.size();) {
        const ssize_t n = ::write(STDERR_FILENO, message.data() + done, message.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::_exit(status);
}

} // namespace tideplot
