#include "core/replayseries.h"

#include <algorithm>

namespace tideplot {

namespace {

std::uint16_t CourseCentiDeg(double courseDeg)
{
    if (!std::isfinite(courseDeg))
        return 0;
    double wrapped = std::fmod(courseDeg, 360.0);
    if (wrapped < 0)
        wrapped += 360;
    const auto centi = static_cast<long>(std::lround(wrapped * 100));
    return static_cast<std::uint16_t>(centi >= 36000 ? centi - 36000 : centi);
}

std::uint16_t SpeedBits(double speedKnots, bool drawn)
{
    const double knots = std::isfinite(speedKnots) ? std::clamp(speedKnots, 0.0, SeriesSample::kMaxSpeedKnots) : 0.0;
    const auto centi = static_cast<std::uint16_t>(std::lround(knots * 100));
    return static_cast<std::uint16_t>(centi | (drawn ? SeriesSample::kDrawnBit : 0));
}

} // namespace

std::size_t ReplaySeries::BytesFor(int boats, long long steps)
{
    const auto n = static_cast<std::size_t>(std::max(steps, 0LL));
    return n * (static_cast<std::size_t>(std::max(boats, 0)) * kBytesPerBoatStep + kBytesPerStep);
}

void ReplaySeries::clear(int boats)
{
    boats_.clear();
    boats_.resize(static_cast<std::size_t>(std::max(boats, 0)));
    clocks_ = {};
    widths_ = {};
    steps_ = 0;
}

void ReplaySeries::append(const StepOutcome& step)
{
    const std::size_t i = static_cast<std::size_t>(steps_);
    ++steps_;
    clocks_.put(i, step.RaceClock);
    widths_.put(i, step.LineWidth);
    for (std::size_t k = 0; k < boats_.size(); ++k) {
        SeriesSample sample;
        if (k < step.Boats.size()) {
            const BoatStep& boat = step.Boats[k];
            sample.Lat = boat.Position.Lat;
            sample.Lon = boat.Position.Lon;
            if (boat.HasDistance)
                sample.DistanceNm = static_cast<float>(boat.DistanceNm);
            sample.CourseCentiDeg = CourseCentiDeg(boat.CourseDeg);
            sample.SpeedBits = SpeedBits(boat.SpeedKnots, boat.Drawn);
            if (boat.TrackEnded && boats_[k].EndStep > steps_)
                boats_[k].EndStep = steps_;
        }
        boats_[k].Samples.put(i, sample);
    }
}

std::size_t ReplaySeries::bytes() const
{
    std::size_t blocks = 0;
    for (const BoatSeries& boat : boats_)
        blocks += boat.Samples.blockCount();
    return blocks * kBlockSteps * sizeof(SeriesSample) + clocks_.blockCount() * kBlockSteps * sizeof(double) +
           widths_.blockCount() * kBlockSteps * sizeof(std::int16_t) + boats_.capacity() * sizeof(BoatSeries);
}

BoatStep ReplaySeries::boatStep(int boat, long long step) const
{
    const SeriesSample& s = sample(boat, step);
    BoatStep out;
    const long long end = endStep(boat);
    out.Moved = step <= end;
    out.TrackEnded = step >= end;
    out.Position = TrackPoint{s.Lat, s.Lon, 0};
    out.HasPosition = s.hasPosition();
    out.HasDistance = s.hasDistance();
    out.DistanceNm = out.HasDistance ? s.DistanceNm : 0;
    out.CourseDeg = s.courseDeg();
    out.SpeedKnots = s.speedKnots();
    out.Drawn = s.drawn();
    if (out.Drawn) {
        const SeriesSample& before = sample(boat, step - 1);
        out.From = TrackPoint{before.Lat, before.Lon, 0};
        out.To = out.Position;
    }
    return out;
}

DrawnPiece ReplaySeries::piece(int boat, long long step) const
{
    const SeriesSample& to = sample(boat, step);
    const SeriesSample& from = sample(boat, step - 1);
    return DrawnPiece{
        static_cast<std::int32_t>(step),   static_cast<std::int16_t>(boat), lineWidth(step), raceClock(step),
        TrackPoint{from.Lat, from.Lon, 0}, TrackPoint{to.Lat, to.Lon, 0}};
}

long long StepAtRaceClock(const ReplaySeries& series, double raceClockDays)
{
    long long below = 0, above = series.stepCount() + 1; // clock(below) <= target < clock(above)
    while (above - below > 1) {
        const long long middle = below + (above - below) / 2;
        if (series.raceClock(middle) <= raceClockDays)
            below = middle;
        else
            above = middle;
    }
    return below;
}

} // namespace tideplot
