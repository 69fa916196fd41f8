// tideplot-manoeuvregen: writes a race whose wind and manoeuvres are known, for testing the
// race analysis (tideplot analyse): a race file, one GPS track file per boat and a truth file
// of the wind and every tack, gybe and turn with its middle and its loss (tools/racesim.h).

#include "racesim.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    R"(usage: tideplot-manoeuvregen --out DIR [options]

Writes a race file (NAME.TP1), one track file per boat and the truth (NAME.truth.json) into
DIR: boats racing round a windward-leeward course in a wind of known direction (that may
shift over the race), every tack, gybe and mark rounding known with its middle and the metres
it lost.

  --out DIR             folder to write into (created if missing)
  --boats N             number of boats, 1 to 64 (default 6)
  --hours H             hours sailed after the start (default 1.5)
  --interval S          one fix every S seconds (default 1)
  --interval-min A      fixes A to B seconds apart, drawn for every fix
  --interval-max B
  --lost SHARE          share of fixes the logger loses, 0 to 0.5 (default 0)
  --wind DEG            mean wind direction, where it comes from (default 220)
  --wind-swing DEG      amplitude of the wind's slow swing (default 3)
  --wind-shift DEG      the wind shifts by DEG over the race, clockwise positive (default 0);
                        --wind is its direction at the first start
  --wind-steps N        the shift in N steps of six minutes each (default 0: linearly)
  --speed SCALE         boat speeds against the polar, 0.3 to 3 (default 1: 4.5 kn close-hauled)
  --noise M             GPS jitter per axis, metres (default 2)
  --drift M             GPS slow wander per axis, metres (default 2)
  --beat NM             length of the beat in nautical miles (default 1)
  --wing                a reach to a wing mark after the windward mark
  --seed N              seed of the random numbers (default 1); same options, same files
  --race-name NAME      race file name without .TP1 (default race)
  --start TIME          the first start, "YYYY-MM-DD hh:mm:ss" (default 2008-06-21 11:00:00)
  --truth FILE          where the truth goes (default DIR/NAME.truth.json)
  --help                this text
)";

double Number(std::string_view option, const char* text, double low, double high)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !(value >= low && value <= high))
        throw std::runtime_error(std::string(option) + " wants a number from " + std::to_string(low) + " to " +
                                 std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

// The command line: the race's options and where the truth goes.
struct Arguments {
    tideplot::racesim::RaceOptions options;
    std::string truth;
    bool intervalGiven = false, rangeGiven = false;
    bool help = false;
};

// Reads an option of the fleet and its logs; false when `arg` is none of them.
template <typename Value> bool ReadLogOption(std::string_view arg, Value&& value, Arguments& arguments)
{
    tideplot::racesim::RaceOptions& options = arguments.options;
    if (arg == "--boats") {
        options.Boats = static_cast<int>(Number(arg, value(), 1, 64));
    } else if (arg == "--hours") {
        options.Hours = Number(arg, value(), 0.01, 240);
    } else if (arg == "--interval") {
        options.IntervalMin = options.IntervalMax = static_cast<int>(Number(arg, value(), 1, 3600));
        arguments.intervalGiven = true;
    } else if (arg == "--interval-min") {
        options.IntervalMin = static_cast<int>(Number(arg, value(), 1, 3600));
        arguments.rangeGiven = true;
    } else if (arg == "--interval-max") {
        options.IntervalMax = static_cast<int>(Number(arg, value(), 1, 3600));
        arguments.rangeGiven = true;
    } else if (arg == "--lost") {
        options.LostShare = Number(arg, value(), 0, 0.5);
    } else if (arg == "--noise") {
        options.NoiseMetres = Number(arg, value(), 0, 50);
    } else if (arg == "--drift") {
        options.DriftMetres = Number(arg, value(), 0, 50);
    } else {
        return false;
    }
    return true;
}

// Reads an option of the wind, the course and the boats' speed; false when `arg` is none of them.
template <typename Value>
bool ReadCourseOption(std::string_view arg, Value&& value, tideplot::racesim::RaceOptions& options)
{
    if (arg == "--wind") {
        options.WindFromDeg = Number(arg, value(), 0, 360);
    } else if (arg == "--wind-swing") {
        options.WindSwingDeg = Number(arg, value(), 0, 30);
    } else if (arg == "--wind-shift") {
        options.WindShiftDeg = Number(arg, value(), -90, 90);
    } else if (arg == "--wind-steps") {
        options.WindShiftSteps = static_cast<int>(Number(arg, value(), 0, 20));
    } else if (arg == "--speed") {
        options.SpeedScale = Number(arg, value(), 0.3, 3);
    } else if (arg == "--beat") {
        options.BeatNm = Number(arg, value(), 0.2, 20);
    } else if (arg == "--wing") {
        options.WingMark = true;
    } else {
        return false;
    }
    return true;
}

// Reads the command line; stops at --help.
Arguments ReadArguments(int argc, char** argv)
{
    Arguments arguments;
    tideplot::racesim::RaceOptions& options = arguments.options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                throw std::runtime_error(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            arguments.help = true;
            return arguments;
        } else if (arg == "--out") {
            options.Out = value();
        } else if (ReadLogOption(arg, value, arguments) || ReadCourseOption(arg, value, options)) {
        } else if (arg == "--seed") {
            options.Seed = static_cast<std::uint64_t>(Number(arg, value(), 0, 9007199254740991.0));
        } else if (arg == "--race-name") {
            options.RaceName = value();
            if (options.RaceName.empty() || options.RaceName.find_first_of("/\\,") != std::string::npos)
                throw std::runtime_error("--race-name wants a file name without \"/\", \"\\\" or \",\"");
        } else if (arg == "--start") {
            options.FirstStart = value();
        } else if (arg == "--truth") {
            arguments.truth = value();
        } else {
            throw std::runtime_error("unknown option \"" + std::string(arg) + "\" (see --help)");
        }
    }
    if (options.Out.empty())
        throw std::runtime_error("--out DIR is missing (see --help)");
    if (arguments.intervalGiven && arguments.rangeGiven)
        throw std::runtime_error("--interval and --interval-min/--interval-max exclude each other");
    if (options.IntervalMin > options.IntervalMax)
        throw std::runtime_error("--interval-min is larger than --interval-max");
    return arguments;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Arguments arguments = ReadArguments(argc, argv);
        if (arguments.help) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const tideplot::racesim::RaceOptions& options = arguments.options;
        const tideplot::racesim::TrueRace race = tideplot::racesim::WriteRace(options);
        const std::string truthPath =
            arguments.truth.empty() ? (options.Out / (options.RaceName + ".truth.json")).string() : arguments.truth;
        std::ofstream out(truthPath, std::ios::binary);
        out << tideplot::racesim::TruthJson(race);
        if (!out.flush())
            throw std::runtime_error("cannot write " + truthPath + ": " + std::strerror(errno));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tideplot-manoeuvregen: %s\n", e.what());
        return 1;
    }
}
