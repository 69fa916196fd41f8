// Runs a race file and its track files, cut from arbitrary bytes, through the replay
// start and a capped number of steps, as the replay reads them from disk: it must load
// the race or throw Error, step or throw Error, never crash or hang, never load more
// than seven boats, and draw only finite positions; the check of the starts reads the
// same files without failing.
//
// The input: the race file, then the track files t0.txt to t6.txt, each after a line
// "----". Race files that name a folder ("/" or "\") are skipped, so that every track
// file is one of these (or missing).
#include "core/error.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

using namespace tideplot;

namespace {

constexpr int kMaxSteps = 300;
constexpr std::string_view kCut = "\n----\n";

// Kept alive to the very end: the folder is removed at exit.
const std::filesystem::path& Folder()
{
    static const std::filesystem::path* const folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        return new std::filesystem::path(std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
                                         ("tideplot_fuzz_replay_" + std::to_string(::getpid())));
    }();
    return *folder;
}

void RemoveFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
}

bool Finite(const TrackPoint& p)
{
    return std::isfinite(p.Lat) && std::isfinite(p.Lon);
}

// What a step did is sound: pieces between finite positions of width 1 or 5, a camera box
// of finite corners with the south-west one first.
void CheckStep(const StepOutcome& outcome)
{
    Check(outcome.LineWidth == 1 || outcome.LineWidth == 5, "a step of width 1 or 5");
    for (const BoatStep& boat : outcome.Boats)
        if (boat.Drawn)
            Check(Finite(boat.From) && Finite(boat.To), "a segment between finite positions");
    if (outcome.CameraSet) {
        Check(Finite(outcome.BoxMin) && Finite(outcome.BoxMax), "a camera box of finite corners");
        Check(outcome.BoxMin.Lat <= outcome.BoxMax.Lat && outcome.BoxMin.Lon <= outcome.BoxMax.Lon,
              "the south-west corner first");
    }
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool cleanUp = [] { return std::atexit(RemoveFolder) == 0; }();
    (void)cleanUp;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t cut = input.find(kCut, from);
        parts.push_back(input.substr(from, cut == std::string_view::npos ? std::string_view::npos : cut - from));
        if (cut == std::string_view::npos || parts.size() == 8)
            break;
        from = cut + kCut.size();
    }
    if (parts[0].find_first_of("/\\") != std::string_view::npos)
        return 0;

    RemoveFolder();
    std::filesystem::create_directories(Folder());
    WriteFile(Folder() / "race.TP1", parts[0]);
    for (std::size_t i = 1; i < parts.size(); ++i)
        WriteFile(Folder() / ("t" + std::to_string(i - 1) + ".txt"), parts[i]);

    static const double kResolutions[] = {10, 1, 60, 0.5, 3600, 0.01};
    RaceState state;
    ReplaySettings settings;
    settings.ResolutionSeconds = kResolutions[size % std::size(kResolutions)];
    settings.StepsPerWidePlot = 3;
    StepOutcome outcome;
    state.RaceFileName = (Folder() / "race.TP1").string();
    state.RaceClock = kRaceClockAtStart;
    try {
        StartReplay(state);
    } catch (const Error&) {
        for (const auto& file : state.TrackFile)
            Check(file == nullptr, "no track file left open after a failed start");
        return 0;
    }
    Check(state.BoatCount >= 1 && state.BoatCount <= kMaxBoats, "one to 64 boats loaded");
    const auto warnings = StartTimeWarnings(state);
    Check(warnings.size() <= static_cast<std::size_t>(state.BoatCount), "at most one warning a boat");
    for (const auto& warning : warnings)
        Check(warning.find("race.TP1, line ") != std::string::npos, "a warning names the boat's entry");
    try {
        for (int step = 0; step < kMaxSteps && !AllTrackFilesAtEnd(state); ++step) {
            ReplayStep(state, settings, outcome);
            CheckStep(outcome);
        }
    } catch (const Error&) {
    }
    CloseTrackFiles(state);
    return 0;
}
