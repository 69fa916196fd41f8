// tideplot-racegen: writes a made-up race that Tideplot can replay: a race file and one
// GPS track file per boat. The boats sail a windward-leeward course with a wing mark in
// open water west of Vinga, off Gothenburg's archipelago: a beat to the windward mark
// (tacking), a reach to the wing mark, a run to the leeward mark (gybing), lap after lap.
//
// The output depends only on the options: the random numbers come from our own
// generator (splitmix64, Box-Muller), not from <random>, whose distributions differ
// between standard libraries.

#include "core/datetime.h"
#include "core/error.h"
#include "core/records.h"

#include "racegenfile.h"
#include "simplane.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tideplot::racegen;
using namespace tideplot::simplane;

using tideplot::Error;

constexpr double kMetresPerNm = 1852.0;
constexpr double kKnot = kMetresPerNm / 3600.0; // metres per second
constexpr double kMetresPerDegreeLat = 60.0 * kMetresPerNm;

// ---------------------------------------------------------------------------------
// Random numbers (simplane.h)

// A value that wanders slowly around 0: a first-order Gauss-Markov process with standard
// deviation `sigma` and correlation time `tau` seconds, stepped once a second.
class Wander {
public:
    Wander(double sigma, double tau) : a_(std::exp(-1.0 / tau)), b_(sigma * std::sqrt(1.0 - a_ * a_)) {}
    void Start(Random& random, double sigma) { value_ = sigma * random.Normal(); }
    double Step(Random& random) { return value_ = a_ * value_ + b_ * random.Normal(); }
    double Value() const { return value_; }

private:
    double a_;
    double b_;
    double value_ = 0;
};

// ---------------------------------------------------------------------------------
// Plane geometry on the race area: metres east (x) and north (y) of the start line's
// middle, bearings in degrees clockwise from north.

double BearingOf(Vec v)
{
    return std::fmod(std::atan2(v.x, v.y) * 180.0 / kPi + 360.0, 360.0);
}

// The race area: the middle of the start line, a little over four miles west-southwest of
// Vinga lighthouse (57.632 N, 11.606 E), with open water for miles around the course.
constexpr double kOriginLat = 57.6;
constexpr double kOriginLon = 11.5;

// The local plane is turned into degrees the way the replay measures distances: one
// minute of latitude is one nautical mile, a minute of longitude that times the cosine of
// the latitude.
struct Projection {
    double metresPerDegreeLon = kMetresPerDegreeLat * std::cos(Radians(kOriginLat));
    double Lat(Vec p) const { return kOriginLat + p.y / kMetresPerDegreeLat; }
    double Lon(Vec p) const { return kOriginLon + p.x / metresPerDegreeLon; }
};

// ---------------------------------------------------------------------------------
// Wind, course and boat performance

constexpr double kWindFrom = 220.0; // mean true wind direction: the south-westerly sea breeze

// The wind direction at `t` seconds after the first start: the mean plus two slow
// oscillations, the same for every boat.
struct Wind {
    double phase1 = 0;
    double phase2 = 0;
    double From(double t) const
    {
        return kWindFrom + 5.0 * std::sin(2.0 * kPi * t / 780.0 + phase1) +
               3.0 * std::sin(2.0 * kPi * t / 2900.0 + phase2);
    }
};

constexpr double kCloseHauled = 42.0; // true wind angle sailed on a beat
constexpr double kBroadReach = 145.0; // true wind angle sailed on a run

// Boat speed in knots of a boat with LYS 1.00 at a true wind angle, linear between the
// rows: slow inside the no-go zone, fastest on a beam reach.
double PolarSpeed(double trueWindAngle)
{
    static constexpr std::array<std::array<double, 2>, 13> kPolar{{{0, 1.2},
                                                                   {30, 2.0},
                                                                   {38, 4.0},
                                                                   {42, 4.5},
                                                                   {50, 5.0},
                                                                   {60, 5.5},
                                                                   {75, 5.9},
                                                                   {90, 6.2},
                                                                   {110, 6.3},
                                                                   {130, 5.9},
                                                                   {150, 5.3},
                                                                   {165, 4.9},
                                                                   {180, 4.6}}};
    const double a = std::clamp(std::fabs(trueWindAngle), 0.0, 180.0);
    for (std::size_t i = 1; i < kPolar.size(); ++i) {
        if (a <= kPolar[i][0]) {
            const double f = (a - kPolar[i - 1][0]) / (kPolar[i][0] - kPolar[i - 1][0]);
            return kPolar[i - 1][1] + f * (kPolar[i][1] - kPolar[i - 1][1]);
        }
    }
    return kPolar.back()[1];
}

constexpr double kMaxSpeedKnots = 8.0;

// The marks of the course. The leeward mark lies just below the start line; the beat is
// 1.6 miles, the reach to the wing mark a third of a mile at 100 degrees to the wind and
// the run back to the leeward mark 1.6 miles, 12 degrees off dead downwind, so boats gybe.
struct Course {
    Vec leeward = 120.0 * Towards(kWindFrom + 180.0);
    Vec windward = leeward + 1.6 * kMetresPerNm * Towards(kWindFrom);
    Vec wing = windward + 0.333 * kMetresPerNm * Towards(kWindFrom + 100.0);
};

// ---------------------------------------------------------------------------------
// One boat's track

struct BoatSetup {
    std::string file;    // track file name, in the race file's folder
    std::string lysText; // LYS number as written into the race file
    double lys = 1.0;
    int colour = 0;
    char sep = ',';
    bool hashHeader = false; // "#" lines at the top of the track file
    std::string name;        // the boat's name, for the "#" lines
};

// The sailor: steers for the next waypoint, beating and running in zigzags, with a
// limited rate of turn, a speed that follows the polar with some lag (so tacks cost
// speed) and gusts.
class Sailor {
public:
    Sailor(Random& random, const Wind& wind, double performance, Vec position, std::vector<Vec> waypoints,
           std::size_t firstLapWaypoint)
        : random_(random), wind_(wind), performance_(performance), position_(position),
          waypoints_(std::move(waypoints)), lapStart_(firstLapWaypoint)
    {
        gust_.Start(random_, 0.03);
        steer_.Start(random_, 1.5);
        heading_ = BearingOf(waypoints_[0] - position_);
        speed_ = PolarSpeed(std::fabs(Wrap180(heading_ - wind_.From(0)))) * performance_ * kKnot;
    }

    Vec Position() const { return position_; }

    // Sails one second; `t` is the time in seconds after the first start.
    void Step(double t)
    {
        const double windFrom = wind_.From(t);
        const Vec mark = waypoints_[current_];
        const Vec toMark = mark - position_;
        const double distance = Length(toMark);
        NoteRounding(distance);

        const double target = Wrap180(TargetHeading(windFrom, BearingOf(toMark), distance) + steer_.Step(random_));
        const double turn = std::clamp(Wrap180(target - heading_), -kTurnRate, kTurnRate);
        heading_ = std::fmod(heading_ + turn + 360.0, 360.0);

        const double trueWindAngle = std::fabs(Wrap180(heading_ - windFrom));
        const double wanted =
            std::min(PolarSpeed(trueWindAngle) * performance_ * (1.0 + gust_.Step(random_)), kMaxSpeedKnots) * kKnot;
        speed_ += (wanted - speed_) * (wanted < speed_ ? kSlowing : kSpeeding);
        position_ = position_ + speed_ * Towards(heading_);
    }

private:
    static constexpr double kTurnRate = 10.0;                      // degrees a second
    static constexpr double kSlowing = 1.0 - 0.88249690258459546;  // 1 - exp(-1/8): 8 s lag
    static constexpr double kSpeeding = 1.0 - 0.90483741803595957; // 1 - exp(-1/10): 10 s lag

    enum class Mode { Direct, Beat, Run };

    // The heading to steer for the mark: straight at it when it can be laid, otherwise
    // close-hauled (or on a broad reach downwind) on the present tack or gybe, changing
    // sides every few minutes and at the laylines.
    double TargetHeading(double windFrom, double markBearing, double distance)
    {
        const double upwind = Wrap180(markBearing - windFrom);
        const double downwind = Wrap180(markBearing - windFrom - 180.0);
        Mode mode = Mode::Direct;
        double centre = 0;
        double half = 0;
        if (std::fabs(upwind) < kCloseHauled) {
            mode = Mode::Beat;
            centre = windFrom;
            half = kCloseHauled;
        } else if (std::fabs(downwind) < 180.0 - kBroadReach) {
            mode = Mode::Run;
            centre = windFrom + 180.0;
            half = 180.0 - kBroadReach;
        }
        if (mode == Mode::Direct) {
            mode_ = mode;
            return markBearing;
        }
        if (mode != mode_) {
            // Coming into a beat or a run: carry on with the tack (or gybe) we are on.
            mode_ = mode;
            side_ = Wrap180(heading_ - centre) >= 0 ? 1 : -1;
            ResetTackTimer();
        }
        if (--tackTimer_ <= 0 && distance > 150.0) {
            side_ = -side_;
            ResetTackTimer();
        }
        return centre + side_ * half;
    }

    void ResetTackTimer() { tackTimer_ = mode_ == Mode::Beat ? random_.Between(100, 280) : random_.Between(120, 330); }

    // A mark is rounded when the boat comes within 40 m of it, or when it has been within
    // 100 m and now draws away (a wide rounding).
    void NoteRounding(double distance)
    {
        closest_ = std::min(closest_, distance);
        if (distance < 40.0 || (closest_ < 100.0 && distance > closest_ + 15.0)) {
            current_ = current_ + 1 < waypoints_.size() ? current_ + 1 : lapStart_;
            closest_ = 1e300;
        }
    }

    Random& random_;
    const Wind& wind_;
    double performance_;
    Vec position_;
    std::vector<Vec> waypoints_;
    std::size_t lapStart_;
    std::size_t current_ = 0;
    double closest_ = 1e300;
    double heading_ = 0;
    double speed_ = 0; // metres a second
    Mode mode_ = Mode::Direct;
    int side_ = 1;
    int tackTimer_ = 0;
    Wander gust_{0.03, 40.0}; // share of the speed
    Wander steer_{1.5, 20.0}; // degrees off the intended heading
};

// ---------------------------------------------------------------------------------
// The race

struct Options {
    std::filesystem::path out;
    int boats = 4;
    double hours = 2.0;
    int intervalMin = 1;
    int intervalMax = 5;
    std::uint64_t seed = 1;
    std::string raceName = "race";
    std::string firstStart = "2008-06-21 11:00:00";
    bool unicsv = false;
    bool sample = false;
};

std::vector<BoatSetup> BoatsFor(const Options& options)
{
    if (options.sample) {
        // The sample race: a ","-file with a column header, one with "#" lines, one with ";".
        return {
            {"Elsa.txt", "1.00", 1.00, 0, ',', false, "Elsa"},
            {"Saga.txt", "1.05", 1.05, 1023, ',', true, "Saga"},
            {"Svalan.txt", "1.12", 1.12, 511, ';', false, "Svalan"},
            {"Vinga.txt", "1.20", 1.20, 1279, ',', false, "Vinga"},
        };
    }
    static constexpr std::array<const char*, 7> kLys{"1.00", "1.05", "1.12", "1.20", "1.08", "1.15", "1.02"};
    // Red, blue, green, magenta, yellow, cyan, orange: the first ones furthest apart.
    static constexpr std::array<int, 7> kColours{0, 1023, 511, 1279, 255, 767, 128};
    std::vector<BoatSetup> boats;
    for (int k = 0; k < options.boats; ++k) {
        BoatSetup b;
        b.name = "boat" + std::to_string(k + 1);
        b.file = b.name + ".txt";
        if (k < static_cast<int>(kLys.size())) {
            b.lysText = kLys[static_cast<std::size_t>(k)];
            b.colour = kColours[static_cast<std::size_t>(k)];
        } else {
            // A larger fleet: LYS numbers from 0.95 to 1.25 and colours spread over the scale.
            char lys[16];
            std::snprintf(lys, sizeof lys, "%.3f", 0.95 + (k * 7 % 13) * 0.025);
            b.lysText = lys;
            b.colour = k * 397 % 1280;
        }
        b.lys = std::strtod(b.lysText.c_str(), nullptr);
        boats.push_back(b);
    }
    return boats;
}

struct BoatPlan {
    long long start = 0; // seconds since the date base
    long long begin = 0; // first point of the track
    Vec startPoint;      // where the boat crosses the start line
    Vec position;        // where the track begins
    Vec turn;            // the turning point of its run-up to the line
    double performance = 1.0;
};

// The track file's first lines: the logger's comments when the boat's log has them, then the
// column names.
std::string TrackHeader(const Options& options, const BoatSetup& boat, const BoatPlan& plan)
{
    const char sep = boat.sep;
    std::string text;
    if (boat.hashHeader) {
        text +=
            "# logger: tideplot-racegen, simulated GPS track, one fix every " + std::to_string(options.intervalMin) +
            (options.intervalMax != options.intervalMin ? " to " + std::to_string(options.intervalMax) : "") + " s\r\n";
        text += "# boat: " + boat.name + ", LYS " + boat.lysText + "\r\n";
        text += "# start: " + DateTextOfSeconds(plan.start) + " UTC\r\n";
    }
    return text + "lat" + sep + "lon" + sep + "date" + sep + "time\r\n";
}

// Writes one boat's track file (and its unicsv copy), sailing it second by second.
void WriteTrack(const Options& options, const BoatSetup& boat, const BoatPlan& plan, const Wind& wind,
                long long firstStart, std::uint64_t seed)
{
    Random random(seed);
    const Course course;
    const Projection projection;
    Sailor sailor(random, wind, plan.performance, plan.position,
                  {plan.turn, plan.startPoint, course.windward, course.wing, course.leeward}, 2);
    // GPS error: a slow wander of a few metres and a little jitter on every fix.
    Wander errorEast(3.0, 120.0);
    Wander errorNorth(3.0, 120.0);
    errorEast.Start(random, 3.0);
    errorNorth.Start(random, 3.0);
    constexpr double kJitter = 0.25;

    OutFile track(options.out / boat.file);
    std::optional<OutFile> csv;
    if (options.unicsv)
        csv.emplace(options.out / std::filesystem::path(boat.file).replace_extension(".csv"));

    const char sep = boat.sep;
    track.buffer += TrackHeader(options, boat, plan);
    if (csv)
        csv->buffer += "Latitude,Longitude,Date,Time\r\n";

    const long long duration = std::llround(options.hours * 3600.0);
    long long day = -1;
    std::string dateDigits;  // YYYYMMDD
    std::string dateSlashed; // YYYY/MM/DD
    long long nextFix = 0;
    for (long long t = 0; t < duration; ++t) {
        const double e = errorEast.Step(random);
        const double n = errorNorth.Step(random);
        if (t == nextFix) {
            const long long when = plan.begin + t;
            if (when / 86400 != day) {
                day = when / 86400;
                const std::string text = DateTextOfSeconds(day * 86400); // YYYY-MM-DD 00:00:00
                dateDigits = text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2);
                dateSlashed = text.substr(0, 4) + '/' + text.substr(5, 2) + '/' + text.substr(8, 2);
            }
            const long long second = when % 86400;
            const Vec fix = sailor.Position() + Vec{e + kJitter * random.Normal(), n + kJitter * random.Normal()};
            const double lat = projection.Lat(fix);
            const double lon = projection.Lon(fix);

            AppendTrackFix(track.buffer, sep, lat, lon, dateDigits, second);
            track.FlushIfFull();
            if (csv) {
                AppendUnicsvFix(csv->buffer, lat, lon, dateSlashed, second);
                csv->FlushIfFull();
            }
            nextFix += options.intervalMin == options.intervalMax
                           ? options.intervalMin
                           : random.Between(options.intervalMin, options.intervalMax);
        }
        sailor.Step(static_cast<double>(plan.begin + t - firstStart));
    }
    track.Close();
    if (csv)
        csv->Close();
}

void WriteRace(const Options& options)
{
    const std::vector<BoatSetup> boats = BoatsFor(options);
    const long long firstStart = SecondsOfDateValue(tideplot::DateValueFromText(options.firstStart));

    // One stream for the race (wind, start times, start positions), one for each boat's
    // sailing, so that adding boats leaves the tracks of the boats before them as they were.
    Random race(options.seed ^ 0x5EED0F7A1DE9107Bull);
    Wind wind;
    wind.phase1 = race.Uniform(0, 2 * kPi);
    wind.phase2 = race.Uniform(0, 2 * kPi);

    std::filesystem::create_directories(options.out);
    const std::filesystem::path racePath = options.out / (options.raceName + ".TP1");
    OutFile raceFile(racePath);

    long long start = firstStart;
    for (std::size_t k = 0; k < boats.size(); ++k) {
        const BoatSetup& boat = boats[k];
        BoatPlan plan;
        if (k > 0)
            start += 180 + 30 * race.Between(0, 4); // 3 to 5 minutes after the boat before
        plan.start = start;
        const long long runUp = race.Between(330, 480); // seconds sailed before the gun
        plan.begin = start - runUp;
        plan.performance = boat.lys * (1.0 + std::clamp(0.015 * race.Normal(), -0.04, 0.04));
        plan.startPoint = race.Uniform(-100.0, 100.0) * Towards(kWindFrom + 90.0);
        // The run-up: from near the line away on a broad reach, a gybe, then back to the
        // line on a close reach, about as long as there is time for.
        const int side = race.Uniform() < 0.5 ? 1 : -1;
        const double runUpLength = 5.8 * kKnot * plan.performance * static_cast<double>(runUp);
        const double back = race.Uniform(0.5, 0.6) * runUpLength;
        plan.turn = plan.startPoint - back * Towards(kWindFrom + side * 65.0);
        plan.position = plan.turn - (runUpLength - back) * Towards(kWindFrom + 180.0 + side * 50.0);

        const std::uint64_t boatSeed = options.seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull * (k + 1);
        WriteTrack(options, boat, plan, wind, firstStart, boatSeed);

        raceFile.buffer += tideplot::BoatEntryLine(boat.file, DateTextOfSeconds(plan.start), boat.lysText,
                                                   std::to_string(boat.colour), std::string(1, boat.sep));
        raceFile.buffer += "\r\n";
    }
    raceFile.Close();
}

// ---------------------------------------------------------------------------------
// Command line

constexpr const char* kUsage =
    R"(usage: tideplot-racegen --out DIR [options]

Writes a race file (NAME.TP1) and one track file per boat into DIR: boats sailing a
windward-leeward course with a wing mark off Gothenburg, lap after lap.

  --out DIR             folder to write into (created if missing)
  --boats N             number of boats, 1 to 64 (default 4)
  --hours H             length of each track in hours (default 2)
  --interval S          one fix every S seconds
  --interval-min A      fixes A to B seconds apart, drawn for every fix (default 1 to 5)
  --interval-max B
  --seed N              seed of the random numbers (default 1); same seed, same files
  --race-name NAME      race file name without .TP1 (default race)
  --start TIME          the first boat's start, "YYYY-MM-DD hh:mm:ss" UTC
                        (default 2008-06-21 11:00:00)
  --unicsv              also write each track as NAME.csv for gpsbabel's unicsv format
  --sample              the sample race of examples/sample-race: four named boats
                        (one file with "#" header lines, one with ";"), seed 2008
  --help                this text
)";

long long WholeNumber(std::string_view option, const char* text, long long low, long long high)
{
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < low || value > high)
        throw Error(std::string(option) + " wants a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    bool boatsGiven = false;
    bool seedGiven = false;
    bool intervalGiven = false;
    bool minGiven = false;
    bool maxGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                throw Error(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--out") {
            options.out = value();
        } else if (arg == "--boats") {
            options.boats = static_cast<int>(WholeNumber(arg, value(), 1, 64));
            boatsGiven = true;
        } else if (arg == "--hours") {
            const char* text = value();
            char* end = nullptr;
            options.hours = std::strtod(text, &end);
            if (end == text || *end != '\0' || !(options.hours * 3600.0 >= 1.0) || options.hours > 240.0)
                throw Error(std::string("--hours wants a number of hours up to 240, not \"") + text + "\"");
        } else if (arg == "--interval") {
            options.intervalMin = options.intervalMax = static_cast<int>(WholeNumber(arg, value(), 1, 3600));
            intervalGiven = true;
        } else if (arg == "--interval-min") {
            options.intervalMin = static_cast<int>(WholeNumber(arg, value(), 1, 3600));
            minGiven = true;
        } else if (arg == "--interval-max") {
            options.intervalMax = static_cast<int>(WholeNumber(arg, value(), 1, 3600));
            maxGiven = true;
        } else if (arg == "--seed") {
            options.seed = static_cast<std::uint64_t>(WholeNumber(arg, value(), 0, 9007199254740991LL));
            seedGiven = true;
        } else if (arg == "--race-name") {
            options.raceName = value();
            if (options.raceName.empty() || options.raceName.find_first_of("/\\,") != std::string::npos)
                throw Error("--race-name wants a file name without \"/\", \"\\\" or \",\"");
        } else if (arg == "--start") {
            options.firstStart = value();
            tideplot::DateValueFromText(options.firstStart); // throws when it is no date and time
        } else if (arg == "--unicsv") {
            options.unicsv = true;
        } else if (arg == "--sample") {
            options.sample = true;
        } else {
            throw Error("unknown option \"" + std::string(arg) + "\" (see --help)");
        }
    }
    if (options.out.empty())
        throw Error("--out DIR is missing (see --help)");
    if (intervalGiven && (minGiven || maxGiven))
        throw Error("--interval and --interval-min/--interval-max exclude each other");
    if (options.intervalMin > options.intervalMax)
        throw Error("--interval-min is larger than --interval-max");
    if (options.sample) {
        if (boatsGiven)
            throw Error("--sample is a race of four boats; --boats does not go with it");
        options.boats = 4;
        if (!seedGiven)
            options.seed = 2008;
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        WriteRace(ParseOptions(argc, argv));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tideplot-racegen: %s\n", e.what());
        return 1;
    }
}
