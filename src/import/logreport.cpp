#include "logreport.h"

#include "xmlvalues.h"

namespace tideplot {

namespace {

using xmllog::CountText;

// "a LineString" / "3 LineStrings".
std::string Counted(long count, const std::string& one, const std::string& many)
{
    return count == 1 ? one : CountText(count) + " " + many;
}

// "a, b and c".
std::string Listed(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? " and " : ", ";
        text += items[i];
    }
    return text;
}

// "line 57", "doc.kml line 9"; "point 3,012" in a log whose points share their lines (a
// log written on one line), where a line number tells nothing.
std::string Where(const LogReading& reading, const LogPlace& place)
{
    const LogReadResult& r = reading.Result;
    const std::string in = reading.LinesOf.empty() ? "" : reading.LinesOf + " ";
    if (reading.Format == LogFormat::Fit)
        return "the record at byte " + std::to_string(place.Line);
    if (r.PointCount + r.Skipped.Count > r.Lines)
        return in + "point " + CountText(place.Point) + " (line " + std::to_string(place.Line) + ")";
    return in + "line " + std::to_string(place.Line);
}

// "the first at line 57", "at line 57".
std::string FirstAt(long count, long line)
{
    return std::string(count == 1 ? "at" : "the first at") + " line " + std::to_string(line);
}

// What an NMEA log holds when none of its sentences gave a point.
std::string NmeaHoldsText(const LogReading& reading)
{
    const LogReadResult& r = reading.Result;
    const LogContents& c = r.Contents;
    std::string text;
    if (c.Sentences == 0)
        text = "no NMEA sentence with a right checksum";
    else if (c.PositionSentences > 0)
        text = Counted(c.PositionSentences, "one position sentence", "position sentences") +
               " (RMC, GGA, GLL) and none with a usable fix";
    else
        text = Counted(c.Sentences, "one NMEA sentence", "NMEA sentences") + " but no position (RMC, GGA, GLL)";
    if (r.BadChecksums.Count > 0)
        text += "; " + Counted(r.BadChecksums.Count, "1 sentence", "sentences") + " failed the checksum, " +
                FirstAt(r.BadChecksums.Count, r.BadChecksums.First) + ": " + r.BadChecksums.FirstReason;
    if (r.Skipped.Count > 0)
        text += "; " + logreport::SkippedText(reading);
    return text + "; the import needs positions with a time: RMC, GGA or GLL sentences of a fix";
}

std::string FitHoldsText(const LogReading& reading)
{
    const LogReadResult& r = reading.Result;
    std::string text = r.Contents.Records == 0 ? std::string("no record message")
                                               : Counted(r.Contents.Records, "one record message", "record messages") +
                                                     " and none with a time and a position";
    if (r.Skipped.Count > 0)
        text += "; " + logreport::SkippedText(reading);
    return text + "; the import needs the records of a recorded activity with a position (GPS on)";
}

const char* kNotATrack = "this is a planned route (or marks), not a recorded track: export the track your logger "
                         "recorded";

} // namespace

namespace logreport {

std::string SkippedText(const LogReading& reading)
{
    const SkippedPoints& skipped = reading.Result.Skipped;
    return Counted(skipped.Count, "1 point", "points") + " skipped, " + (skipped.Count == 1 ? "at " : "the first at ") +
           Where(reading, skipped.First) + ": " + skipped.FirstReason;
}

std::string NoPointText(const LogReading& reading, int otherKmlRead)
{
    if (reading.Format == LogFormat::Nmea)
        return "it holds " + NmeaHoldsText(reading);
    if (reading.Format == LogFormat::Fit)
        return "it holds " + FitHoldsText(reading);
    const LogContents& c = reading.Result.Contents;
    std::vector<std::string> holds;
    std::string nothing;
    bool plan = false;
    if (reading.Format == LogFormat::Gpx) {
        if (c.TrackPoints > 0)
            holds.push_back(Counted(c.TrackPoints, "one track point", "track points"));
        if (c.RoutePoints > 0)
            holds.push_back(Counted(c.RoutePoints, "one route point", "route points"));
        if (c.Waypoints > 0)
            holds.push_back(Counted(c.Waypoints, "one waypoint", "waypoints"));
        nothing = "no track point (trkpt), route point or waypoint";
        plan = c.TrackPoints == 0 && (c.RoutePoints > 0 || c.Waypoints > 0);
    } else {
        if (c.LineStrings > 0)
            holds.push_back(Counted(c.LineStrings, "a LineString", "LineStrings") + " of " +
                            Counted(c.LineStringPoints, "1 point", "points") + " without a time per point");
        if (c.UntimedPlacemarks > 0)
            holds.push_back(Counted(c.UntimedPlacemarks, "a placemark", "placemarks") + " without a time stamp");
        if (c.Tracks > 0)
            holds.push_back(Counted(c.Tracks, "a gx:Track", "gx:Tracks"));
        nothing = "no placemark with a position, gx:Track or LineString";
        plan = c.UntimedPlacemarks > 0 && c.LineStrings == 0 && c.Tracks == 0 && reading.Result.Skipped.Count == 0;
    }
    std::string text = "it holds " + (holds.empty() ? nothing : Listed(holds));
    if (otherKmlRead > 0)
        text += otherKmlRead == 1 ? ", and the archive's other KML document holds no point either"
                                  : ", and the archive's " + std::to_string(otherKmlRead) +
                                        " other KML documents hold no point either";
    if (reading.Result.Skipped.Count > 0)
        text += "; " + SkippedText(reading);
    if (plan)
        return text + ": " + kNotATrack;
    return text + "; the import needs a track with a time at each point: a KML gx:Track, KML placemarks with time "
                  "stamps, or a GPX track (trkpt elements with a time)";
}

std::vector<std::string> ReadingWarnings(const std::string& log, const LogReading& reading)
{
    const LogReadResult& r = reading.Result;
    const LogTimes& t = r.Times;
    const std::string name = log + ": ";
    std::vector<std::string> warnings;
    if (r.EndedEarlyAt > 0)
        warnings.push_back(name + "the log ends early at " + (reading.LinesOf.empty() ? "" : reading.LinesOf + " ") +
                           (reading.Format == LogFormat::Fit ? "byte " : "line ") + std::to_string(r.EndedEarlyAt) +
                           " (was the logger stopped while writing?): " + Counted(r.PointCount, "1 point", "points") +
                           " before it " + (r.PointCount == 1 ? "was" : "were") + " kept");
    if (r.Skipped.Count > 0)
        warnings.push_back(name + SkippedText(reading));
    if (r.BadChecksums.Count > 0)
        warnings.push_back(name + Counted(r.BadChecksums.Count, "1 sentence", "sentences") +
                           " failed the checksum and " + (r.BadChecksums.Count == 1 ? "was" : "were") +
                           " passed over, " + FirstAt(r.BadChecksums.Count, r.BadChecksums.First) + ": " +
                           r.BadChecksums.FirstReason);
    if (r.Unread.Count > 0 && reading.Format == LogFormat::Fit)
        warnings.push_back(name + r.Unread.FirstReason + ": the bytes from byte " + std::to_string(r.Unread.First) +
                           " on were passed over");
    else if (r.Unread.Count > 0)
        warnings.push_back(name + Counted(r.Unread.Count, "1 line holds", "lines hold") + " no NMEA sentence and " +
                           (r.Unread.Count == 1 ? "was" : "were") + " passed over, " +
                           FirstAt(r.Unread.Count, r.Unread.First) + ": " + r.Unread.FirstReason);
    if (r.GivenDateUsed)
        warnings.push_back(name + "the log gives no date: its first time is dated " +
                           LogTimeText(r.GivenDate).substr(0, 10) + " as given, and the dates after it follow on");
    if (r.GivenDateIgnored)
        warnings.push_back(name + "the log gives its own dates (RMC, ZDA): the date given, " +
                           LogTimeText(r.GivenDate).substr(0, 10) + ", was not used");
    if (t.Disorders > 0)
        warnings.push_back(name + "the points are not in time order: at " + Where(reading, t.FirstDisorder) +
                           " the time goes back from " + LogTimeText(t.DisorderAfter) + " to " +
                           LogTimeText(t.DisorderTime) + "; the track file has them sorted by time");
    if (t.Before1990 > 0)
        warnings.push_back(name + Counted(t.Before1990, "1 point is", "points are") + " timed before 1990" +
                           (t.Before1990 == 1 ? ", at " : ", the first at ") + Where(reading, t.FirstBefore1990) +
                           " (" + LogTimeText(t.FirstBefore1990Time) + "): the logger's clock was probably not set");
    if (!r.ZoneOffset.empty())
        warnings.push_back(name + "times are written with the offset " + r.ZoneOffset +
                           (r.OtherZoneOffsets ? " (and others)" : "") +
                           " and are copied as written; type start times in the same time");
    return warnings;
}

std::string AlreadyThereText(long points, bool split, LogSecond fileEnd)
{
    std::string text = Counted(points, "1 point", "points") + " already in the track file" + (split ? "s" : "") +
                       (points == 1 ? " was" : " were") + " skipped";
    if (!split)
        text += " (it ends at " + LogTimeText(fileEnd) + ")";
    return text;
}

std::vector<std::string> WindNotes(const WindSummary& wind)
{
    std::vector<std::string> notes;
    const auto seconds = [](long count) { return Counted(count, "1 second", "seconds"); };
    if (wind.TrueGiven > 0)
        notes.push_back("the true wind of " + seconds(wind.TrueGiven) +
                        " is the instruments' true wind direction (MWD)");
    if (wind.TrueFromAngle > 0)
        notes.push_back("the true wind of " + seconds(wind.TrueFromAngle) +
                        " is the instruments' true wind angle (MWV T, VWT) turned into a direction with the " +
                        (wind.FromCourse >= wind.TrueFromAngle ? "course over ground" : "heading"));
    if (wind.Computed > 0)
        notes.push_back(
            "the true wind of " + seconds(wind.Computed) +
            " was computed from the apparent wind (MWV R, VWR) and the boat's speed " +
            (wind.ComputedOverGround >= wind.Computed ? "over the ground (RMC, VTG)" : "through the water (VHW)"));
    return notes;
}

std::vector<std::string> WindWarnings(const WindSummary& wind)
{
    std::vector<std::string> warnings;
    const auto seconds = [](long count) { return Counted(count, "1 second", "seconds"); };
    if (wind.FromCourse > 0)
        warnings.push_back("the true wind direction of " + seconds(wind.FromCourse) +
                           " was turned with the course over ground, for want of a heading (HDG, HDT, HDM): it is "
                           "off by the boat's leeway and the current");
    if (wind.ComputedOverGround > 0)
        warnings.push_back("the true wind of " + seconds(wind.ComputedOverGround) +
                           " was computed with the speed over ground, for want of a boat speed (VHW): it is off by "
                           "the current");
    if (wind.MagneticHeadings > 0 || wind.MagneticAsTrue > 0)
        warnings.push_back("the heading is magnetic and the log gives no variation (HDG, RMC): it was taken as "
                           "true, off by the local variation");
    return warnings;
}

std::string WindFileText(const WindFileWritten& wind)
{
    if (wind.Appended == 0)
        return wind.Path + " already holds the log's " + Counted(wind.AlreadyThere, "1 second", "seconds") +
               " of wind, heading and boat speed: nothing was added";
    std::string text =
        Counted(wind.Appended, "1 second", "seconds") + " of wind, heading and boat speed went to " + wind.Path;
    if (wind.AlreadyThere > 0)
        text += " (" + Counted(wind.AlreadyThere, "1 second", "seconds") + " already there " +
                (wind.AlreadyThere == 1 ? "was" : "were") + " skipped)";
    return text;
}

} // namespace logreport

} // namespace tideplot
