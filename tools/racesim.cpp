#include "racesim.h"

#include "core/datetime.h"
#include "core/records.h"
#include "simplane.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace tideplot::racesim {

namespace {

using namespace tideplot::simplane;

constexpr double kKnot = 1852.0 / 3600.0;
constexpr double kMetresPerDegreeLat = 60 * 1852.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The simulation's time step: five a second.
constexpr int kStepsPerSecond = 5;
constexpr double kStep = 1.0 / kStepsPerSecond;

// A first-order Gauss-Markov process: standard deviation `sigma`, correlation time `tau`
// seconds, stepped every `step` seconds.
class Wander {
public:
    Wander(double sigma, double tau, double step) : a_(std::exp(-step / tau)), b_(sigma * std::sqrt(1 - a_ * a_)) {}
    void Start(Random& random, double sigma) { value_ = sigma * random.Normal(); }
    double Step(Random& random) { return value_ = a_ * value_ + b_ * random.Normal(); }
    double Value() const { return value_; }

private:
    double a_, b_;
    double value_ = 0;
};

double Normal360(double degrees)
{
    const double d = degrees - 360.0 * std::floor(degrees / 360.0);
    return d >= 360 ? 0 : d;
}

double BearingOf(Vec v)
{
    return Normal360(std::atan2(v.x, v.y) * 180 / kPi);
}

// Knots of a boat at a true wind angle: slow head to wind, fastest on a beam reach.
double PolarKnots(double trueWindAngle)
{
    static constexpr std::array<std::array<double, 2>, 14> kPolar{{{0, 1.0},
                                                                   {25, 1.6},
                                                                   {32, 2.8},
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
    for (std::size_t i = 1; i < kPolar.size(); ++i)
        if (a <= kPolar[i][0]) {
            const double f = (a - kPolar[i - 1][0]) / (kPolar[i][0] - kPolar[i - 1][0]);
            return kPolar[i - 1][1] + f * (kPolar[i][1] - kPolar[i - 1][1]);
        }
    return kPolar.back()[1];
}

// The wind: a slow swing about a direction that shifts by `shift` degrees (clockwise
// positive) over `duration` seconds from the first start: linearly, or in `steps` equal steps
// at equal intervals, each taking kStepSeconds (six minutes).
struct Wind {
    static constexpr double kStepSeconds = 360;
    double mean = 0, swing = 0, period = 1200, phase = 0;
    double shift = 0, duration = 1;
    int steps = 0;
    double From(double secondsOfRace) const
    {
        return mean + swing * std::sin(2 * kPi * secondsOfRace / period + phase) + Shifted(secondsOfRace);
    }
    double Shifted(double secondsOfRace) const
    {
        if (steps == 0)
            return shift * std::clamp(secondsOfRace / duration, 0.0, 1.0);
        double shifted = 0;
        for (int k = 1; k <= steps; ++k) {
            const double at = duration * k / (steps + 1);
            shifted += shift / steps * std::clamp((secondsOfRace - at) / kStepSeconds + 0.5, 0.0, 1.0);
        }
        return shifted;
    }
};

// How one boat sails.
struct Sailing {
    double upwind = 42;   // true wind angle close-hauled
    double downwind = 30; // degrees off dead downwind on a run
    double tackRate = 8;  // degrees a second
    double gybeRate = 8;
    double roundRate = 5;
    double slowTau = 4; // seconds: how fast the speed falls, and grows
    double fastTau = 8;
    double performance = 1;
    double gybePenalty = 0.1; // share of the speed lost while gybing
};

enum class Intent { Tack, Gybe, Turn };

struct Command {
    Intent intent = Intent::Turn;
    std::size_t startStep = 0;
    std::size_t endStep = 0;
    bool ended = false;
};

// The boat at every step.
struct Step {
    double x, y, v, heading, target;
};

class Sailor {
public:
    Sailor(const RaceOptions& options, const Sailing& sailing, const Wind& wind, Random& random, double startOffset)
        : options_(options), sailing_(sailing), wind_(wind), random_(random), startOffset_(startOffset),
          steer_(1.0, 15.0, kStep), gust_(0.02, 30.0, kStep)
    {
        steer_.Start(random_, 1.0);
        gust_.Start(random_, 0.02);
        // The marks laid in the wind of the middle of the race.
        const double laid = options.WindFromDeg + options.WindShiftDeg / 2;
        windward_ = options.BeatNm * 1852 * Towards(laid);
        wing_ = windward_ + 0.3 * 1852 * Towards(laid + 260);
    }

    void Begin(Vec position, double seconds)
    {
        position_ = position;
        leg_ = Leg::PreStart;
        heading_ = Normal360(wind_.From(seconds + startOffset_) + 90);
        speed_ = PolarKnots(90) * kKnot * sailing_.performance * options_.SpeedScale;
    }

    // Sails one step from `seconds` (since the boat's start), recording it.
    void Advance(std::size_t step, double seconds)
    {
        const double windNow = wind_.From(seconds + startOffset_);
        timer_ -= kStep;
        const double desired = Desired(step, seconds, windNow);
        double rate = 3;
        if (!commands_.empty() && !commands_.back().ended) {
            Command& c = commands_.back();
            rate = c.intent == Intent::Tack   ? sailing_.tackRate
                   : c.intent == Intent::Gybe ? sailing_.gybeRate
                                              : sailing_.roundRate;
        }
        const double wanted = desired + steer_.Step(random_);
        const double turn = std::clamp(Wrap180(wanted - heading_), -rate * kStep, rate * kStep);
        heading_ = Normal360(heading_ + turn);
        if (!commands_.empty() && !commands_.back().ended && std::fabs(Wrap180(wanted - heading_)) < 1.5) {
            commands_.back().ended = true;
            commands_.back().endStep = step;
        }
        const double angle = std::fabs(Wrap180(heading_ - windNow));
        const double nominal =
            PolarKnots(angle) * kKnot * sailing_.performance * options_.SpeedScale * (1 + gust_.Step(random_));
        double target = nominal;
        if (!commands_.empty() && commands_.back().intent == Intent::Gybe &&
            (!commands_.back().ended || step < commands_.back().endStep + 3 * kStepsPerSecond))
            target *= 1 - sailing_.gybePenalty;
        const double tau = target < speed_ ? sailing_.slowTau : sailing_.fastTau;
        speed_ += (target - speed_) * (1 - std::exp(-kStep / tau));
        position_ = position_ + speed_ * kStep * Towards(heading_);
        steps_.push_back({position_.x, position_.y, speed_, heading_, nominal});
    }

    const std::vector<Step>& Steps() const { return steps_; }
    const std::vector<Command>& Commands() const { return commands_; }

private:
    enum class Leg { PreStart, Beat, Reach, Run };

    void Issue(Intent intent, std::size_t step)
    {
        if (!commands_.empty() && !commands_.back().ended) {
            commands_.back().ended = true;
            commands_.back().endStep = step;
        }
        commands_.push_back({intent, step, step, false});
        lastCommand_ = step;
    }

    bool SinceLastCommand(std::size_t step, double seconds) const
    {
        return commands_.empty() || static_cast<double>(step - lastCommand_) * kStep >= seconds;
    }

    void ResetTimer(bool beat) { timer_ = beat ? random_.Uniform(60, 200) : random_.Uniform(60, 220); }

    // The heading the helmsman steers for, and the manoeuvres he starts.
    double Desired(std::size_t step, double seconds, double windNow)
    {
        switch (leg_) {
        case Leg::PreStart:
            return DesiredBeforeStart(step, seconds, windNow);
        case Leg::Beat:
            return DesiredOnBeat(step, seconds, windNow);
        case Leg::Reach:
            return DesiredOnReach(step, seconds, windNow);
        case Leg::Run:
            return DesiredOnRun(step, seconds, windNow);
        }
        return heading_;
    }

    // Before the start: reaching along the line until forty seconds before the gun, then the
    // turn onto the first beat.
    double DesiredBeforeStart(std::size_t step, double seconds, double windNow)
    {
        if (seconds >= -40) {
            leg_ = Leg::Beat;
            side_ = -1;
            final_ = false;
            ResetTimer(true);
            Issue(Intent::Turn, step);
        }
        return leg_ == Leg::PreStart ? windNow + 90 : windNow + sailing_.upwind;
    }

    // On the beat: tacks at the laylines and now and then, the rounding of the windward mark.
    double DesiredOnBeat(std::size_t step, double seconds, double windNow)
    {
        const Vec toMark = windward_ - position_;
        const double distance = Length(toMark);
        const double bearing = BearingOf(toMark);
        const double rel = Wrap180(bearing - windNow);
        if (final_ && Rounded(distance, bearing)) {
            leg_ = options_.WingMark ? Leg::Reach : Leg::Run;
            side_ = 1;
            final_ = false;
            ResetTimer(false);
            Issue(Intent::Turn, step);
            return Desired(step, seconds, windNow);
        }
        if (!final_ && SinceLastCommand(step, 60)) {
            if (side_ < 0 && rel <= -sailing_.upwind) {
                side_ = 1;
                final_ = true;
                Issue(Intent::Tack, step);
            } else if (side_ > 0 && rel >= sailing_.upwind) {
                side_ = -1;
                Issue(Intent::Tack, step);
            } else if (timer_ <= 0 && distance > 400) {
                side_ = -side_;
                ResetTimer(true);
                Issue(Intent::Tack, step);
            }
        }
        if (final_)
            return windNow - std::max(-rel, sailing_.upwind - 6);
        return windNow - side_ * sailing_.upwind;
    }

    // On the reach: straight for the wing mark, then the turn onto the run.
    double DesiredOnReach(std::size_t step, double seconds, double windNow)
    {
        const Vec toMark = wing_ - position_;
        const double bearing = BearingOf(toMark);
        if (Rounded(Length(toMark), bearing)) {
            leg_ = Leg::Run;
            side_ = 1;
            final_ = false;
            ResetTimer(false);
            Issue(Intent::Turn, step);
            return Desired(step, seconds, windNow);
        }
        return bearing;
    }

    // On the run: gybes at the laylines and now and then, the rounding of the leeward mark.
    double DesiredOnRun(std::size_t step, double seconds, double windNow)
    {
        const Vec toMark = Vec{} - position_;
        const double distance = Length(toMark);
        const double bearing = BearingOf(toMark);
        const double rel = Wrap180(bearing - windNow - 180);
        if (final_ && Rounded(distance, bearing)) {
            leg_ = Leg::Beat;
            side_ = -1;
            final_ = false;
            ResetTimer(true);
            Issue(Intent::Turn, step);
            return Desired(step, seconds, windNow);
        }
        if (!final_ && SinceLastCommand(step, 60)) {
            if (side_ > 0 && rel <= -sailing_.downwind) {
                side_ = -1;
                final_ = true;
                Issue(Intent::Gybe, step);
            } else if (side_ < 0 && rel >= sailing_.downwind) {
                side_ = 1;
                Issue(Intent::Gybe, step);
            } else if (timer_ <= 0 && distance > 400) {
                side_ = -side_;
                ResetTimer(false);
                Issue(Intent::Gybe, step);
            }
        }
        if (final_)
            return windNow + 180 + std::clamp(rel, -sailing_.downwind - 10, -sailing_.downwind + 10);
        return windNow + 180 + side_ * sailing_.downwind;
    }

    // A mark is rounded on the final approach (on the tack or gybe that leaves it to port) within
    // 25 m of it, or when it is close and abeam (the boat cannot quite lay it).
    bool Rounded(double distance, double bearing) const
    {
        return distance < 25 || (distance < 80 && std::fabs(Wrap180(bearing - heading_)) > 75);
    }

    const RaceOptions& options_;
    Sailing sailing_;
    const Wind& wind_;
    Random& random_;
    double startOffset_; // seconds from the first start to this boat's
    Wander steer_;
    Wander gust_;
    Vec windward_, wing_;
    Vec position_;
    double heading_ = 0;
    double speed_ = 0;
    Leg leg_ = Leg::PreStart;
    int side_ = -1;
    bool final_ = false;
    double timer_ = 0;
    std::size_t lastCommand_ = 0;
    std::vector<Command> commands_;
    std::vector<Step> steps_;
};

// The time at which the heading crosses `axis` between two steps, or NaN.
double CrossingStep(const std::vector<Step>& steps, std::size_t from, std::size_t to, double axis)
{
    for (std::size_t k = from; k < to && k + 1 < steps.size(); ++k) {
        const double a = Wrap180(steps[k].heading - axis);
        const double b = Wrap180(steps[k + 1].heading - axis);
        if (std::fabs(a) < 90 && std::fabs(b) < 90 && ((a < 0 && b >= 0) || (a > 0 && b <= 0)))
            return static_cast<double>(k) + (a == b ? 0 : a / (a - b));
    }
    return kNaN;
}

// The truth of one command: its kind by the heading against the wind when it started
// (`wind` at `startOffset` seconds from the first start to the boat's), its middle and its loss.
TrueManoeuvre Judge(const std::vector<Step>& steps, const std::vector<Command>& commands, std::size_t index,
                    const Wind& wind, double startOffset, double firstSeconds)
{
    const Command& c = commands[index];
    TrueManoeuvre m;
    const auto seconds = [&](double step) { return firstSeconds + step * kStep; };
    m.StartSeconds = seconds(static_cast<double>(c.startStep));
    m.EndSeconds = seconds(static_cast<double>(c.endStep));
    const double windFrom = Normal360(wind.From(startOffset + m.StartSeconds));
    double turned = 0;
    for (std::size_t k = c.startStep; k < c.endStep && k + 1 < steps.size(); ++k)
        turned += Wrap180(steps[k + 1].heading - steps[k].heading);
    m.TurnDeg = turned;
    const double before = steps[c.startStep].heading;
    const auto crosses = [&](double direction) {
        const double to = turned >= 0 ? Normal360(direction - before) : Normal360(before - direction);
        return to > 5 && to < std::fabs(turned) - 5;
    };
    const bool eye = crosses(windFrom), downwind = crosses(windFrom + 180);
    m.Kind = eye && !downwind ? "tack" : downwind && !eye ? "gybe" : "turn";
    m.LossMetres = kNaN;
    if (m.Kind == "turn") {
        m.MiddleSeconds = (m.StartSeconds + m.EndSeconds) / 2;
        return m;
    }
    const double axis = m.Kind == "tack" ? windFrom : windFrom + 180;
    const double crossing = CrossingStep(steps, c.startStep, c.endStep + 1, axis);
    m.MiddleSeconds = std::isfinite(crossing) ? seconds(crossing) : (m.StartSeconds + m.EndSeconds) / 2;

    // The loss: from two seconds before the helm goes over, against the velocity made good of
    // the ten seconds before that, to the speed back at 99 % of the boat's speed.
    const std::size_t t0 = c.startStep >= 2 * kStepsPerSecond ? c.startStep - 2 * kStepsPerSecond : 0;
    const std::size_t w0 = t0 >= 30 * kStepsPerSecond ? t0 - 30 * kStepsPerSecond : 0;
    const Vec u = Towards(axis);
    double vmg = 0;
    for (std::size_t k = w0; k < t0; ++k)
        vmg += steps[k].v * std::cos(Radians(steps[k].heading - axis));
    vmg /= static_cast<double>(std::max<std::size_t>(1, t0 - w0));
    std::size_t cap = c.endStep + 90 * kStepsPerSecond;
    if (index + 1 < commands.size())
        cap = std::min(cap, commands[index + 1].startStep);
    cap = std::min(cap, steps.size() - 1);
    std::size_t t1 = c.endStep;
    while (t1 < cap && steps[t1].v < 0.99 * steps[t1].target)
        ++t1;
    const double made = (steps[t1].x - steps[t0].x) * u.x + (steps[t1].y - steps[t0].y) * u.y;
    m.LossMetres = vmg * static_cast<double>(t1 - t0) * kStep - made;
    return m;
}

void AppendFixed(std::string& out, double value, int decimals)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    out += buffer;
}

std::string TwoDigits(long long n)
{
    return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
}

// The wind over the race, its swing's period and phase drawn from the race's random numbers.
Wind RaceWind(const RaceOptions& options, Random& raceRandom)
{
    Wind wind;
    wind.mean = options.WindFromDeg;
    wind.swing = options.WindSwingDeg;
    wind.period = raceRandom.Uniform(900, 1500);
    wind.phase = raceRandom.Uniform(0, 2 * kPi);
    wind.shift = options.WindShiftDeg;
    wind.steps = options.WindShiftSteps;
    wind.duration = options.Hours * 3600;
    return wind;
}

// How a boat sails, drawn from its own random numbers.
Sailing DrawSailing(const RaceOptions& options, Random& random)
{
    Sailing sailing;
    sailing.upwind = random.Uniform(options.UpwindMinDeg, options.UpwindMaxDeg);
    sailing.downwind = random.Uniform(options.DownwindMinDeg, options.DownwindMaxDeg);
    sailing.tackRate = random.Uniform(options.TurnRateMin, options.TurnRateMax);
    sailing.gybeRate = random.Uniform(options.TurnRateMin, options.TurnRateMax);
    sailing.roundRate = random.Uniform(3, 6);
    sailing.slowTau = random.Uniform(3, 5);
    sailing.fastTau = random.Uniform(6, 10);
    sailing.performance = random.Uniform(0.95, 1.05);
    sailing.gybePenalty = random.Uniform(0.05, 0.2);
    return sailing;
}

// The handicap of boat k as the race file writes it.
std::string LysText(int k)
{
    static constexpr std::array<const char*, 7> kLys{"1.00", "1.05", "1.12", "1.20", "1.08", "1.15", "1.02"};
    return kLys[static_cast<std::size_t>(k) % kLys.size()];
}

// The colour of boat k as the race file writes it.
std::string ColourText(int k)
{
    static constexpr std::array<int, 7> kColours{0, 1023, 511, 1279, 255, 767, 128};
    return std::to_string(kColours[static_cast<std::size_t>(k) % kColours.size()]);
}

// The boat's log as its track file's text: fixes at whole seconds, from `pre` seconds before
// its start (at `start`, seconds of the epoch) to `duration` after it, with the GPS's noise.
// The boat's true speed and heading at every fix go into `boat`.
std::string TrackLog(const RaceOptions& options, const Sailor& sailor, Random& random, long long start, int pre,
                     long long duration, TrueBoat& boat)
{
    const double metresPerDegreeLon = kMetresPerDegreeLat * std::cos(Radians(options.Lat));
    Wander driftEast(options.DriftMetres, options.DriftSeconds, 1.0);
    Wander driftNorth(options.DriftMetres, options.DriftSeconds, 1.0);
    driftEast.Start(random, options.DriftMetres);
    driftNorth.Start(random, options.DriftMetres);
    std::string text = "Latitude,Longitude,Date,Time\r\n";
    long long nextFix = -pre + 1;
    for (long long t = -pre + 1; t < duration; ++t) {
        const double east = driftEast.Step(random);
        const double north = driftNorth.Step(random);
        if (t != nextFix)
            continue;
        nextFix += random.Between(options.IntervalMin, options.IntervalMax);
        if (options.LostShare > 0 && random.Uniform() < options.LostShare)
            continue;
        const Step& at = sailor.Steps()[static_cast<std::size_t>(t + pre) * kStepsPerSecond - 1];
        const double x = at.x + east + options.NoiseMetres * random.Normal();
        const double y = at.y + north + options.NoiseMetres * random.Normal();
        AppendFixed(text, options.Lat + y / kMetresPerDegreeLat, 7);
        text += ',';
        AppendFixed(text, options.Lon + x / metresPerDegreeLon, 7);
        const long long when = start + t;
        const std::string date = DateText(static_cast<double>(when - when % 86400) / kSecondsPerDay);
        text += ',' + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2) + ',';
        const long long second = when % 86400;
        text += TwoDigits(second / 3600) + TwoDigits(second / 60 % 60) + TwoDigits(second % 60) + "\r\n";
        boat.Fixes.push_back({static_cast<std::int32_t>(t), static_cast<float>(at.v / kKnot),
                              static_cast<float>(Normal360(at.heading))});
    }
    return text;
}

void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush())
        throw std::runtime_error("cannot write " + path.string());
}

// Boat k (from 0) of the race: sails it from before its start, judges its manoeuvres and
// writes its track file.
TrueBoat SailBoat(const RaceOptions& options, const Wind& wind, Random& raceRandom, int k, long long firstStart)
{
    Random random(options.Seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull * static_cast<std::uint64_t>(k + 1));
    const Sailing sailing = DrawSailing(options, random);

    TrueBoat boat;
    boat.File = "boat" + std::to_string(k + 1) + ".txt";
    boat.Lys = std::strtod(LysText(k).c_str(), nullptr);
    const long long start = firstStart + 30LL * raceRandom.Between(0, 4);
    boat.StartText = DateText(static_cast<double>(start) / kSecondsPerDay);
    const int pre = random.Between(120, 200);
    const long long duration = std::llround(options.Hours * 3600);

    Sailor sailor(options, sailing, wind, random, static_cast<double>(start - firstStart));
    const Vec begin = random.Uniform(-150, 150) * Towards(options.WindFromDeg + 90) +
                      (60 + random.Uniform(0, 60)) * Towards(options.WindFromDeg + 180) -
                      (5.0 * kKnot * (pre - 40)) * Towards(options.WindFromDeg + 90);
    sailor.Begin(begin, -pre);
    const std::size_t steps = static_cast<std::size_t>(pre + duration) * kStepsPerSecond;
    for (std::size_t s = 0; s < steps; ++s)
        sailor.Advance(s, -pre + static_cast<double>(s) * kStep);

    for (std::size_t c = 0; c < sailor.Commands().size(); ++c) {
        boat.Manoeuvres.push_back(
            Judge(sailor.Steps(), sailor.Commands(), c, wind, static_cast<double>(start - firstStart), -pre + kStep));
        // Every turn the helmsman makes but the first (onto the wind before the start) is at a mark.
        boat.Manoeuvres.back().AtMark = c > 0 && sailor.Commands()[c].intent == Intent::Turn;
    }
    WriteFile(options.Out / boat.File, TrackLog(options, sailor, random, start, pre, duration, boat));
    return boat;
}

} // namespace

double TrueRace::WindAt(double time) const
{
    if (Wind.size() < 2)
        return Wind.empty() ? WindFromDeg : Wind[0].FromDeg;
    const double x =
        std::clamp((time - Wind.front().Time) * kSecondsPerDay / 10, 0.0, static_cast<double>(Wind.size() - 1));
    const std::size_t i = std::min(static_cast<std::size_t>(x), Wind.size() - 2);
    const double f = x - static_cast<double>(i);
    return Normal360(Wind[i].FromDeg + f * Wrap180(Wind[i + 1].FromDeg - Wind[i].FromDeg));
}

TrueRace WriteRace(const RaceOptions& options)
{
    if (options.Boats < 1 || options.Boats > 64)
        throw std::runtime_error("a race of 1 to 64 boats");
    if (options.IntervalMin < 1 || options.IntervalMax < options.IntervalMin)
        throw std::runtime_error("fix intervals from 1 second, the least first");
    std::filesystem::create_directories(options.Out);
    TrueRace race;
    race.WindFromDeg = Normal360(options.WindFromDeg + options.WindShiftDeg / 2);
    race.RaceFile = options.Out / (options.RaceName + ".TP1");

    Random raceRandom(options.Seed ^ 0xA11A1E5EC0FFEEull);
    const Wind wind = RaceWind(options, raceRandom);
    const long long firstStart = std::llround(DateValueFromText(options.FirstStart) * kSecondsPerDay);
    std::string raceText;
    for (int k = 0; k < options.Boats; ++k) {
        TrueBoat boat = SailBoat(options, wind, raceRandom, k, firstStart);
        raceText += BoatEntryLine(boat.File, boat.StartText, LysText(k), ColourText(k), ",") + "\r\n";
        race.Boats.push_back(std::move(boat));
    }
    // The wind every ten seconds from ten minutes before the first start to the last fix.
    for (double t = -600; t <= 150 + options.Hours * 3600; t += 10)
        race.Wind.push_back({(static_cast<double>(firstStart) + t) / kSecondsPerDay, Normal360(wind.From(t))});
    WriteFile(race.RaceFile, raceText);
    return race;
}

} // namespace tideplot::racesim
