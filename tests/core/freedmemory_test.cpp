// Memory freed on a worker thread goes back to the system when asked: a timeline counted
// anew or an analysis done must not stay in the program's resident memory.
#include "core/freedmemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tideplot {
namespace {

[[maybe_unused]] long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

TEST(FreedMemory, GoesBackToTheSystemFromAWorkersPool)
{
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the GNU C library's own allocator only";
#else
    if (ResidentKiB() < 0)
        GTEST_SKIP() << "no /proc/self/status";
    constexpr std::size_t kBlocks = 2000, kBlockBytes = 64 * 1024; // 128 MB in blocks below the mmap threshold
    std::vector<std::unique_ptr<char[]>> blocks(kBlocks);
    std::thread worker([&blocks] {
        for (auto& block : blocks) {
            block = std::make_unique<char[]>(kBlockBytes);
            for (std::size_t i = 0; i < kBlockBytes; i += 4096)
                block[i] = 1;
        }
    });
    worker.join();
    // Every other block freed: the pool's free memory lies between blocks in use, where
    // freeing alone never gives it back.
    const long filled = ResidentKiB();
    for (std::size_t i = 0; i < kBlocks; i += 2)
        blocks[i].reset();
    ReturnFreedMemory();
    EXPECT_LT(ResidentKiB(), filled - 48 * 1024) << "of " << filled << " KiB";
#endif
}

} // namespace
} // namespace tideplot
