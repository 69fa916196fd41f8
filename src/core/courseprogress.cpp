#include "courseprogress.h"

#include "datetime.h"
#include "error.h"
#include "geometry.h"
#include "racehandicap.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

constexpr double kMetresPerDegree = 60 * 1852.0;

double Cross(double ax, double ay, double bx, double by)
{
    return ax * by - ay * bx;
}

} // namespace

RoundingLine::RoundingLine(const CourseMark& mark, double fromLat, double fromLon, double toLat, double toLon)
    : lat0_(mark.Lat), lon0_(mark.Lon), lonScale_(std::cos(Radians(mark.Lat))), gate_(mark.Gate), side_(mark.Side)
{
    if (gate_) {
        direction_ = ToPlane(mark.Lat2, mark.Lon2);
        return;
    }
    const auto unit = [](Point p) {
        const double length = std::hypot(p.x, p.y);
        return length > 0 ? Point{p.x / length, p.y / length} : Point{};
    };
    const Point from = ToPlane(fromLat, fromLon), to = ToPlane(toLat, toLon);
    const Point in = unit({-from.x, -from.y}), out = unit(to);
    // The legs turn towards the mark's side (to port for a port mark), or away from it by a
    // right angle or more: the boat goes round the mark, the line leaves it away from the
    // inside of the turn. Bent away from its side by less, the mark is passed on its side.
    const double turn = tideplot::Cross(in.x, in.y, out.x, out.y); // > 0: to port
    const double along = in.x * out.x + in.y * out.y;
    const bool passed = (side_ == MarkSide::Port ? turn < 0 : turn > 0) && along > 0;
    Point d = passed ? Point{out.x - in.x, out.y - in.y} : Point{in.x - out.x, in.y - out.y};
    if (std::hypot(d.x, d.y) < 1e-9) {
        // Legs in one straight line: square to them, on the side the boat passes.
        Point ahead = unit({in.x + out.x, in.y + out.y});
        if (ahead.x == 0 && ahead.y == 0)
            ahead = {0, 1};
        d = side_ == MarkSide::Port ? Point{ahead.y, -ahead.x} : Point{-ahead.y, ahead.x};
    }
    direction_ = unit(d);
}

RoundingLine::Point RoundingLine::ToPlane(double lat, double lon) const
{
    return {FoldLongitude(lon - lon0_) * lonScale_ * kMetresPerDegree, (lat - lat0_) * kMetresPerDegree};
}

std::optional<RoundingLine::Crossing> RoundingLine::Cross(double lat0, double lon0, double lat1, double lon1) const
{
    const Point a = ToPlane(lat0, lon0), b = ToPlane(lat1, lon1);
    const double sideA = tideplot::Cross(direction_.x, direction_.y, a.x, a.y);
    const double sideB = tideplot::Cross(direction_.x, direction_.y, b.x, b.y);
    const bool leftA = sideA >= 0, leftB = sideB >= 0;
    if (leftA == leftB)
        return std::nullopt;
    const double s = sideA / (sideA - sideB);
    const Point at{a.x + s * (b.x - a.x), a.y + s * (b.y - a.y)};
    const double along = at.x * direction_.x + at.y * direction_.y;
    if (gate_) {
        const double length2 = direction_.x * direction_.x + direction_.y * direction_.y;
        if (!(along >= 0 && along <= length2))
            return std::nullopt;
        return Crossing{1, s};
    }
    if (!(along >= 0))
        return std::nullopt;
    // From the right of the half-line to its left: counter-clockwise round the mark, which
    // lies on the boat's left.
    const bool port = leftB;
    return Crossing{port == (side_ == MarkSide::Port) ? 1 : -1, s};
}

double RoundingLine::BearingDeg() const
{
    const double deg = std::atan2(direction_.x, direction_.y) * 180 / Pi;
    return deg < 0 ? deg + 360 : deg;
}

double RoundingLine::DistanceNm(double lat, double lon) const
{
    const Point q = ToPlane(lat, lon);
    double along = 0;
    if (gate_) {
        const double length2 = direction_.x * direction_.x + direction_.y * direction_.y;
        along = std::clamp((q.x * direction_.x + q.y * direction_.y) / length2, 0.0, 1.0);
    }
    return std::hypot(q.x - along * direction_.x, q.y - along * direction_.y) / 1852.0;
}

CourseGeometry::CourseGeometry(Course course) : course_(std::move(course)), sequence_(course_.Sequence())
{
    if (!course_.Finish)
        throw Error("the course has no finish line");
    finish_.emplace(*course_.Finish);
    if (course_.Start)
        start_.emplace(*course_.Start, "the start line");
    const double finishLat = LineMiddleLat(*course_.Finish), finishLon = LineMiddleLon(*course_.Finish);
    const auto point = [&](std::size_t i) {
        const CourseMark& mark = course_.Marks[sequence_[i].Mark];
        return std::pair{mark.PointLat(), mark.PointLon()};
    };
    rounding_.resize(sequence_.size());
    legsAfter_.assign(sequence_.size(), 0);
    for (std::size_t i = sequence_.size(); i-- > 0;) {
        const auto [lat, lon] = point(i);
        const auto [toLat, toLon] = i + 1 < sequence_.size() ? point(i + 1) : std::pair{finishLat, finishLon};
        legsAfter_[i] = PlaneDistanceNm(lat, lon, toLat, toLon) + (i + 1 < sequence_.size() ? legsAfter_[i + 1] : 0);
        if (i > 0 || course_.Start) {
            const auto [fromLat, fromLon] =
                i > 0 ? point(i - 1) : std::pair{LineMiddleLat(*course_.Start), LineMiddleLon(*course_.Start)};
            rounding_[i].emplace(course_.Marks[sequence_[i].Mark], fromLat, fromLon, toLat, toLon);
        }
    }
    if (course_.Start) {
        const double lat = LineMiddleLat(*course_.Start), lon = LineMiddleLon(*course_.Start);
        const auto [toLat, toLon] = sequence_.empty() ? std::pair{finishLat, finishLon} : point(0);
        legsFromStart_ = PlaneDistanceNm(lat, lon, toLat, toLon) + (sequence_.empty() ? 0 : legsAfter_[0]);
    }
}

std::optional<CourseGeometry::LegFrom> CourseGeometry::LegIn(std::size_t i) const
{
    if (i > 0) {
        const CourseMark& before = course_.Marks[sequence_[i - 1].Mark];
        return LegFrom{before.PointLat(), before.PointLon(), legsAfter_[i - 1] - legsAfter_[i]};
    }
    if (!course_.Start || sequence_.empty())
        return std::nullopt;
    return LegFrom{LineMiddleLat(*course_.Start), LineMiddleLon(*course_.Start), legsFromStart_ - legsAfter_[0]};
}

RoundingLine CourseGeometry::FirstRounding(double fromLat, double fromLon) const
{
    const CourseMark& mark = course_.Marks[sequence_.at(0).Mark];
    const CourseMark* next = sequence_.size() > 1 ? &course_.Marks[sequence_[1].Mark] : nullptr;
    return RoundingLine(mark, fromLat, fromLon, next ? next->PointLat() : LineMiddleLat(*course_.Finish),
                        next ? next->PointLon() : LineMiddleLon(*course_.Finish));
}

CourseProgress::CourseProgress(std::shared_ptr<const CourseGeometry> course) : course_(std::move(course)) {}

void CourseProgress::Observe(const TimedPosition& at)
{
    if (!gunSeen_ && at.Time >= 0) {
        // Where the boat was at the gun: between the positions either side, or here; not
        // known when the positions start after it.
        gunSeen_ = true;
        const auto& line = course_->start();
        if (line && hasLast_ && last_.Time < 0) {
            const double s = -last_.Time / (at.Time - last_.Time);
            ocs_ = line->Side(last_.Lat + s * (at.Lat - last_.Lat),
                              FoldLongitude(last_.Lon + s * LongitudeDifference(at.Lon, last_.Lon))) < 0;
        } else if (line && at.Time == 0) {
            ocs_ = line->Side(at.Lat, at.Lon) < 0;
        }
    }
    if (hasLast_ && !finished_)
        Piece(last_, at);
    if (!course_->start() && !firstLine_ && !course_->sequence().empty() && at.Time >= 0)
        firstLine_ = course_->FirstRounding(at.Lat, at.Lon);
    last_ = at;
    hasLast_ = placed_ = true;
}

void CourseProgress::Piece(const TimedPosition& a, const TimedPosition& b)
{
    if (sailedPast_)
        return;
    if (!started_ && !Start(a, b))
        return;
    if (!awayFromLast_ && roundings_.size() < course_->sequence().size()) {
        const auto leg = course_->LegIn(roundings_.size());
        awayFromLast_ = !leg || PlaneDistanceNm(leg->Lat, leg->Lon, b.Lat, b.Lon) > leg->Nm / 2;
    }
    while (NextEvent(a, b)) {
    }
}

// The gun (OCS or not) and the start within the piece from a to b; true once started.
bool CourseProgress::Start(const TimedPosition& a, const TimedPosition& b)
{
    const auto& line = course_->start();
    if (!line) {
        if (b.Time < 0)
            return false;
        started_ = true;
        eventTime_ = 0;
        return true;
    }
    if (sailedOn_)
        return false;
    const auto timeAt = [&](double s) { return s == 1 ? b.Time : a.Time + s * (b.Time - a.Time); };
    const auto s = line->CrossingFraction(a.Lat, a.Lon, b.Lat, b.Lon);
    const double time = s ? timeAt(*s) : 0;
    // A boat that rounds the first mark without having started has sailed on: it starts no
    // more (an OCS boat crossing the start line on a later lap does not start then).
    if (b.Time >= 0 && !course_->sequence().empty()) {
        if (const auto crossing = course_->rounding(0)->Cross(a.Lat, a.Lon, b.Lat, b.Lon);
            crossing && timeAt(crossing->Fraction) >= 0 && (!s || timeAt(crossing->Fraction) < time) &&
            (winding_ += crossing->Sense) == 1) {
            sailedOn_ = true;
            return false;
        }
    }
    if (!s || !(time >= 0))
        return false;
    started_ = true;
    startCrossing_ = eventTime_ = time;
    winding_ = 0;
    return true;
}

const RoundingLine& CourseProgress::NextLine() const
{
    const RoundingLine* line = course_->rounding(roundings_.size());
    return line ? *line : *firstLine_;
}

// The next thing to happen within the piece from a to b after eventTime_: a crossing of the
// next mark's line (rounding it when its count reaches one), or of the finish line. True
// when the boat rounded a mark and may do more within the piece.
bool CourseProgress::NextEvent(const TimedPosition& a, const TimedPosition& b)
{
    const auto timeAt = [&](double s) { return s == 1 ? b.Time : a.Time + s * (b.Time - a.Time); };
    if (roundings_.size() < course_->sequence().size() && (course_->rounding(roundings_.size()) || firstLine_)) {
        if (const auto crossing = NextLine().Cross(a.Lat, a.Lon, b.Lat, b.Lon)) {
            const double time = timeAt(crossing->Fraction);
            if (time > eventTime_ && (winding_ += crossing->Sense) == 1) {
                roundings_.push_back(time);
                eventTime_ = time;
                winding_ = followingWinding_ = 0;
                finishCrossed_ = awayFromLast_ = false;
                return true;
            }
        }
        // Round the mark after it instead, away from the last one (not a loop round that one
        // on its way round): the boat has sailed on without this one.
        if (awayFromLast_ && roundings_.size() + 1 < course_->sequence().size()) {
            const auto crossing = course_->rounding(roundings_.size() + 1)->Cross(a.Lat, a.Lon, b.Lat, b.Lon);
            if (crossing && timeAt(crossing->Fraction) > eventTime_ && (followingWinding_ += crossing->Sense) == 1) {
                sailedPast_ = true;
                return false;
            }
        }
    }
    if (const auto s = course_->finish().CrossingFraction(a.Lat, a.Lon, b.Lat, b.Lon)) {
        const double time = timeAt(*s);
        if (time > eventTime_) {
            finishCrossed_ = true;
            if (roundings_.size() == course_->sequence().size()) {
                finished_ = true;
                finishTime_ = time;
            }
        }
    }
    return false;
}

RaceStatus CourseProgress::Status() const
{
    if (finished_)
        return RaceStatus::Finished;
    if (!started_)
        return ocs_ ? RaceStatus::Ocs : RaceStatus::Dnf;
    return sailedPast_ || finishCrossed_ ? RaceStatus::Missed : RaceStatus::Dnf;
}

double CourseProgress::RemainingNm() const
{
    if (finished_)
        return 0;
    if (!placed_)
        return -1;
    const auto& course = *course_;
    const std::size_t next = roundings_.size();
    if (!started_ && course.start())
        return course.start()->DistanceNm(last_.Lat, last_.Lon) + course.LegsFromStartNm();
    if (next == course.sequence().size())
        return course.finish().DistanceNm(last_.Lat, last_.Lon);
    const RoundingLine* line = course.rounding(next);
    const RoundingLine& toNext = line ? *line : firstLine_ ? *firstLine_ : course.FirstRounding(last_.Lat, last_.Lon);
    return toNext.DistanceNm(last_.Lat, last_.Lon) + course.LegsAfterNm(next);
}

CourseWatch::CourseWatch(std::shared_ptr<const CourseGeometry> course, int boatCount)
    : course_(std::move(course)), boats_(static_cast<std::size_t>(std::max(boatCount, 0)), CourseProgress(course_))
{
}

bool CourseWatch::Observe(int k, double lat, double lon, double raceClockDays)
{
    CourseProgress& boat = boats_.at(k);
    const bool before = boat.Finished();
    boat.Observe({lat, lon, raceClockDays});
    return !before && boat.Finished();
}

void CourseWatch::Reset()
{
    std::fill(boats_.begin(), boats_.end(), CourseProgress(course_));
}

double TrackFinishReader::clockAt(double elapsedSeconds) const
{
    if (!handicap_)
        return elapsedSeconds * lys_;
    return handicap_->ClockAtElapsed(boat_, elapsedSeconds / kSecondsPerDay) * kSecondsPerDay;
}

double TrackFinishReader::correctedAt(double elapsedSeconds) const
{
    return handicap_ ? handicap_->Corrected(boat_, elapsedSeconds, 1.0) : elapsedSeconds * lys_;
}

std::optional<double> TrackFinishReader::FinishedBy(double correctedSeconds)
{
    // A finish before that time lies before the first fix after it.
    while (!progress_.Finished() && !atEnd_ && clockAt(lastSeconds_) < correctedSeconds) {
        if (!reader_)
            reader_ = std::make_unique<TrackFixReader>(path_, sep_);
        TrackFix fix;
        if (reader_->next(fix)) {
            // Fix times and start times are whole seconds: rounding takes the date values'
            // floating-point error out of the seconds counted from the start.
            lastSeconds_ = std::round((fix.Time - start_) * kSecondsPerDay);
            progress_.Observe({fix.Lat, fix.Lon, lastSeconds_});
        } else {
            atEnd_ = true;
        }
        if (progress_.Finished() || atEnd_)
            reader_.reset();
    }
    if (progress_.Finished() && clockAt(progress_.FinishTime()) <= correctedSeconds)
        return correctedAt(progress_.FinishTime());
    return std::nullopt;
}

} // namespace tideplot
