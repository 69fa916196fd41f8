#include "coursesim.h"

#include "core/datetime.h"
#include "core/records.h"
#include "simplane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace tideplot::coursesim {

namespace {

using namespace tideplot::simplane;

constexpr double kStep = 0.2;                // seconds
constexpr double kPreStartSeconds = 150;     // logged before the gun
constexpr double kAfterFinishSeconds = 60;   // sailed on after the finish
constexpr double kLongestSeconds = 6 * 3600; // a boat that never finishes stops here
constexpr double kCloseHauledDeg = 45;       // off the wind, either tack
constexpr double kRunDeg = 30;               // off dead downwind, either gybe
constexpr double kTurnRate = 12;             // degrees a second in tacks and gybes
constexpr double kStartHalfMetres = 200;     // half the start line
constexpr double kFinishHalfMetres = 450;    // half the finish line
constexpr double kApproachMetres = kRoundingRadius;
constexpr double kLeadMetres = 25; // a mark is approached straight from this far

// Positions on the course's axis: u metres to the right looking upwind, w metres up, L at 0.
struct Axis {
    double u = 0;
    double w = 0;
};

double Wrap360(double degrees)
{
    return degrees - 360.0 * std::floor(degrees / 360.0);
}

struct Sample {
    double t = 0; // seconds after the boat's gun
    Axis at;
};

// One boat sailing the course by geometry, its headings on the axis (0 up, clockwise).
class Sailor {
public:
    Sailor(const RaceOptions& o, const BoatPlan& p, double gunAfterFirst, Random& random)
        : o_(o), p_(p), gun_(gunAfterFirst), random_(random)
    {
        lane_ = NextLane();
        v_ = p.SpeedKn * 1852.0 / 3600.0;
        heading_ = Shift(0) - kCloseHauledDeg;
        const Axis cross{p.LineOffsetMetres, o.StartAboveMetres};
        const double back = (p.CrossAfterGun + kPreStartSeconds) * v_;
        at_ = {cross.u - back * std::sin(Radians(heading_)), cross.w - back * std::cos(Radians(heading_))};
    }

    std::vector<Sample> Sail()
    {
        std::vector<Sample> path;
        for (double t = -kPreStartSeconds;
             t <= kLongestSeconds && !(finishedAt_ && t > *finishedAt_ + kAfterFinishSeconds); t += kStep) {
            path.push_back({t, at_});
            Steer(t);
            at_.u += v_ * kStep * std::sin(Radians(heading_));
            at_.w += v_ * kStep * std::cos(Radians(heading_));
        }
        return path;
    }

private:
    enum class Phase { PreStart, Back, Beat, RoundW, Run, RoundL };

    double Shift(double t) const { return o_.WindSwingDeg * std::sin(2 * kPi * (t + gun_) / o_.WindPeriodSeconds); }
    void TurnTowards(double target)
    {
        const double d = Wrap180(target - heading_);
        heading_ += std::clamp(d, -kTurnRate * kStep, kTurnRate * kStep);
    }
    // Turns the rounding's way by a rounding circle's rate until `target`; true once there.
    bool RoundTo(double target, bool left)
    {
        const double rate = v_ / kRoundingRadius * 180 / kPi * kStep;
        const double remaining = left ? Wrap360(heading_ - target) : Wrap360(target - heading_);
        if (remaining <= rate || remaining > 300)
            return true;
        heading_ += left ? -rate : rate;
        return false;
    }
    bool Wrong() const { return lap_ == p_.WrongSideLap; }
    // How far off the axis the next tack or gybe comes: boats spread over the beat and the run.
    double NextLane() { return p_.LaneMetres * random_.Uniform(0.3, 1.2); }

    void Steer(double t)
    {
        const double shift = Shift(t);
        switch (phase_) {
        case Phase::PreStart:
            if (t >= 3 && at_.w > o_.StartAboveMetres && !p_.ComesBack)
                phase_ = Phase::Beat, side_ = -1;
            else if (t >= 3 && at_.w > o_.StartAboveMetres)
                phase_ = Phase::Back;
            else if (t >= 0 && at_.w <= o_.StartAboveMetres)
                phase_ = Phase::Beat, side_ = -1;
            return;
        case Phase::Back:
            if (at_.w < o_.StartAboveMetres - 15)
                phase_ = Phase::Beat, side_ = -1;
            TurnTowards(180);
            return;
        case Phase::Beat:
            return Beat(t, shift);
        case Phase::RoundW:
            if (RoundTo(180 + shift + (Wrong() ? -kRunDeg : kRunDeg), !Wrong()))
                phase_ = Phase::Run, side_ = Wrong() ? -1 : 1, final_ = straight_ = false;
            return;
        case Phase::Run:
            return Run(shift);
        case Phase::RoundL:
            if (RoundTo(shift + kCloseHauledDeg, true)) {
                phase_ = Phase::Beat, side_ = 1, final_ = straight_ = false, ++lap_;
                lane_ = random_.Uniform() < 0.5 ? NextLane() : 0; // tacks at once, or later
            }
            return;
        }
    }

    void Beat(double t, double shift)
    {
        if (lap_ > o_.Laps) {
            if (!finishedAt_ && at_.w >= o_.FinishAboveMetres)
                finishedAt_ = t;
        } else {
            // Up to a point below the mark on the side it is left on, then straight up past it.
            Axis a{Wrong() ? -kApproachMetres : kApproachMetres, o_.BeatMetres - kLeadMetres};
            if (straight_ && at_.w >= o_.BeatMetres) {
                phase_ = Phase::RoundW;
                return;
            }
            if (!final_ &&
                ((a.w - at_.w <= std::fabs(a.u - at_.u) && (a.u - at_.u) * side_ > 0) || a.w - at_.w < kLeadMetres))
                final_ = true;
            straight_ = straight_ || (final_ && std::hypot(a.u - at_.u, a.w - at_.w) < 4);
            if (straight_)
                a.w = o_.BeatMetres + kLeadMetres;
            if (final_)
                return TurnTowards(std::atan2(a.u - at_.u, a.w - at_.w) * 180 / kPi);
        }
        if (side_ * at_.u > lane_)
            side_ = -side_, lane_ = NextLane();
        TurnTowards(shift + side_ * kCloseHauledDeg);
    }

    void Run(double shift)
    {
        Axis b{-kApproachMetres, kLeadMetres};
        if (straight_ && at_.w <= 0) {
            phase_ = Phase::RoundL;
            return;
        }
        const double lateral = std::tan(Radians(kRunDeg)) * (at_.w - b.w);
        if (!final_ && ((lateral <= std::fabs(b.u - at_.u) && (b.u - at_.u) * side_ > 0) || at_.w - b.w < kLeadMetres))
            final_ = true;
        straight_ = straight_ || (final_ && std::hypot(b.u - at_.u, b.w - at_.w) < 4);
        if (straight_)
            b.w = -kLeadMetres;
        if (final_)
            return TurnTowards(std::atan2(b.u - at_.u, b.w - at_.w) * 180 / kPi);
        if (side_ * at_.u > lane_)
            side_ = -side_, lane_ = NextLane();
        TurnTowards(180 + shift + side_ * kRunDeg);
    }

    const RaceOptions& o_;
    BoatPlan p_;
    double gun_;
    Random& random_;
    double lane_ = 0;
    double v_ = 0;
    double heading_ = 0;
    Axis at_;
    Phase phase_ = Phase::PreStart;
    int side_ = -1;
    bool final_ = false;    // making for the point below (or above) the mark
    bool straight_ = false; // from there straight past the mark
    int lap_ = 1;
    std::optional<double> finishedAt_;
};

// The crossing of the horizontal line at `w` between `halfWidth` either side of the axis,
// upwards, between two samples: its time.
std::optional<double> UpAcross(const Sample& a, const Sample& b, double w, double halfWidth)
{
    if (!(a.at.w < w && b.at.w >= w))
        return std::nullopt;
    const double s = (w - a.at.w) / (b.at.w - a.at.w);
    if (std::fabs(a.at.u + s * (b.at.u - a.at.u)) > halfWidth)
        return std::nullopt;
    return a.t + s * (b.t - a.t);
}

// The crossing of a mark's half-line (W's up, L's down from the mark) between two samples:
// +1 counter-clockwise (leaving it to port), -1 clockwise; and its time.
int AcrossRay(const Sample& a, const Sample& b, double markW, bool up, double& time)
{
    if ((a.at.u >= 0) == (b.at.u >= 0))
        return 0;
    const double s = a.at.u / (a.at.u - b.at.u);
    const double w = a.at.w + s * (b.at.w - a.at.w);
    if (up ? w < markW : w > markW)
        return 0;
    time = a.t + s * (b.t - a.t);
    const bool leftwards = b.at.u < 0;
    return (up ? leftwards : !leftwards) ? 1 : -1;
}

TrueBoat Truth(const RaceOptions& o, const std::vector<Sample>& path)
{
    TrueBoat truth;
    const int marks = 2 * o.Laps;
    int winding = 0;
    bool finishCrossed = false;
    for (std::size_t i = 1; i < path.size(); ++i) {
        const Sample &a = path[i - 1], &b = path[i];
        if (a.t < 0 && b.t >= 0) {
            const double f = -a.t / (b.t - a.t);
            const double u = a.at.u + f * (b.at.u - a.at.u), w = a.at.w + f * (b.at.w - a.at.w);
            truth.Ocs = w > o.StartAboveMetres;
            // P1 lies kStartHalfMetres to the right, P2 as far to the left.
            const double beyond = std::max(0.0, std::fabs(u) - kStartHalfMetres);
            truth.LineMetresAtGun = (truth.Ocs ? -1 : 1) * std::hypot(beyond, w - o.StartAboveMetres);
            truth.LinePositionAtGun = (kStartHalfMetres - u) / (2 * kStartHalfMetres);
        }
        const int next = static_cast<int>(truth.RoundingSeconds.size());
        double time = 0;
        const int sense = next < marks ? AcrossRay(a, b, next % 2 ? 0 : o.BeatMetres, next % 2 == 0, time) : 0;
        const double after =
            truth.RoundingSeconds.empty() ? truth.StartSeconds.value_or(0) : truth.RoundingSeconds.back();
        if (!truth.StartSeconds) {
            if (sense != 0 && (winding += sense) == 1)
                break; // round the first mark without a start: no start any more
            if (const auto t = UpAcross(a, b, o.StartAboveMetres, kStartHalfMetres); t && *t >= 0)
                truth.StartSeconds = *t, winding = 0;
            continue;
        }
        if (sense != 0 && time > after && (winding += sense) == 1) {
            truth.RoundingSeconds.push_back(time);
            winding = 0;
            finishCrossed = false;
            continue;
        }
        if (const auto t = UpAcross(a, b, o.FinishAboveMetres, kFinishHalfMetres); t && *t > after) {
            finishCrossed = true;
            if (next == marks) {
                truth.FinishSeconds = *t;
                break;
            }
        }
    }
    const int next = static_cast<int>(truth.RoundingSeconds.size());
    truth.Status = truth.FinishSeconds                ? "finished"
                   : !truth.StartSeconds && truth.Ocs ? "OCS"
                   : truth.StartSeconds && finishCrossed
                       ? std::string(next % 2 ? "missed L lap " : "missed W lap ") + std::to_string(next / 2 + 1)
                       : "DNF";
    return truth;
}

std::string Fixed(double value, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

TrueRace WriteRace(const RaceOptions& o)
{
    std::filesystem::create_directories(o.Out);
    TrueRace race;
    race.RaceFile = o.Out / (o.RaceName + ".TP1");
    const Vec up = Towards(o.WindFromDeg), right = Towards(o.WindFromDeg + 90);
    const double metresPerDegreeLat = 60 * 1852.0, metresPerDegreeLon = metresPerDegreeLat * std::cos(Radians(o.Lat));
    const auto latLon = [&](Axis a) {
        const Vec p = a.u * right + a.w * up;
        return Fixed(o.Lat + p.y / metresPerDegreeLat, 7) + " " + Fixed(o.Lon + p.x / metresPerDegreeLon, 7);
    };
    const auto line = [&](const char* key, double w, double half) {
        return std::string(key) + " " + latLon({half, w}) + " " + latLon({-half, w});
    };
    race.CourseLines = {line("start", o.StartAboveMetres, kStartHalfMetres),
                        "mark W " + latLon({0, o.BeatMetres}) + " port",
                        "mark L " + latLon({0, 0}) + " port",
                        "course W L",
                        "laps " + std::to_string(o.Laps),
                        line("finish", o.FinishAboveMetres, kFinishHalfMetres)};
    const long long firstGun = std::llround(DateValueFromText(o.FirstStart) * kSecondsPerDay);
    Random random(o.Seed);
    std::string raceText;
    for (std::size_t k = 0; k < o.Boats.size(); ++k) {
        const BoatPlan& plan = o.Boats[k];
        Random sailing(o.Seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull * (k + 1));
        const std::vector<Sample> path = Sailor(o, plan, plan.GunAfterFirst, sailing).Sail();
        TrueBoat truth = Truth(o, path);
        truth.File = "boat" + std::to_string(k + 1) + ".txt";
        const long long gun = firstGun + plan.GunAfterFirst;
        std::string text = "Latitude,Longitude,Date,Time\r\n";
        const auto every = static_cast<std::size_t>(std::llround(o.IntervalSeconds / kStep));
        for (std::size_t i = 0; i < path.size(); i += every) {
            const Axis at{path[i].at.u + o.NoiseMetres * random.Normal(),
                          path[i].at.w + o.NoiseMetres * random.Normal()};
            const long long when = gun + std::llround(path[i].t);
            const std::string date = DateText(static_cast<double>(when) / kSecondsPerDay);
            const Vec p = at.u * right + at.w * up;
            text += Fixed(o.Lat + p.y / metresPerDegreeLat, 7) + "," + Fixed(o.Lon + p.x / metresPerDegreeLon, 7) +
                    "," + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2) + "," + date.substr(11, 2) +
                    date.substr(14, 2) + date.substr(17, 2) + "\r\n";
        }
        std::ofstream track(o.Out / truth.File, std::ios::binary);
        if (!(track << text).flush())
            throw std::runtime_error("cannot write " + (o.Out / truth.File).string());
        raceText += BoatEntryLine(truth.File, DateText(static_cast<double>(gun) / kSecondsPerDay), Fixed(plan.Lys, 2),
                                  std::to_string(k * 397 % 1280), ",") +
                    "\r\n";
        race.Boats.push_back(std::move(truth));
    }
    std::ofstream raceFile(race.RaceFile, std::ios::binary);
    std::string course;
    for (const std::string& l : race.CourseLines)
        course += l + "\r\n";
    std::ofstream courseFile(race.RaceFile.string() + ".course", std::ios::binary);
    if (!(raceFile << raceText).flush() || !(courseFile << course).flush())
        throw std::runtime_error("cannot write " + race.RaceFile.string());
    return race;
}

} // namespace tideplot::coursesim
