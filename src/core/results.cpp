#include "results.h"

#include "course.h"
#include "courseprogress.h"

#include "datetime.h"
#include "error.h"
#include "geometry.h"
#include "linereader.h"
#include "outputfile.h"
#include "racecheck.h"
#include "racehandicap.h"
#include "records.h"
#include "replay.h"
#include "text.h"
#include "trackfixes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace tideplot {

namespace {

constexpr double kMetresPerNm = 1852.0;

void CheckEnd(std::string_view line, const char* end, double lat, double lon)
{
    const auto check = [&](const char* what, double value, double limit) {
        const std::string name = std::string(line) + "'s " + end + " " + what + " ";
        if (!std::isfinite(value))
            throw Error(name + "is not a number");
        if (value < -limit || value > limit)
            throw Error(name + ShortNumberText(value) + " is off the globe: " + what + "s lie from -" +
                        ShortNumberText(limit) + " to " + ShortNumberText(limit));
    };
    check("latitude", lat, 90);
    check("longitude", lon, 180);
}

// Bytes as UTF-8: as they are when they are UTF-8, else each byte a Latin-1 character.
std::string Utf8Text(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

} // namespace

void CheckFinishLine(const FinishLine& line, std::string_view what)
{
    FinishLineGeometry{line, what};
}

FinishLineGeometry::FinishLineGeometry(const FinishLine& line, std::string_view what) : line_(line)
{
    CheckEnd(what, "P1", line.Lat1, line.Lon1);
    CheckEnd(what, "P2", line.Lat2, line.Lon2);
    lonScale_ = std::cos(Radians((line.Lat1 + line.Lat2) / 2));
    dx_ = FoldLongitude(line.Lon2 - line.Lon1) * lonScale_;
    dy_ = line.Lat2 - line.Lat1;
    length2_ = dx_ * dx_ + dy_ * dy_;
    const double lengthMetres = std::sqrt(length2_) * 60 * kMetresPerNm;
    if (!(lengthMetres >= kMinFinishLineMetres))
        throw Error(std::string(what) + " has zero length: its ends P1 (" + ShortNumberText(line.Lat1) + " " +
                    ShortNumberText(line.Lon1) + ") and P2 (" + ShortNumberText(line.Lat2) + " " +
                    ShortNumberText(line.Lon2) + ") lie less than " + ShortNumberText(kMinFinishLineMetres) +
                    " m apart");
}

FinishLineGeometry::PlanePoint FinishLineGeometry::ToPlane(double lat, double lon) const
{
    return PlanePoint{FoldLongitude(lon - line_.Lon1) * lonScale_, lat - line_.Lat1};
}

int FinishLineGeometry::Side(double lat, double lon) const
{
    const double side = SideValue(ToPlane(lat, lon));
    return side > 0 ? 1 : side < 0 ? -1 : 0;
}

std::optional<double> FinishLineGeometry::CrossingFraction(double lat0, double lon0, double lat1, double lon1) const
{
    // Each end goes into the plane by itself, so a fix has one side whichever piece it
    // ends or begins; only a piece that the plane's seam (opposite P1) cuts is joined
    // again the short way round.
    const PlanePoint a = ToPlane(lat0, lon0);
    const double sideA = SideValue(a);
    if (!(sideA > 0))
        return std::nullopt;
    PlanePoint b = ToPlane(lat1, lon1);
    const double seam = 180 * lonScale_;
    if (b.x - a.x > seam)
        b.x -= 2 * seam;
    else if (b.x - a.x < -seam)
        b.x += 2 * seam;
    const double sideB = SideValue(b);
    if (!(sideB <= 0))
        return std::nullopt;
    const double s = sideA / (sideA - sideB);
    const PlanePoint at = s == 1 ? b : PlanePoint{a.x + s * (b.x - a.x), a.y + s * (b.y - a.y)};
    const double along = (at.x * dx_ + at.y * dy_) / length2_;
    if (!(along >= 0 && along <= 1))
        return std::nullopt;
    return s;
}

std::optional<double> FinishLineGeometry::CrossingTime(const TimedPosition& from, const TimedPosition& to,
                                                       double after) const
{
    if (!(to.Time > after))
        return std::nullopt;
    const auto s = CrossingFraction(from.Lat, from.Lon, to.Lat, to.Lon);
    if (!s)
        return std::nullopt;
    const double time = *s == 1 ? to.Time : from.Time + *s * (to.Time - from.Time);
    if (!(time > after))
        return std::nullopt;
    return time;
}

double FinishLineGeometry::DistanceNm(double lat, double lon) const
{
    const PlanePoint q = ToPlane(lat, lon);
    const double along = std::clamp((q.x * dx_ + q.y * dy_) / length2_, 0.0, 1.0);
    const double nearestLat = line_.Lat1 + along * dy_;
    const double nearestLon = line_.Lon1 + along * dx_ / lonScale_;
    const double dLat = lat - nearestLat;
    const double dLon = FoldLongitude(lon - nearestLon) * std::cos(Radians((lat + nearestLat) / 2));
    return 60 * std::hypot(dLat, dLon);
}

namespace {

// Each boat's rounding of each place of the course ranked among those that rounded it.
void RankRoundings(std::vector<BoatResult>& results)
{
    std::vector<MarkRounding*> place;
    for (std::size_t p = 0;; ++p) {
        place.clear();
        for (BoatResult& result : results)
            if (p < result.Roundings.size())
                place.push_back(&result.Roundings[p]);
        if (place.empty())
            return;
        std::stable_sort(place.begin(), place.end(), [](const MarkRounding* a, const MarkRounding* b) {
            return ShownSeconds(a->CorrectedSeconds) < ShownSeconds(b->CorrectedSeconds);
        });
        for (std::size_t i = 0; i < place.size(); ++i)
            place[i]->Rank =
                i > 0 && ShownSeconds(place[i - 1]->CorrectedSeconds) == ShownSeconds(place[i]->CorrectedSeconds)
                    ? place[i - 1]->Rank
                    : static_cast<int>(i) + 1;
    }
}

// Boat k of the race sailing the course, every fix of its track read.
BoatResult BoatOnCourse(RaceState& state, int k, const std::shared_ptr<const CourseGeometry>& course,
                        const std::vector<double>& fractions)
{
    const double start = state.StartTime[k];
    BoatResult result;
    result.Boat = std::string(TrimSpaces(state.EntryTrackFile[k]));
    result.Name = state.BoatName[k];
    result.Colour = state.BoatColour[k];
    result.Lys = state.BoatLys[k];
    const RaceHandicap* handicap = state.Handicap.get();
    // The corrected time at `seconds` having sailed `fraction` of the course.
    const auto corrected = [&](double seconds, double fraction) {
        return handicap ? handicap->Corrected(k, seconds, fraction) : seconds * result.Lys;
    };
    if (handicap && handicap->Rule.System == HandicapSystem::Lys) {
        // A rating under LYS is the boat's LYS number.
        result.Lys = handicap->Boats[static_cast<std::size_t>(k)].Value.Values[0];
    } else if (handicap) {
        result.RatingShown = handicap->RatingShown(k);
        const Rating& rating = handicap->Boats[static_cast<std::size_t>(k)].Value;
        result.Rating.assign(rating.Values.begin(), rating.Values.begin() + rating.Count);
    }
    result.StartTime = start;
    result.EntryLine = state.EntryLine[k];
    result.TrackPath = state.TrackFile[k]->Path();
    // Every fix is read, also after the finish: the race is read whole, as the replay reads
    // it, or not at all.
    CourseProgress progress(course);
    ReadTrackToEnd(state, k, [&](const TrackLine& fix) {
        // Fix times and start times are whole seconds: rounding takes the date values'
        // floating-point error out of the seconds counted from the start.
        if (!progress.Finished())
            progress.Observe({fix.Lat(), fix.Lon(), std::round((fix.Time - start) * kSecondsPerDay)});
    });
    state.TrackFile[k].reset();
    result.Status = progress.Status();
    result.Ocs = progress.Ocs();
    result.StartedSeconds = progress.StartCrossing();
    const auto& sequence = course->sequence();
    for (std::size_t p = 0; p < progress.Roundings().size(); ++p) {
        const double seconds = progress.Roundings()[p];
        result.Roundings.push_back({course->course().Marks[sequence[p].Mark].Name, sequence[p].Lap, p, seconds,
                                    corrected(seconds, p < fractions.size() ? fractions[p] : 0.0), 0});
    }
    if (result.Status == RaceStatus::Missed) {
        const CourseLeg& missed = sequence[progress.Roundings().size()];
        result.MissedMark = course->course().Marks[missed.Mark].Name;
        result.MissedLap = missed.Lap;
    }
    if (progress.Finished()) {
        result.Finished = true;
        result.ElapsedSeconds = progress.FinishTime();
        result.FinishTime = start + result.ElapsedSeconds / kSecondsPerDay;
        result.CorrectedSeconds = corrected(result.ElapsedSeconds, 1.0);
    }
    return result;
}

} // namespace

void RankResults(std::vector<BoatResult>& results)
{
    const auto finishers =
        std::stable_partition(results.begin(), results.end(), [](const BoatResult& r) { return r.Finished; });
    const auto rounded = [](const BoatResult& r) { return ShownSeconds(r.CorrectedSeconds); };
    std::stable_sort(results.begin(), finishers,
                     [&](const BoatResult& a, const BoatResult& b) { return rounded(a) < rounded(b); });
    for (auto it = results.begin(); it != results.end(); ++it) {
        if (!it->Finished)
            it->Rank = 0;
        else if (it != results.begin() && rounded(*(it - 1)) == rounded(*it))
            it->Rank = (it - 1)->Rank;
        else
            it->Rank = static_cast<int>(it - results.begin()) + 1;
    }
    RankRoundings(results);
}

std::string StatusText(const BoatResult& result)
{
    switch (result.Status) {
    case RaceStatus::Finished:
        return "finished";
    case RaceStatus::Ocs:
        return std::string(kOcsText);
    case RaceStatus::Missed:
        return "missed " + result.MissedMark + " lap " + std::to_string(result.MissedLap);
    case RaceStatus::Dnf:
        break;
    }
    return std::string(kDidNotFinishText);
}

std::vector<BoatResult> RaceResults(const std::string& raceFileName, const FinishLine& line,
                                    const std::function<void(const std::string&)>& onWarning)
{
    Course course;
    course.Finish = line;
    return RaceResults(raceFileName, course, onWarning);
}

std::vector<BoatResult> RaceResults(const std::string& raceFileName, const Course& course,
                                    const std::function<void(const std::string&)>& onWarning,
                                    std::shared_ptr<const HandicapLines> handicap)
{
    const auto geometry = std::make_shared<const CourseGeometry>(course);
    const std::vector<double> fractions = CourseFractions(*geometry);
    RaceState state;
    state.RaceFileName = raceFileName;
    state.HandicapSource = std::move(handicap);
    state.ScoresOnly = true;
    StartReplay(state);
    std::vector<BoatResult> results;
    try {
        ApplyRaceHandicap(state, &course);
        if (onWarning)
            for (const std::string& warning : StartTimeWarnings(state))
                onWarning(warning);
        for (int k = 0; k < state.BoatCount; ++k)
            results.push_back(BoatOnCourse(state, k, geometry, fractions));
    } catch (...) {
        CloseTrackFiles(state);
        throw;
    }
    RankResults(results);
    return results;
}

long long TimeTenths(double seconds)
{
    return std::llround(seconds * 10);
}

long long ShownSeconds(double seconds)
{
    const long long tenths = TimeTenths(seconds);
    return tenths < 0 ? -((-tenths + 5) / 10) : (tenths + 5) / 10;
}

std::string DurationText(double seconds)
{
    const long long shown = ShownSeconds(seconds);
    const long long whole = shown < 0 ? -shown : shown;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld:%02lld", shown < 0 ? "-" : "", whole / 3600, whole / 60 % 60,
                  whole % 60);
    return buffer;
}

std::string GapDurationText(double aheadSeconds, double behindSeconds)
{
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    std::string text = "+";
    return text += DurationText(static_cast<double>(ShownSeconds(behindSeconds) - ShownSeconds(aheadSeconds)));
}

std::array<std::string, 9> ResultTexts(const BoatResult& result)
{
    std::array<std::string, 9> texts;
    texts[8] = StatusText(result);
    texts[0] = result.Finished ? std::to_string(result.Rank) : std::string();
    texts[1] = Utf8Text(result.Name);
    texts[7] = Utf8Text(result.Boat);
    texts[2] = result.RatingShown.empty() ? ShortNumberText(result.Lys) : result.RatingShown;
    texts[3] = DateText(result.StartTime);
    if (result.Finished) {
        // The finish as the start plus the elapsed time in whole seconds, so that the
        // texts add up: finish - start = elapsed, to the second.
        texts[4] =
            DateText(result.StartTime + static_cast<double>(ShownSeconds(result.ElapsedSeconds)) / kSecondsPerDay);
        texts[5] = DurationText(result.ElapsedSeconds);
        texts[6] = DurationText(result.CorrectedSeconds);
    } else {
        texts[4] = texts[5] = texts[6] = std::string(result.Status == RaceStatus::Ocs ? kOcsText : kDidNotFinishText);
    }
    return texts;
}

std::string ResultsCsv(const std::vector<BoatResult>& results)
{
    std::string csv;
    // Under another handicap system than LYS the third column holds the ratings.
    const bool rated =
        std::any_of(results.begin(), results.end(), [](const BoatResult& r) { return !r.RatingShown.empty(); });
    for (std::size_t i = 0; i < kResultColumns.size(); ++i) {
        csv += i == 0 ? "" : ",";
        csv += i == 2 && rated ? std::string_view("rating") : kResultColumns[i];
    }
    csv += "\r\n";
    for (const BoatResult& result : results) {
        const auto texts = ResultTexts(result);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i > 0)
                csv += ',';
            AppendCsvField(csv, texts[i]);
        }
        csv += "\r\n";
    }
    return csv;
}

void SaveResultsCsv(const QString& path, const std::vector<BoatResult>& results)
{
    OutputFile out(path, kResultsFileWhat);
    out.Write(ResultsCsv(results));
    out.Commit();
}

} // namespace tideplot
