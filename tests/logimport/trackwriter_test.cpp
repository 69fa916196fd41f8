// The writer of imported track lines: the column header on new and empty track files, and
// all or nothing, also when the process dies in the middle.
#include "logimport_support.h"

#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace tideplot {
namespace {

using namespace tideplot::testing;

using TrackWriterTest = ImportTest;

constexpr const char* kLines = "57.7,11.9,20080621,143005\r\n57.8,11.9,20080621,143010\r\n";

// The column header goes where the replay would otherwise take the first point for it; a
// last line without its line end gets one; the file keeps its permissions.
TEST_F(TrackWriterTest, HeaderOnlyWhereTheReplayWouldTakeAPointForIt)
{
    const std::string header(kTrackHeaderLine);
    struct Case {
        const char* what;
        const char* before; // nullptr: no track file
        std::string lines;
        std::string after;
    };
    const Case cases[] = {
        {"new file", nullptr, kLines, header + kLines},
        {"empty file", "", kLines, header + kLines},
        {"file with lines", "1,2,20080101,000000\r\n", kLines, std::string("1,2,20080101,000000\r\n") + kLines},
        {"file with a header", "Latitude,Longitude,Date,Time\r\n", kLines, header + kLines},
        {"only # lines", "# boat Elsa\r\n#\r\n", kLines, "# boat Elsa\r\n#\r\n" + header + kLines},
        {"# lines with CR and LF ends", "# a\r# b\n", kLines, "# a\r# b\n" + header + kLines},
        {"# line without a line end", "# a", kLines, "# a\r\n" + header + kLines},
        {"a blank line is a header to the replay", "\r\n", kLines, std::string("\r\n") + kLines},
        {"last line without a line end", "1,2,20080101,000000", kLines,
         std::string("1,2,20080101,000000\r\n") + kLines},
        {"nothing to add to a new file", nullptr, "", header},
        {"nothing to add to an empty file", "", "", ""},
        {"nothing to add to a file without a line end", "1,2", "", "1,2"},
    };
    for (const Case& c : cases) {
        const std::string path = Path("track.txt");
        fs::remove(path);
        if (c.before) {
            std::ofstream(path, std::ios::binary) << c.before;
            ::chmod(path.c_str(), 0604);
        }
        const TrackAppendResult result = AppendTrackLines(path, c.lines);
        EXPECT_EQ(ReadBytes(path), c.after) << c.what;
        EXPECT_EQ(result.Created, c.before == nullptr) << c.what;
        struct stat status {};
        EXPECT_TRUE(::stat(path.c_str(), &status) == 0 && (!c.before || (status.st_mode & 0777) == 0604))
            << c.what << ": the track file keeps its permissions";
    }
}

// The real program, in a child process whose file size limit stops it in the middle of
// writing: with the default action of SIGXFSZ it dies there, as a killed process would;
// with the signal ignored its write fails, as on a full disk, and it says so. The track
// file keeps every byte, and a new log's track file is not created.
TEST_F(TrackWriterTest, ImportKilledWhileWritingChangesNothing)
{
    const std::string program = TIDEPLOT_BINARY_DIR "/src/app/tideplot";
    ASSERT_TRUE(fs::exists(program)) << "build the tideplot program first";
    const std::string log = WriteLog(GpsbabelLog(400)); // 400 lines, 14,800 bytes
    const std::string trackFile = TrackFilePath(log);
    std::string before = "Latitude,Longitude,Date,Time\r\n";
    while (before.size() < 100000)
        before += "57.700000,11.900000,20080620,120000\r\n";

    // Runs the import with files limited to `limit` bytes; true when the child was killed by
    // SIGXFSZ (or, with the signal ignored, exited with status 1).
    const auto importLimited = [&](rlim_t limit, bool ignoreSignal = false) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, ignoreSignal ? SIG_IGN : SIG_DFL);
            const rlimit fileSize{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::execl(program.c_str(), program.c_str(), "import-kml", log.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (ignoreSignal)
            return WIFEXITED(status) && WEXITSTATUS(status) == 1;
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ;
    };

    const std::vector<rlim_t> limits = {
        0, 1, 4096, before.size(), before.size() + 1, before.size() + 7000, before.size() + 14799};
    for (const rlim_t limit : limits) {
        for (const bool ignoreSignal : {false, true}) {
            std::ofstream(trackFile, std::ios::binary | std::ios::trunc) << before;
            EXPECT_TRUE(importLimited(limit, ignoreSignal))
                << "limit " << limit << ", SIGXFSZ ignored " << ignoreSignal;
            EXPECT_TRUE(ReadBytes(trackFile) == before) << "limit " << limit << ", SIGXFSZ ignored " << ignoreSignal;
        }
    }
    fs::remove(trackFile);
    EXPECT_TRUE(importLimited(100));
    EXPECT_FALSE(fs::exists(trackFile));

    std::ofstream(trackFile, std::ios::binary | std::ios::trunc) << before;
    EXPECT_FALSE(importLimited(before.size() + 14800 + 100));
    EXPECT_EQ(ReadBytes(trackFile).size(), before.size() + 14800);
}

} // namespace
} // namespace tideplot
