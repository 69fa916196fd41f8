#include "fixfilter.h"

#include "smoothing.h"

#include <algorithm>
#include <cmath>

namespace tideplot::trackmotion {

namespace {

bool WithinReach(const MotionSample& from, const MotionSample& to)
{
    const double reach = kOutOfReachKnots * kMetresPerKnotSecond * (static_cast<double>(to.Seconds) - from.Seconds);
    // Mostly told without a cosine: a degree of longitude is no longer than one of latitude.
    const double dLat = std::fabs(static_cast<double>(to.Lat7) - from.Lat7) * 1e-7 * kMetresPerDegreeLat;
    const double dLon = std::fabs(static_cast<double>(to.Lon7) - from.Lon7) * 1e-7 * kMetresPerDegreeLat;
    if (dLat + dLon <= reach)
        return true;
    return LegMetres(from, to) <= reach;
}

} // namespace

double LegMetres(const MotionSample& a, const MotionSample& b)
{
    double east = 0, north = 0;
    LegVector(a, b, east, north);
    return Length(east, north);
}

void FixFilter::add(const MotionSample& sample, long line)
{
    const Held fix{sample, line};
    if (settled_ && suspects_.empty() && !jumped_ && WithinReach(last_.Sample, sample)) {
        // The usual fix, the next along a track that has lasted.
        last_ = fix;
        take_(sample, false);
        return;
    }
    if (!haveLast_ || WithinReach(last_.Sample, sample)) {
        leaveOut(suspects_);
        suspects_.clear();
        haveLast_ = true;
        last_ = fix;
        keep(fix);
        return;
    }
    suspects_.push_back(fix);
    if (sample.Seconds - suspects_.front().Sample.Seconds >= kGlitchSeconds)
        adoptSuspects();
}

void FixFilter::finish()
{
    // A track too short to settle that jumps: its longer part is the track.
    while (!suspects_.empty() && !settled_ && suspects_.size() > held_.size())
        adoptSuspects();
    leaveOut(suspects_);
    suspects_.clear();
    // A track too short to settle is kept whole.
    const std::vector<Held> held = std::move(held_);
    held_.clear();
    settled_ = true;
    for (const Held& fix : held)
        keep(fix);
}

void FixFilter::keep(const Held& fix)
{
    if (!settled_) {
        held_.push_back(fix);
        if (fix.Sample.Seconds - held_.front().Sample.Seconds < kGlitchSeconds)
            return;
        settled_ = true;
        for (const Held& h : held_)
            keep(h);
        held_.clear();
        return;
    }
    if (jumped_ && Jumps++ == 0)
        FirstJumpLine = fix.Line;
    take_(fix.Sample, jumped_);
    jumped_ = false;
}

void FixFilter::leaveOut(const std::vector<Held>& fixes)
{
    for (const Held& fix : fixes) {
        ++Glitches;
        FirstGlitchLine = FirstGlitchLine == 0 ? fix.Line : std::min(FirstGlitchLine, fix.Line);
    }
}

// The suspects have lasted kGlitchSeconds out of reach: the track goes on from them. The
// track before jumped there, or, when it had not lasted as long, was a glitch itself.
void FixFilter::adoptSuspects()
{
    const std::vector<Held> suspects = std::move(suspects_);
    suspects_.clear();
    if (settled_)
        jumped_ = true;
    else
        leaveOut(held_);
    held_.clear();
    settled_ = false;
    haveLast_ = false;
    for (const Held& fix : suspects)
        add(fix.Sample, fix.Line);
}

} // namespace tideplot::trackmotion
