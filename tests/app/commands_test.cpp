// What every verb does alike, as a script or a user at a terminal meets it: a file named as
// a race, track or course file that is no file (a FIFO, a device) is refused at once, a
// signal ends the verb at once leaving no temporary file, and output that cannot reach its
// standard output is a failure.
#include "support/process.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tideplot {
namespace {

using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
using testing::TempDir;

const std::string kTideplot = TIDEPLOT_EXE;
const std::string kFinish = "--finish 57.60,11.5,57.62,11.5";

// A small race whose boats cross kFinish, with its course file.
void WriteRace(const TempDir& dir)
{
    dir.write("a.txt", {"lat,lon,date,time", "57.61,11.499,20080621,120000", "57.61,11.499,20080621,130000",
                        "57.61,11.503,20080621,130020"});
    dir.write("race.TP1", {"a.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.writeBytes("race.TP1.course", "finish 57.60 11.5 57.62 11.5\n");
    dir.writeBytes("log.gpx", "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg>"
                              "<trkpt lat=\"57.61\" lon=\"11.49\"><time>2008-06-21T12:00:00Z</time></trkpt>"
                              "</trkseg></trk></gpx>\n");
}

// The verbs' settings and the link's file in the test's folder, not the user's.
std::string Environment(const TempDir& dir)
{
    std::string env = "env";
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        env += " " + std::string(name) + "=" + Quote(dir.path().string());
    return env + " QT_QPA_PLATFORM=offscreen ";
}

std::vector<std::string> TemporaryFiles(const TempDir& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind(".tideplot-", 0) == 0)
            found.push_back(entry.path().filename().string());
    return found;
}

// A FIFO or a device named as a race file, a track file (also the one an import writes) or
// a course file, a FIFO named as an output: every verb says which file it is and stops,
// without opening it (a FIFO would wait for a writer or a reader for ever, /dev/urandom
// never ends).
TEST(Commands, FilesThatAreNoFilesAreRefusedAtOnce)
{
    TempDir dir;
    WriteRace(dir);
    ASSERT_EQ(::mkfifo(dir.file("fifo.TP1").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("log.gpx.txt").c_str(), 0600), 0);
    dir.write("fifotrack.TP1",
              {"a.txt , 2008-06-21 12:00:00 , 1 , 0 , ,", "fifo.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("device.TP1", {"/dev/urandom , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    std::filesystem::copy_file(dir.file("race.TP1"), dir.file("fifocourse.TP1"));
    ASSERT_EQ(::mkfifo(dir.file("fifocourse.TP1.course").c_str(), 0600), 0);
    std::filesystem::copy_file(dir.file("race.TP1"), dir.file("random.TP1"));
    std::filesystem::create_symlink("/dev/urandom", dir.file("random.TP1.course"));
    std::filesystem::create_symlink(dir.file("fifo.txt"), dir.file("fifolink"));

    const std::string race = "the race file \"" + dir.file("fifo.TP1") + "\" is a FIFO (a named pipe), not a file";
    const std::string track =
        "fifotrack.TP1, line 2: the track file \"" + dir.file("fifo.txt") + "\" is a FIFO (a named pipe), not a file";
    const std::pair<std::string, std::string> cases[] = {
        {"replay " + Quote(dir.file("fifo.TP1")), race},
        {"results " + Quote(dir.file("fifo.TP1")) + " " + kFinish, race},
        {"link " + Quote(dir.file("fifo.TP1")) + " --no-open", race},
        {"replay " + Quote(dir.file("fifotrack.TP1")), track},
        {"results " + Quote(dir.file("fifotrack.TP1")) + " " + kFinish, track},
        {"link " + Quote(dir.file("fifotrack.TP1")) + " --no-open", track},
        {"replay " + Quote(dir.file("device.TP1")), "the track file \"/dev/urandom\" is a device, not a file"},
        {"results " + Quote(dir.file("fifocourse.TP1")),
         "the course file \"" + dir.file("fifocourse.TP1.course") + "\" is a FIFO (a named pipe), not a file"},
        {"results " + Quote(dir.file("random.TP1")),
         "the course file \"" + dir.file("random.TP1.course") + "\" is a device, not a file"},
        {"import " + Quote(dir.file("log.gpx")),
         "cannot write the track file \"" + dir.file("log.gpx.txt") + "\": it is a FIFO (a named pipe), not a file"},
        // An output a FIFO would wait for its reader: refused as well, before the work.
        {"analyse " + Quote(dir.file("race.TP1")) + " --json " + Quote(dir.file("fifo.txt")),
         "cannot write the JSON file \"" + dir.file("fifo.txt") + "\": it is a FIFO (a named pipe), not a file"},
        {"results " + Quote(dir.file("race.TP1")) + " --csv " + Quote(dir.file("fifo.txt")),
         "cannot write the results file \"" + dir.file("fifo.txt") + "\": it is a FIFO (a named pipe), not a file"},
        {"replay " + Quote(dir.file("race.TP1")) + " --kml " + Quote(dir.file("fifo.txt")),
         "cannot write the KML file \"" + dir.file("fifo.txt") + "\": it is a FIFO (a named pipe), not a file"},
        {"replay " + Quote(dir.file("race.TP1")) + " --screenshot " + Quote(dir.file("fifolink")),
         "cannot write the chart picture \"" + dir.file("fifolink") + "\": it is a FIFO (a named pipe), not a file"},
        {"replay " + Quote(dir.file("race.TP1")) + " --html " + Quote(dir.file("fifo.txt")),
         "cannot write the web page \"" + dir.file("fifo.txt") + "\": it is a FIFO (a named pipe), not a file"},
    };
    for (const auto& [args, message] : cases) {
        const auto started = std::chrono::steady_clock::now();
        const auto run = RunCommand(Environment(dir) + "timeout 30 " + kTideplot + " " + args);
        EXPECT_EQ(run.status, 1) << args << "\n" << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << args << "\n" << run.output;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << args;
    }
}

// A pipe whose reader reads nothing and which is full: a write into it waits.
class FullPipe {
public:
    FullPipe()
    {
        if (::pipe2(ends_, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        ::fcntl(ends_[1], F_SETPIPE_SZ, 4096);
        const std::string filler(512, 'x');
        while (::write(ends_[1], filler.data(), filler.size()) > 0) {
        }
    }
    ~FullPipe()
    {
        for (const int end : ends_)
            if (end >= 0)
                ::close(end);
    }
    FullPipe(const FullPipe&) = delete;
    FullPipe& operator=(const FullPipe&) = delete;
    int writeEnd() const { return ends_[1]; }

private:
    int ends_[2] = {-1, -1};
};

// A verb started in the background, its output in a file; `fd3`, when given, is its file
// descriptor 3 (/dev/fd/3).
class Running {
public:
    Running(const TempDir& dir, std::vector<std::string> args, int fd3 = -1) : output_(dir.file("output"))
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.push_back(std::string(name) + "=" + dir.path().string());
        env.push_back("QT_QPA_PLATFORM=offscreen");
        args.insert(args.begin(), kTideplot);
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
        if (fd3 >= 0)
            posix_spawn_file_actions_adddup2(&files, fd3, 3);
        posix_spawn(&pid_, kTideplot.c_str(), &files, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&files);
    }
    ~Running()
    {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::string output() const { return Slurp(output_); }
    // Waits until the output holds `text`.
    bool says(const std::string& text, std::chrono::seconds within = std::chrono::seconds(30)) const
    {
        for (auto until = std::chrono::steady_clock::now() + within; std::chrono::steady_clock::now() < until;) {
            if (output().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Waits until the verb waits in a write into a pipe.
    bool waitsInAPipe() const
    {
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             std::chrono::steady_clock::now() < until;) {
            if (Slurp("/proc/" + std::to_string(pid_) + "/wchan").find("pipe_write") != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Sends the signal; the exit status and the seconds it took to end (-1 when it did not
    // end within 20 seconds, or did not exit).
    std::pair<int, double> signal(int number)
    {
        const auto sent = std::chrono::steady_clock::now();
        ::kill(pid_, number);
        while (std::chrono::steady_clock::now() - sent < std::chrono::seconds(20)) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
                return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, took};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {-1, -1};
    }
    pid_t pid() const { return pid_; }

private:
    std::string output_;
    pid_t pid_ = 0;
    bool ended_ = false;
};

// Ctrl+C, SIGTERM and SIGHUP end every verb at once, with 128 + the signal, whatever it
// waits for (here a write into a pipe that nobody reads, or Google Earth's next poll): the
// temporary files of its outputs are removed and older outputs stay as they were. The
// replay first stops at its next step; one that cannot (it waits in the write of its
// picture) ends within a few seconds all the same.
TEST(Commands, SignalsEndEveryVerbAtOnce)
{
    TempDir dir;
    WriteRace(dir);
    dir.writeBytes("old.kml", "the old KML");
    struct Case {
        std::vector<std::string> args;
        std::string running; // what the output says once the verb waits; empty: it waits in a write
        int signal;
        double within;
        std::string says;
    };
    const Case cases[] = {
        {{"results", dir.file("race.TP1"), "--csv", "/dev/fd/3"},
         "",
         SIGINT,
         2,
         "tideplot results: interrupted by SIGINT"},
        {{"replay", dir.file("race.TP1"), "--kml", dir.file("old.kml"), "--screenshot", "/dev/fd/3"},
         "",
         SIGTERM,
         8,
         "tideplot replay: interrupted by SIGTERM, and the work did not stop within 3 s"},
        {{"link", dir.file("race.TP1"), "--no-open", "--playspeed", "1"},
         "Serving at",
         SIGHUP,
         2,
         "tideplot link: interrupted by SIGHUP"},
    };
    for (const Case& c : cases) {
        const FullPipe pipe;
        Running verb(dir, c.args, pipe.writeEnd());
        if (!c.running.empty()) {
            ASSERT_TRUE(verb.says(c.running)) << c.args[0] << ":\n" << verb.output();
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        } else {
            ASSERT_TRUE(verb.waitsInAPipe()) << c.args[0] << ":\n" << verb.output();
        }
        // Waiting: its temporary files are there (the replay's KML), or it serves.
        if (c.args[0] == "replay") {
            EXPECT_EQ(TemporaryFiles(dir).size(), 1u);
        }
        const auto [status, took] = verb.signal(c.signal);
        EXPECT_EQ(status, 128 + c.signal) << c.args[0] << ":\n" << verb.output();
        EXPECT_GE(took, 0) << c.args[0];
        EXPECT_LT(took, c.within) << c.args[0];
        EXPECT_NE(verb.output().find(c.says), std::string::npos) << c.args[0] << ":\n" << verb.output();
        EXPECT_TRUE(TemporaryFiles(dir).empty()) << c.args[0];
        EXPECT_EQ(Slurp(dir.file("old.kml")), "the old KML");
    }
}

// The libraries a run of the program mapped, as the dynamic loader tells them
// (LD_DEBUG=files): the program's own DT_NEEDED and what it loaded later.
std::string MappedLibraries(const TempDir& dir, const std::string& args)
{
    const std::string log = dir.file("ld");
    RunCommand(Environment(dir) + "LD_DEBUG=files LD_DEBUG_OUTPUT=" + Quote(log) + " " + kTideplot + " " + args);
    std::string mapped;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("ld.", 0) == 0) {
            mapped += Slurp(entry.path().string());
            std::filesystem::remove(entry.path());
        }
    return mapped;
}

// The verbs that draw nothing start as fast as `wc`: they map neither Qt Gui nor Qt Widgets,
// nor what those pull in (the window system's, the fonts' and D-Bus's libraries); the
// replay that draws a picture loads them with the module that draws.
TEST(Commands, OnlyWhatDrawsMapsQtGui)
{
    TempDir dir;
    WriteRace(dir);
    const std::string race = Quote(dir.file("race.TP1"));
    const std::string headless[] = {
        "--version",
        "replay " + race + " --trace " + Quote(dir.file("t.txt")) + " --kml " + Quote(dir.file("k.kml")) + " --html " +
            Quote(dir.file("p.html")) + " --kml-animated " + Quote(dir.file("a.kml")),
        "results " + race,
        "analyse " + race,
        "course " + race,
        "import " + Quote(dir.file("log.gpx")),
    };
    const char* drawing[] = {"libQt6Gui.so",  "libQt6Widgets.so", "libX11",      "libxcb.so", "libEGL",
                             "libfontconfig", "libfreetype",      "libharfbuzz", "libdbus"};
    for (const std::string& args : headless) {
        const std::string mapped = MappedLibraries(dir, args);
        EXPECT_NE(mapped.find("libQt6Core.so"), std::string::npos) << args << ": the loader told nothing";
        for (const char* library : drawing)
            EXPECT_EQ(mapped.find(library), std::string::npos) << args << " maps " << library;
    }
    const std::string picture = MappedLibraries(dir, "replay " + race + " --screenshot " + Quote(dir.file("c.png")));
    EXPECT_NE(picture.find("tideplot-gui.so"), std::string::npos);
    EXPECT_NE(picture.find("libQt6Gui.so"), std::string::npos);
}

// Output that cannot be written (a full disk: /dev/full) is a failure of every verb, said
// on stderr, never a success.
TEST(Commands, LostStandardOutputIsAFailure)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    WriteRace(dir);
    const std::pair<std::string, std::string> cases[] = {
        {"results " + Quote(dir.file("race.TP1")), "tideplot results"},
        {"replay " + Quote(dir.file("race.TP1")) + " --max-steps 3", "tideplot replay"},
        {"import " + Quote(dir.file("log.gpx")), "tideplot import"},
        {"results --help", "tideplot results"},
        {"--version", "tideplot"},
    };
    for (const auto& [args, program] : cases) {
        const auto run = RunCommand("(" + Environment(dir) + kTideplot + " " + args + " > /dev/full)");
        EXPECT_EQ(run.status, 1) << args << "\n" << run.output;
        EXPECT_NE(run.output.find(program + ": cannot write the standard output"), std::string::npos) << args << "\n"
                                                                                                      << run.output;
    }
    // The same verbs write what they print where it can go.
    const auto run = RunCommand(Environment(dir) + kTideplot + " results " + Quote(dir.file("race.TP1")));
    EXPECT_EQ(run.status, 0) << run.output;
}

} // namespace
} // namespace tideplot
