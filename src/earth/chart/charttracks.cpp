#include "earth/chart/charttracks.h"

#include "core/error.h"
#include "core/geometry.h"
#include "earth/chart/chartview.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tideplot {

namespace {

constexpr double kMaxPenWidth = 100;
constexpr int kTailAlphaLevels = 24;
constexpr double kMinutesPerDay = 24 * 60;
// Race clocks a hundredth of a second apart are the same moment.
constexpr double kClockToleranceDays = 0.01 / 86400;

bool SamePoint(const QPointF& a, const QPointF& b)
{
    return a.x() == b.x() && a.y() == b.y();
}

bool Reaches(const QRectF& bounds, const QRectF& clip)
{
    return bounds.left() <= clip.right() && bounds.right() >= clip.left() && bounds.top() <= clip.bottom() &&
           bounds.bottom() >= clip.top();
}

void Extend(ChartRun& run, const QPointF& p)
{
    if (run.Points.empty()) {
        run.Bounds = QRectF(p, QSizeF(0, 0));
    } else {
        const double left = std::min(run.Bounds.left(), p.x());
        const double top = std::min(run.Bounds.top(), p.y());
        const double right = std::max(run.Bounds.right(), p.x());
        const double bottom = std::max(run.Bounds.bottom(), p.y());
        run.Bounds = QRectF(left, top, right - left, bottom - top);
    }
    run.Points.push_back(p);
}

void CheckOnGlobe(const KmlLineString& line)
{
    for (const KmlCoordinate& c : line.Points) {
        if (std::abs(c.Lat) <= 90 && std::abs(c.Lon) <= 180)
            continue;
        throw Error(QStringLiteral("the chart cannot show the line \"%1\": its point %2,%3 lies off the globe "
                                   "(longitude -180 to 180, latitude -90 to 90)")
                        .arg(line.Name, KmlNumberText(c.Lon), KmlNumberText(c.Lat))
                        .toStdString());
    }
}

// The horizontal shifts by which the world's tracks are drawn into `clip` (projected
// metres): 0, and one world's width east or west where the clip reaches past the 180th
// meridian, so a fleet near it is seen on both of its sides.
std::vector<double> WorldShifts(const QRectF& clip)
{
    const double halfWorld = ProjectLatLon(0, 180).x();
    std::vector<double> shifts{0};
    if (clip.right() > halfWorld)
        shifts.push_back(2 * halfWorld);
    if (clip.left() < -halfWorld)
        shifts.push_back(-2 * halfWorld);
    return shifts;
}

// The pieces of a tail: those whose race clock lies within its minutes up to its clock.
std::pair<std::size_t, std::size_t> TailRange(const std::vector<ChartPiece>& pieces, const ChartTail& tail)
{
    const double from = tail.RaceClockDays - tail.Minutes / kMinutesPerDay - kClockToleranceDays;
    const double to = tail.RaceClockDays + kClockToleranceDays;
    const auto first = std::lower_bound(pieces.begin(), pieces.end(), from,
                                        [](const ChartPiece& p, double clock) { return p.RaceClock < clock; });
    const auto last = std::upper_bound(first, pieces.end(), to,
                                       [](double clock, const ChartPiece& p) { return clock < p.RaceClock; });
    return {static_cast<std::size_t>(first - pieces.begin()), static_cast<std::size_t>(last - pieces.begin())};
}

} // namespace

QPen ChartLinePen(KmlColour colour, double width)
{
    const QColor c(static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                   static_cast<int>((colour >> 16) & 0xff), static_cast<int>(colour >> 24));
    return QPen(c, std::min(width, kMaxPenWidth), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void ChartTracks::add(const std::vector<KmlLineString>& lines, std::vector<ChartSegment>* added)
{
    for (const KmlLineString& line : lines)
        CheckOnGlobe(line);
    for (const KmlLineString& line : lines) {
        std::vector<QPointF> points;
        points.reserve(line.Points.size());
        // Each piece the short way, as Google Earth draws it: a point more than 180 degrees
        // of longitude from the one before it is taken across the 180th meridian.
        double lonBefore = 0;
        for (const KmlCoordinate& c : line.Points) {
            const double lon = points.empty() ? c.Lon : UnwrapLongitude(c.Lon, lonBefore);
            points.push_back(ProjectLatLon(c.Lat, lon));
            lonBefore = lon;
        }
        addLine(line, std::move(points), added);
    }
}

void ChartTracks::addLine(const KmlLineString& line, std::vector<QPointF> points, std::vector<ChartSegment>* added)
{
    if (points.empty())
        return;
    auto it = trackByName_.constFind(line.Name);
    if (it == trackByName_.constEnd()) {
        it = trackByName_.insert(line.Name, tracks_.size());
        tracks_.push_back(ChartTrack{line.Name, line.Colour, points.front(), -1});
    }
    ChartTrack& track = tracks_[*it];
    track.Colour = line.Colour;
    track.Newest = points.front();
    maxWidth_ = std::max(maxWidth_, std::min(line.Width, kMaxPenWidth));
    if (points.size() < 2)
        return;
    segmentCount_ += points.size() - 1;
    if (added) {
        for (std::size_t i = 1; i < points.size(); ++i)
            added->push_back(ChartSegment{points[i], points[i - 1], line.Colour, line.Width});
    }
    append(track, line.Colour, line.Width, false, points);
}

// The newest point of a line is its first one (the replay writes each segment from the
// boat's new position back to its previous one), so runs keep points oldest first and
// a segment that ends where the open run ends continues it.
void ChartTracks::append(ChartTrack& track, KmlColour colour, double width, bool timed, std::span<const QPointF> points)
{
    const std::size_t n = points.size();
    bool reversed = true;
    std::size_t skip = 0;
    if (track.OpenRun >= 0) {
        const ChartRun& open = runs_[static_cast<std::size_t>(track.OpenRun)];
        if (open.Colour == colour && open.Width == width && open.Timed == timed) {
            if (SamePoint(open.Points.back(), points.back())) {
                skip = 1;
            } else if (SamePoint(open.Points.back(), points.front())) {
                skip = 1;
                reversed = false;
            }
        }
    }
    if (skip == 0) {
        runs_.push_back(ChartRun{colour, width, {}, {}, timed});
        track.OpenRun = static_cast<std::ptrdiff_t>(runs_.size() - 1);
    }
    for (std::size_t i = skip; i < n; ++i) {
        const QPointF& p = reversed ? points[n - 1 - i] : points[i];
        ChartRun* run = &runs_[static_cast<std::size_t>(track.OpenRun)];
        if (run->Points.size() >= ChartRun::kMaxPoints) {
            const QPointF last = run->Points.back();
            runs_.push_back(ChartRun{colour, width, {}, {}, timed});
            track.OpenRun = static_cast<std::ptrdiff_t>(runs_.size() - 1);
            run = &runs_.back();
            Extend(*run, last);
        }
        Extend(*run, p);
    }
}

void ChartTracks::setBoats(std::vector<ChartBoat> boats)
{
    boats_ = std::move(boats);
    for (std::size_t b = 0; b < trails_.size() && b < boats_.size(); ++b) {
        if (trails_[b].Track < 0)
            continue;
        ChartTrack& track = tracks_[static_cast<std::size_t>(trails_[b].Track)];
        track.Name = boats_[b].Caption;
        track.Colour = boats_[b].Colour;
    }
}

void ChartTracks::checkPieces(std::span<const DrawnPiece> pieces, double clockBefore) const
{
    for (const DrawnPiece& piece : pieces) {
        const auto fail = [&](const QString& why) {
            const QString boat =
                piece.Boat >= 0 && static_cast<std::size_t>(piece.Boat) < boats_.size()
                    ? QStringLiteral("\"%1\"").arg(boats_[static_cast<std::size_t>(piece.Boat)].Caption)
                    : QStringLiteral("boat %1").arg(piece.Boat);
            throw Error(QStringLiteral("the chart cannot draw the piece of step %1 of %2: %3")
                            .arg(piece.Step)
                            .arg(boat, why)
                            .toStdString());
        };
        if (piece.Boat < 0 || static_cast<std::size_t>(piece.Boat) >= boats_.size())
            fail(QStringLiteral("the chart knows the colours of %1 boats only").arg(boats_.size()));
        for (const TrackPoint* p : {&piece.From, &piece.To}) {
            if (!(std::abs(p->Lat) <= 90 && std::abs(p->Lon) <= 180))
                fail(QStringLiteral("its point %1,%2 lies off the globe (longitude -180 to 180, latitude -90 to 90)")
                         .arg(KmlNumberText(p->Lon), KmlNumberText(p->Lat)));
        }
        if (piece.Width < 0)
            fail(QStringLiteral("its width %1 is below 0").arg(piece.Width));
        if (!std::isfinite(piece.RaceClock))
            fail(QStringLiteral("its race clock is not a number"));
        if (piece.RaceClock < clockBefore)
            fail(QStringLiteral("its race clock %1 days comes before %2 days, that of a piece drawn before it "
                                "(pieces come in step order)")
                     .arg(KmlNumberText(piece.RaceClock), KmlNumberText(clockBefore)));
        clockBefore = piece.RaceClock;
    }
}

void ChartTracks::addPieces(std::span<const DrawnPiece> pieces, std::vector<ChartSegment>* added)
{
    checkPieces(pieces, pieces_.empty() ? -std::numeric_limits<double>::infinity() : pieces_.back().RaceClock);
    addCheckedPieces(pieces, added);
}

void ChartTracks::addCheckedPieces(std::span<const DrawnPiece> pieces, std::vector<ChartSegment>* added)
{
    if (trails_.size() < boats_.size())
        trails_.resize(boats_.size());
    const std::size_t needed = pieces_.size() + pieces.size();
    if (needed > pieces_.capacity())
        pieces_.reserve(std::max(needed, 2 * pieces_.capacity()));
    for (const DrawnPiece& piece : pieces)
        addPiece(piece, added);
}

void ChartTracks::addPiece(const DrawnPiece& piece, std::vector<ChartSegment>* added)
{
    const auto b = static_cast<std::size_t>(piece.Boat);
    const ChartBoat& boat = boats_[b];
    BoatTrail& trail = trails_[b];
    // The piece the short way, as its document is read: its start taken across the 180th
    // meridian when it lies more than 180 degrees of longitude from its end. The start's
    // latitude is mostly the end of the boat's last piece, projected already.
    const QPointF to = ProjectLatLon(piece.To.Lat, piece.To.Lon);
    const double fromLon = UnwrapLongitude(piece.From.Lon, piece.To.Lon);
    const double fromY =
        trail.HasLast && piece.From.Lat == trail.LastLat ? trail.LastY : ProjectLatLon(piece.From.Lat, 0).y();
    const QPointF from(ProjectLatLon(0, fromLon).x(), fromY);
    trail.LastLat = piece.To.Lat;
    trail.LastY = to.y();
    trail.HasLast = true;
    trail.NewestClock = piece.RaceClock;

    if (trail.Track < 0) {
        trail.Track = static_cast<std::ptrdiff_t>(tracks_.size());
        tracks_.push_back(ChartTrack{boat.Caption, boat.Colour, to, -1});
    }
    ChartTrack& track = tracks_[static_cast<std::size_t>(trail.Track)];
    track.Colour = boat.Colour;
    track.Newest = to;
    const double width = piece.Width;
    maxWidth_ = std::max(maxWidth_, std::min(width, kMaxPenWidth));
    pieces_.push_back(ChartPiece{from, to, piece.RaceClock, piece.Boat, piece.Width});
    ++segmentCount_;
    if (added)
        added->push_back(ChartSegment{from, to, boat.Colour, width});
    const QPointF newestFirst[] = {to, from};
    append(track, boat.Colour, width, true, newestFirst);
}

void ChartTracks::replacePieces(std::span<const DrawnPiece> pieces)
{
    checkPieces(pieces, -std::numeric_limits<double>::infinity());
    clearPieces();
    addCheckedPieces(pieces, nullptr);
}

void ChartTracks::clearPieces()
{
    segmentCount_ -= pieces_.size();
    pieces_.clear();
    trails_.clear();
    if (trackByName_.isEmpty()) {
        runs_.clear();
        tracks_.clear();
        maxWidth_ = 1;
        return;
    }
    // The documents' runs and tracks stay, their indices closed up.
    std::vector<std::ptrdiff_t> newIndex(runs_.size(), -1);
    std::vector<ChartRun> kept;
    maxWidth_ = 1;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (runs_[i].Timed)
            continue;
        newIndex[i] = static_cast<std::ptrdiff_t>(kept.size());
        maxWidth_ = std::max(maxWidth_, std::min(runs_[i].Width, kMaxPenWidth));
        kept.push_back(std::move(runs_[i]));
    }
    runs_ = std::move(kept);
    std::vector<std::size_t> documentTracks(trackByName_.cbegin(), trackByName_.cend());
    std::sort(documentTracks.begin(), documentTracks.end());
    std::vector<ChartTrack> tracks;
    tracks.reserve(documentTracks.size());
    for (const std::size_t i : documentTracks) {
        tracks.push_back(std::move(tracks_[i]));
        if (tracks.back().OpenRun >= 0)
            tracks.back().OpenRun = newIndex[static_cast<std::size_t>(tracks.back().OpenRun)];
    }
    tracks_ = std::move(tracks);
    for (std::size_t i = 0; i < tracks_.size(); ++i)
        trackByName_[tracks_[i].Name] = i;
}

void ChartTracks::draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
                       bool timed) const
{
    for (const double shift : WorldShifts(clip))
        drawShifted(painter, QTransform::fromTranslate(shift, 0) * toScreen, clip.translated(-shift, 0), minStepPx,
                    timed);
}

void ChartTracks::drawShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
                              bool timed) const
{
    std::vector<QPointF> screen;
    screen.reserve(ChartRun::kMaxPoints);
    for (const ChartRun& run : runs_) {
        if ((run.Timed && !timed) || !Reaches(run.Bounds, clip))
            continue;
        screen.clear();
        QPointF last = toScreen.map(run.Points.front());
        screen.push_back(last);
        const std::size_t n = run.Points.size();
        for (std::size_t i = 1; i < n; ++i) {
            const QPointF q = toScreen.map(run.Points[i]);
            if (i + 1 == n || std::abs(q.x() - last.x()) + std::abs(q.y() - last.y()) >= minStepPx) {
                screen.push_back(q);
                last = q;
            }
        }
        painter.setPen(ChartLinePen(run.Colour, run.Width));
        painter.drawPolyline(screen.data(), static_cast<int>(screen.size()));
    }
}

double ChartTailAlpha(double ageDays, double tailDays)
{
    if (!(tailDays > 0))
        return 1;
    return std::clamp(1 - (1 - kChartTailOldestAlpha) * ageDays / tailDays, kChartTailOldestAlpha, 1.0);
}

void ChartTracks::drawTail(QPainter& painter, const QTransform& toScreen, const QRectF& clip, const ChartTail& tail,
                           double minStepPx) const
{
    if (tail.whole())
        return;
    const auto [first, last] = TailRange(pieces_, tail);
    if (first == last)
        return;
    for (const double shift : WorldShifts(clip))
        drawTailShifted(painter, QTransform::fromTranslate(shift, 0) * toScreen, clip.translated(-shift, 0), tail,
                        first, last, minStepPx);
}

// The pieces of a boat that follow on one another with one width and one step of
// opacity are drawn as one polyline (the screen's points closer than minStepPx to the
// last one kept left out, the newest always kept): a tail of thousands of pieces is a
// few hundred polylines, whose overlaps are not darkened as those of single lines would be.
void ChartTracks::drawTailShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip,
                                  const ChartTail& tail, std::size_t first, std::size_t last, double minStepPx) const
{
    struct Open {
        std::vector<QPointF> Screen;
        QPointF End; // projected
        int Level = -1;
        std::int16_t Width = 0;
    };
    std::vector<Open> open(boats_.size());
    const auto flush = [&](std::size_t boat) {
        Open& o = open[boat];
        if (o.Screen.size() >= 2) {
            const KmlColour colour = boats_[boat].Colour;
            const double alpha = std::round((colour >> 24) * static_cast<double>(o.Level) / kTailAlphaLevels);
            painter.setPen(ChartLinePen((colour & 0x00ffffffu) | (static_cast<KmlColour>(alpha) << 24), o.Width));
            painter.drawPolyline(o.Screen.data(), static_cast<int>(o.Screen.size()));
        }
        o.Screen.clear();
        o.Level = -1;
    };
    const double tailDays = tail.Minutes / kMinutesPerDay;
    for (std::size_t i = first; i < last; ++i) {
        const ChartPiece& piece = pieces_[i];
        const auto boat = static_cast<std::size_t>(piece.Boat);
        if (boat >= open.size())
            continue;
        Open& o = open[boat];
        const QRectF bounds = QRectF(piece.From, piece.To).normalized();
        if (!Reaches(bounds, clip)) {
            flush(boat);
            continue;
        }
        const int level = static_cast<int>(
            std::lround(ChartTailAlpha(tail.RaceClockDays - piece.RaceClock, tailDays) * kTailAlphaLevels));
        const QPointF to = toScreen.map(piece.To);
        if (o.Level == level && o.Width == piece.Width && SamePoint(o.End, piece.From)) {
            // The newest point stands in for those since the last one kept until it lies
            // minStepPx from it.
            const std::size_t n = o.Screen.size();
            const QPointF kept = o.Screen[n - 2], newest = o.Screen[n - 1];
            if (std::abs(newest.x() - kept.x()) + std::abs(newest.y() - kept.y()) < minStepPx)
                o.Screen.back() = to;
            else
                o.Screen.push_back(to);
        } else {
            flush(boat);
            o.Screen.push_back(toScreen.map(piece.From));
            o.Screen.push_back(to);
            o.Level = level;
            o.Width = piece.Width;
        }
        o.End = piece.To;
    }
    for (std::size_t boat = 0; boat < open.size(); ++boat)
        flush(boat);
}

std::vector<ChartTrack> ChartTracks::labels(const ChartTail& tail) const
{
    std::vector<ChartTrack> labels = tracks_;
    if (tail.whole())
        return labels;
    // A boat whose newest piece is after the clock stands at its newest piece up to it.
    const double clock = tail.RaceClockDays + kClockToleranceDays;
    std::vector<bool> unplaced(trails_.size(), false);
    std::size_t left = 0;
    for (std::size_t b = 0; b < trails_.size(); ++b) {
        if (trails_[b].Track >= 0 && trails_[b].NewestClock > clock) {
            unplaced[b] = true;
            ++left;
        }
    }
    const auto end = std::upper_bound(pieces_.begin(), pieces_.end(), clock,
                                      [](double c, const ChartPiece& p) { return c < p.RaceClock; });
    for (auto it = end; left > 0 && it != pieces_.begin();) {
        --it;
        const auto b = static_cast<std::size_t>(it->Boat);
        if (b < unplaced.size() && unplaced[b]) {
            labels[static_cast<std::size_t>(trails_[b].Track)].Newest = it->To;
            unplaced[b] = false;
            --left;
        }
    }
    // Before its first piece a boat has no label.
    std::vector<bool> drop(labels.size(), false);
    for (std::size_t b = 0; b < unplaced.size(); ++b) {
        if (unplaced[b])
            drop[static_cast<std::size_t>(trails_[b].Track)] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (drop[i])
            continue;
        if (kept != i)
            labels[kept] = std::move(labels[i]);
        ++kept;
    }
    labels.resize(kept);
    return labels;
}

void DrawChartSegments(QPainter& painter, const std::vector<ChartSegment>& segments, const QTransform& toScreen)
{
    const QRectF device(0, 0, painter.device()->width(), painter.device()->height());
    for (const double shift : WorldShifts(toScreen.inverted().mapRect(device))) {
        const QTransform shifted = QTransform::fromTranslate(shift, 0) * toScreen;
        const ChartSegment* previous = nullptr;
        for (const ChartSegment& s : segments) {
            if (!previous || previous->Colour != s.Colour || previous->Width != s.Width)
                painter.setPen(ChartLinePen(s.Colour, s.Width));
            painter.drawLine(shifted.map(s.From), shifted.map(s.To));
            previous = &s;
        }
    }
}

} // namespace tideplot
