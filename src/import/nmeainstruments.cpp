#include "nmeainstruments.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace tideplot::nmea {

namespace {

double Turned360(double deg)
{
    deg = std::fmod(deg, 360.0);
    return deg < 0 ? deg + 360.0 : deg;
}

// An angle 0 to 360 in its field.
std::optional<double> Angle(std::string_view text, double max = 360)
{
    double value = 0;
    if (!ReadNumber(text, value) || value < 0 || value > max)
        return std::nullopt;
    return value;
}

// "E" adds, "W" takes away; nothing without a number and a side.
std::optional<double> EastDeg(std::string_view value, std::string_view side)
{
    double deg = 0;
    if (!ReadNumber(value, deg) || deg < 0 || deg > 180 || (side != "E" && side != "W"))
        return std::nullopt;
    return side == "E" ? deg : -deg;
}

// The first of the speed fields that holds one: (value, unit) pairs at `fields`.
std::optional<double> FirstSpeed(const Sentence& s, std::initializer_list<std::size_t> fields)
{
    for (const std::size_t at : fields) {
        double knots = 0;
        if (ReadSpeedKnots(s[at], s[at + 1], knots))
            return knots;
    }
    return std::nullopt;
}

// The true wind seen from the bow, from the apparent wind and the boat's own motion along
// its bow at `boatKnots`. The apparent wind is the true wind plus the wind of the boat's
// motion, which comes from dead ahead at the boat's speed; both as vectors pointing where
// the wind comes from, in the boat's frame (x ahead, y to starboard):
//   true = (AWS cos AWA - BSP, AWS sin AWA), TWA = atan2(y, x), TWS = |true|
// (the wind triangle: e.g. F. Fossati, "Aero-Hydrodynamics and the Performance of Sailing
// Yachts", 2009, ch. 2).
void TrueFromApparent(double awaDeg, double awsKnots, double boatKnots, double& twaDeg, double& twsKnots)
{
    const double a = awaDeg * std::numbers::pi / 180;
    const double x = awsKnots * std::cos(a) - boatKnots;
    const double y = awsKnots * std::sin(a);
    twsKnots = std::hypot(x, y);
    twaDeg = std::atan2(y, x) * 180 / std::numbers::pi;
}

} // namespace

InstrumentSeconds::InstrumentSeconds(LogPoints* lines) : lines_(lines) {}

void InstrumentSeconds::At(LogSecond second)
{
    if (timed_ && second == second_)
        return;
    Flush();
    slot_ = Slot{};
    second_ = second;
    timed_ = true;
}

void InstrumentSeconds::Take(const Sentence& s)
{
    const std::string_view type = s.Type;
    if (type == "RMC" || type == "VTG") {
        if (type == "RMC" && s[1] != "A")
            return;
        if (type == "RMC") {
            if (const std::optional<double> east = EastDeg(s[9], s[10]))
                variation_ = east;
        }
        // VTG as NMEA 2 writes it ("054.7,T,034.4,M,005.5,N,010.2,K,A"), or as 1.5 did
        // ("054.7,034.4,005.5,010.2"); a mode "N" is no valid reading.
        const bool vtg2 = type == "VTG" && s[1] == "T";
        if ((type == "VTG" && vtg2 && s[8] == "N") || !timed_)
            return;
        const std::optional<double> cog = Angle(type == "RMC" ? s[7] : s[0]);
        double sog = 0;
        const bool haveSog = type == "RMC" ? ReadSpeedKnots(s[6], "N", sog)
                             : vtg2        ? ReadSpeedKnots(s[4], "N", sog) || ReadSpeedKnots(s[6], "K", sog)
                                           : ReadSpeedKnots(s[2], "N", sog);
        if (cog)
            course_ = Latest{*cog, second_, false, true};
        if (haveSog)
            groundSpeed_ = Latest{sog, second_, false, true};
        return;
    }
    if (type == "HDG") {
        const std::optional<double> variation = EastDeg(s[3], s[4]);
        if (variation)
            variation_ = variation;
        double deg = 0;
        if (ReadNumber(s[0], deg) && deg >= 0 && deg <= 360)
            Heading(deg + EastDeg(s[1], s[2]).value_or(0), true, variation);
    } else if (type == "HDT" || type == "HDM") {
        if (const std::optional<double> deg = Angle(s[0]))
            Heading(*deg, type == "HDM", std::nullopt);
    } else if (type == "VHW") {
        if (const std::optional<double> knots = FirstSpeed(s, {4, 6}); knots && timed_) {
            if (!slot_.BoatSpeed)
                slot_.BoatSpeed = knots;
            slot_.Any = true;
            boatSpeed_ = Latest{*knots, second_, false, true};
        }
    } else if (type == "MWV" || type == "VWR" || type == "VWT" || type == "MWD") {
        Wind(s);
    }
}

void InstrumentSeconds::Heading(double deg, bool magnetic, std::optional<double> variation)
{
    if (!timed_)
        return;
    Reading reading{Turned360(deg), false};
    if (magnetic) {
        if (!variation)
            variation = variation_;
        reading.MagneticAsTrue = !variation;
        reading.Value = Turned360(deg + variation.value_or(0));
    }
    if (!slot_.Heading)
        slot_.Heading = reading;
    slot_.Any = true;
    heading_ = Latest{reading.Value, second_, reading.MagneticAsTrue, true};
}

std::optional<InstrumentSeconds::Reading> InstrumentSeconds::Direction(std::optional<double> trueDeg,
                                                                       std::optional<double> magneticDeg)
{
    if (trueDeg)
        return Reading{Turned360(*trueDeg), false};
    if (!magneticDeg)
        return std::nullopt;
    return Reading{Turned360(*magneticDeg + variation_.value_or(0)), !variation_};
}

void InstrumentSeconds::Wind(const Sentence& s)
{
    if (!timed_)
        return;
    const std::string_view type = s.Type;
    std::optional<double> angle, knots;
    bool relative = type == "VWR";
    if (type == "MWD") {
        const std::optional<Reading> twd =
            Direction(s[1] == "T" ? Angle(s[0]) : std::nullopt, s[3] == "M" ? Angle(s[2]) : std::nullopt);
        knots = FirstSpeed(s, {4, 6});
        if (!slot_.Twd && !slot_.TwdSpeed && (twd || knots)) {
            slot_.Twd = twd;
            slot_.TwdSpeed = knots;
            slot_.Any = true;
        }
        return;
    }
    if (type == "MWV") {
        if (s[4] != "A" || (s[1] != "R" && s[1] != "T"))
            return;
        relative = s[1] == "R";
        angle = Angle(s[0]);
        if (angle && *angle > 180)
            *angle -= 360;
        knots = FirstSpeed(s, {2});
    } else {
        angle = Angle(s[0], 180);
        if (angle && s[1] != "R")
            angle = s[1] == "L" ? std::optional<double>(-*angle) : std::nullopt;
        knots = FirstSpeed(s, {2, 4, 6});
    }
    std::optional<double>& slotAngle = relative ? slot_.Awa : slot_.Twa;
    std::optional<double>& slotSpeed = relative ? slot_.Aws : slot_.TwaSpeed;
    if (!slotAngle && !slotSpeed && (angle || knots)) {
        slotAngle = angle;
        slotSpeed = knots;
        slot_.Any = true;
    }
}

std::optional<InstrumentSeconds::Reading> InstrumentSeconds::Reference(bool& fromCourse) const
{
    fromCourse = false;
    if (slot_.Heading)
        return slot_.Heading;
    if (heading_.Current(second_))
        return Reading{heading_.Value, heading_.MagneticAsTrue};
    if (course_.Current(second_) && groundSpeed_.Current(second_) && groundSpeed_.Value >= kCourseMinKnots) {
        fromCourse = true;
        return Reading{course_.Value, false};
    }
    return std::nullopt;
}

void InstrumentSeconds::TrueWind(WindFileLine& line)
{
    bool fromCourse = false;
    bool magnetic = false;
    long* source = nullptr;
    if (slot_.Twd) {
        line.TwdDeg = slot_.Twd->Value;
        magnetic = slot_.Twd->MagneticAsTrue;
        line.TwsKnots = slot_.TwdSpeed ? slot_.TwdSpeed : slot_.TwaSpeed;
        source = &summary_.TrueGiven;
    } else if (slot_.Twa || slot_.TwaSpeed) {
        line.TwsKnots = slot_.TwaSpeed ? slot_.TwaSpeed : slot_.TwdSpeed;
        const std::optional<Reading> ref = Reference(fromCourse);
        if (slot_.Twa && ref) {
            line.TwdDeg = ref->Value + *slot_.Twa;
            magnetic = ref->MagneticAsTrue;
        }
        source = &summary_.TrueFromAngle;
    } else if (slot_.Awa && slot_.Aws) {
        std::optional<double> speed = slot_.BoatSpeed;
        if (!speed && boatSpeed_.Current(second_))
            speed = boatSpeed_.Value;
        const bool overGround = !speed && groundSpeed_.Current(second_);
        if (overGround)
            speed = groundSpeed_.Value;
        if (!speed) {
            line.TwsKnots = slot_.TwdSpeed;
            return;
        }
        double twa = 0, tws = 0;
        TrueFromApparent(*slot_.Awa, *slot_.Aws, *speed, twa, tws);
        line.TwsKnots = tws;
        const std::optional<Reading> ref = Reference(fromCourse);
        if (ref) {
            line.TwdDeg = ref->Value + twa;
            magnetic = ref->MagneticAsTrue;
        }
        source = &summary_.Computed;
        if (overGround && ref)
            ++summary_.ComputedOverGround;
    } else {
        line.TwsKnots = slot_.TwdSpeed;
    }
    if (!line.TwdDeg || !source)
        return;
    ++summary_.TrueWind;
    ++*source;
    summary_.FromCourse += fromCourse ? 1 : 0;
    summary_.MagneticAsTrue += magnetic ? 1 : 0;
}

void InstrumentSeconds::Flush()
{
    if (!timed_ || !slot_.Any)
        return;
    WindFileLine line;
    if (slot_.Heading) {
        line.HdgDeg = slot_.Heading->Value;
        summary_.MagneticHeadings += slot_.Heading->MagneticAsTrue ? 1 : 0;
    }
    line.BspKnots = slot_.BoatSpeed;
    line.AwaDeg = slot_.Awa;
    line.AwsKnots = slot_.Aws;
    TrueWind(line);
    ++summary_.Seconds;
    if (!lines_)
        return;
    const LogSecond day = second_ >= 0 ? second_ / 86400 : -((-second_ + 86399) / 86400);
    if (!haveDay_ || day * 86400 != dayStart_) {
        using namespace std::chrono;
        const year_month_day date{sys_days{year{1899} / December / 30} + days{day}};
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02u%02u", int(date.year()), unsigned(date.month()),
                      unsigned(date.day()));
        date_ = text;
        dayStart_ = day * 86400;
        haveDay_ = true;
    }
    const auto secondOfDay = int(second_ - dayStart_);
    char time[16];
    std::snprintf(time, sizeof time, "%02d%02d%02d", secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    lines_->Add(second_, WindLineText(date_, time, line));
}

void InstrumentSeconds::Finish()
{
    Flush();
    slot_ = Slot{};
}

} // namespace tideplot::nmea
