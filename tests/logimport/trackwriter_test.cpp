// The track file's column header, and all or nothing, also when the process dies in the
// middle.
#include "logimportfixture.h"

namespace tideplot {
namespace {

using namespace tideplot::testing;
namespace fs = std::filesystem;

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
        {"# lines with CR and LF ends", "# a\r# b\n", kLines, "# a\r# b\n" + header + kLines},
        {"# line without a line end", "# a", kLines, "# a\r\n" + header + kLines},
        {"a blank line is a header to the replay", "\r\n", kLines, std::string("\r\n") + kLines},
        {"last line without a line end", "1,2,20080101,000000", kLines,
         std::string("1,2,20080101,000000\r\n") + kLines},
        {"nothing to add to a new file: none is made", nullptr, "", ""},
        {"nothing to add to an empty file", "", "", ""},
        {"nothing to add to a file without a line end", "1,2", "", "1,2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Path("track.txt");
        fs::remove(path);
        if (c.before) {
            std::ofstream(path, std::ios::binary) << c.before;
            ::chmod(path.c_str(), 0604);
        }
        const TrackAppendResult result = AppendTrackLines(path, c.lines);
        EXPECT_EQ(Slurp(path), c.after);
        EXPECT_EQ(fs::exists(path), c.before || !c.lines.empty());
        EXPECT_EQ(result.Created, c.before == nullptr);
        struct stat status {};
        EXPECT_TRUE(!c.before || (::stat(path.c_str(), &status) == 0 && (status.st_mode & 0777) == 0604))
            << "the track file keeps its permissions";
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

    for (const rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{4096}, before.size(), before.size() + 1,
                               before.size() + 7000, before.size() + 14799}) {
        for (const bool ignoreSignal : {false, true}) {
            SCOPED_TRACE("limit " + std::to_string(limit) + (ignoreSignal ? ", SIGXFSZ ignored" : ""));
            std::ofstream(trackFile, std::ios::binary | std::ios::trunc) << before;
            EXPECT_TRUE(importLimited(limit, ignoreSignal));
            EXPECT_TRUE(Slurp(trackFile) == before);
        }
    }
    fs::remove(trackFile);
    EXPECT_TRUE(importLimited(100));
    EXPECT_FALSE(fs::exists(trackFile));

    std::ofstream(trackFile, std::ios::binary | std::ios::trunc) << before;
    EXPECT_FALSE(importLimited(before.size() + 14800 + 100));
    EXPECT_EQ(Slurp(trackFile).size(), before.size() + 14800);
}

} // namespace
} // namespace tideplot
