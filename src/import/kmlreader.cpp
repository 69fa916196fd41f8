#include "kmlreader.h"

#include "spillfile.h"
#include "xmlparts.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cstring>

namespace tideplot {

namespace {

using namespace xmllog;

// KML 2.0 to 2.2 came under earth.google.com and opengis.net, KML 2.3 under opengis.net;
// many loggers write no namespace at all.
bool IsKmlNamespace(QStringView ns)
{
    return ns.isEmpty() || ns.startsWith(u"http://www.opengis.net/kml/") ||
           ns.startsWith(u"http://earth.google.com/kml/");
}

// gx:Track and gx:coord come from Google's extension namespace; KML 2.3 took them into its
// own namespace as Track and coord.
bool IsTrackNamespace(QStringView ns)
{
    return ns == u"http://www.google.com/kml/ext/2.2" || IsKmlNamespace(ns);
}

// Folders and Documents: the placemarks of one are a track of their own.
bool IsContainer(QStringView name, QStringView ns)
{
    return (name == u"Folder" || name == u"Document") && IsKmlNamespace(ns);
}

// The longitude and latitude of a coordinate tuple, as the log writes them.
struct Position {
    QStringView Lon;
    QStringView Lat;
};

// Splits a tuple "lon<sep>lat[<sep>alt]" (blanks around the parts allowed when the
// separator is ",", as in Point coordinates; a blank as in gx:coord) and checks longitude
// and latitude; the altitude is not used. Returns why the tuple cannot be used, "" when it
// can.
std::string ReadPosition(QStringView tuple, bool blankSeparated, Position& position)
{
    std::array<QStringView, 7> parts;
    qsizetype count = 0;
    tuple = TrimXmlSpace(tuple);
    if (blankSeparated) {
        qsizetype pos = 0;
        while (pos < tuple.size() && count < qsizetype(parts.size())) {
            const qsizetype start = pos;
            while (pos < tuple.size() && !IsXmlSpace(tuple[pos]))
                ++pos;
            parts[std::size_t(count++)] = tuple.mid(start, pos - start);
            while (pos < tuple.size() && IsXmlSpace(tuple[pos]))
                ++pos;
        }
    } else {
        for (const QStringView part : tuple.tokenize(u',')) {
            if (count == qsizetype(parts.size()))
                break;
            parts[std::size_t(count++)] = TrimXmlSpace(part);
        }
    }
    if (tuple.isEmpty())
        return blankSeparated ? "the gx:coord is empty" : "the coordinates are empty";
    if (count > 3 || count < 2) {
        // "11,967,57,707,0": the numbers were written with decimal commas.
        const auto joined = [&](std::size_t at) { return parts[at].toString() + u',' + parts[at + 1].toString(); };
        if (!blankSeparated && count >= 4 && count <= 6 && IsDecimalCommaDegrees(joined(0), 180.0) &&
            IsDecimalCommaDegrees(joined(2), 90.0))
            return "the coordinates " + Quoted(tuple) +
                   " are written with decimal commas; KML parts longitude, latitude and altitude with commas, so a "
                   "GPS log writes decimal points";
        return blankSeparated ? "the gx:coord " + Quoted(tuple) + " is not \"longitude latitude altitude\""
                              : "the coordinates " + Quoted(tuple) + " are not one tuple longitude,latitude[,altitude]";
    }
    position.Lon = parts[0];
    position.Lat = parts[1];
    std::string problem = LongitudeProblem(position.Lon);
    if (problem.empty())
        problem = LatitudeProblem(position.Lat);
    return problem;
}

// A gx:Track's when or gx:coord waiting for its partner: [usable][line][fields or "LAT,LON"].
struct TrackValue {
    bool Usable = false;
    qint64 Line = 0;
    std::string_view Text;
};

std::string TrackValueRecord(bool usable, qint64 line, std::string_view text)
{
    std::string record(1 + sizeof line, usable ? '\1' : '\0');
    std::memcpy(record.data() + 1, &line, sizeof line);
    record.append(text);
    return record;
}

TrackValue ReadTrackValue(std::string_view record)
{
    TrackValue value;
    value.Usable = record[0] == '\1';
    std::memcpy(&value.Line, record.data() + 1, sizeof value.Line);
    value.Text = record.substr(1 + sizeof value.Line);
    return value;
}

// The first unusable when or gx:coord of a gx:Track: its number there and why.
struct TrackProblem {
    long Index = -1;
    std::string Reason;
};

// One pass over a KML log (or one part of it). The reader keeps the depth of the open
// Placemark, TimeStamp, Point, Track, MultiTrack and LineString elements (0 when none is
// open); only direct children count, so a LookAt's time span or a MultiGeometry does not
// lend a placemark its time or position. A gx:Track's when and gx:coord elements are paired
// as they come (all whens first, or in turns), and its points are held back until its end
// shows that they all pair up. Folders and Documents, gx:MultiTracks and the gx:Tracks
// outside them are the log's tracks.
class KmlPass : public XmlLogPass {
public:
    KmlPass(const std::string& logName, LogPartDevice& device, LogPoints& points, const LogReadOptions& options,
            bool wholeLog)
        : XmlLogPass(logName, device, points, options, wholeLog), whens_(options.PointMemoryBytes / 8),
          coords_(options.PointMemoryBytes / 8)
    {
    }

private:
    void startElement() override
    {
        const QStringView name = xml_.name();
        if (trackDepth_ != 0) {
            if (depth_ == trackDepth_ + 1 && IsTrackNamespace(xml_.namespaceUri())) {
                if (name == u"when")
                    trackWhen();
                else if (name == u"coord")
                    trackCoord();
            }
            return;
        }
        if (lineStringDepth_ != 0) {
            if (depth_ == lineStringDepth_ + 1 && name == u"coordinates" && IsKmlNamespace(xml_.namespaceUri())) {
                lineCoordinatesDepth_ = depth_;
                inTuple_ = false;
            }
            return;
        }
        if (placemarkDepth_ != 0) {
            if (depth_ == placemarkDepth_ + 1) {
                if (name == u"TimeStamp" && IsKmlNamespace(xml_.namespaceUri())) {
                    timeStampDepth_ = depth_;
                    if (!hasTimeStamp_) {
                        hasTimeStamp_ = true;
                        timeStampLine_ = xml_.lineNumber();
                    }
                } else if (name == u"Point" && IsKmlNamespace(xml_.namespaceUri())) {
                    pointDepth_ = depth_;
                }
            } else if (timeStampDepth_ != 0 && depth_ == timeStampDepth_ + 1 && name == u"when" && !hasWhen_ &&
                       IsKmlNamespace(xml_.namespaceUri())) {
                whenLine_ = xml_.lineNumber();
                when_.resize(0);
                when_.append(elementText());
                hasWhen_ = true;
                return;
            } else if (pointDepth_ != 0 && depth_ == pointDepth_ + 1 && name == u"coordinates" && !hasCoordinates_ &&
                       IsKmlNamespace(xml_.namespaceUri())) {
                coordinatesLine_ = xml_.lineNumber();
                coordinates_.resize(0);
                coordinates_.append(elementText());
                hasCoordinates_ = true;
                return;
            }
        }
        if (name == u"Placemark") {
            if (placemarkDepth_ == 0 && IsKmlNamespace(xml_.namespaceUri())) {
                placemarkDepth_ = depth_;
                hasTimeStamp_ = false;
                hasWhen_ = false;
                hasCoordinates_ = false;
            }
        } else if (IsContainer(name, xml_.namespaceUri())) {
            trackEvent();
        } else if (name == u"MultiTrack" && IsTrackNamespace(xml_.namespaceUri())) {
            if (multiTrackDepth_ == 0) {
                multiTrackDepth_ = depth_;
                trackEvent();
            }
        } else if (name == u"Track" && IsTrackNamespace(xml_.namespaceUri())) {
            startTrack();
        } else if (name == u"LineString" && IsKmlNamespace(xml_.namespaceUri())) {
            lineStringDepth_ = depth_;
            ++result_.Contents.LineStrings;
        }
    }

    void endElement() override
    {
        if (depth_ == trackDepth_) {
            endTrack();
        } else if (depth_ == multiTrackDepth_) {
            multiTrackDepth_ = 0;
            trackEvent();
        } else if (IsContainer(xml_.name(), xml_.namespaceUri())) {
            trackEvent();
        } else if (depth_ == lineCoordinatesDepth_) {
            lineCoordinatesDepth_ = 0;
        } else if (depth_ == lineStringDepth_) {
            lineStringDepth_ = 0;
        } else if (depth_ == placemarkDepth_) {
            endPlacemark();
            placemarkDepth_ = 0;
        } else if (depth_ == timeStampDepth_) {
            timeStampDepth_ = 0;
        } else if (depth_ == pointDepth_) {
            pointDepth_ = 0;
        }
    }

    // The tuples of a LineString's coordinates are counted, to tell what a log without
    // points holds; the text may come in several pieces.
    bool wantCharacters() const override { return lineCoordinatesDepth_ != 0 && depth_ == lineCoordinatesDepth_; }
    void characters() override
    {
        for (const QChar c : xml_.text()) {
            const bool space = IsXmlSpace(c);
            if (!space && !inTuple_)
                ++result_.Contents.LineStringPoints;
            inTuple_ = !space;
        }
    }

    // A Placemark gives a point when it has both a time stamp and a Point; one without a
    // Point (a track's LineString, a MultiGeometry) is passed over, one without a time stamp
    // (a mark) is counted.
    void endPlacemark()
    {
        if (!hasCoordinates_)
            return;
        if (!hasTimeStamp_) {
            ++result_.Contents.UntimedPlacemarks;
            return;
        }
        if (!hasWhen_) {
            skip(timeStampLine_, "the time stamp has no when");
            return;
        }
        DateTimeFields time;
        if (!readTime(when_, time)) {
            skip(whenLine_, TimeProblem(when_));
            return;
        }
        Position position;
        const std::string problem = ReadPosition(coordinates_, false, position);
        if (!problem.empty()) {
            skip(coordinatesLine_, problem);
            return;
        }
        addPoint(position.Lat, position.Lon, time, whenLine_);
    }

    void startTrack()
    {
        if (multiTrackDepth_ == 0)
            trackEvent();
        trackDepth_ = depth_;
        trackLine_ = xml_.lineNumber();
        trackWhens_ = trackCoords_ = pairs_ = 0;
        whenProblem_ = coordProblem_ = TrackProblem{};
        whens_.Clear();
        coords_.Clear();
        ++result_.Contents.Tracks;
        holdPoints();
    }

    void trackWhen()
    {
        const qint64 line = xml_.lineNumber();
        const QStringView text = elementText();
        DateTimeFields time{};
        const bool usable = readTime(text, time);
        if (!usable && whenProblem_.Index < 0)
            whenProblem_ = TrackProblem{trackWhens_, TimeProblem(text)};
        ++trackWhens_;
        whens_.Push(TrackValueRecord(usable, line, std::string_view(time.data(), time.size())));
        pairUp();
    }

    void trackCoord()
    {
        const qint64 line = xml_.lineNumber();
        const QStringView text = elementText();
        Position parts;
        const std::string problem = ReadPosition(text, true, parts);
        std::string latLon;
        if (problem.empty()) {
            AppendAscii(latLon, parts.Lat);
            latLon += ',';
            AppendAscii(latLon, parts.Lon);
        } else if (coordProblem_.Index < 0) {
            coordProblem_ = TrackProblem{trackCoords_, problem};
        }
        ++trackCoords_;
        coords_.Push(TrackValueRecord(problem.empty(), line, latLon));
        pairUp();
    }

    // The nth when goes with the nth gx:coord. Only the first point skipped in a log has its
    // reason kept, and that is the first unusable when or gx:coord of its track.
    void pairUp()
    {
        while (!whens_.Empty() && !coords_.Empty()) {
            const long index = pairs_++;
            const TrackValue when = ReadTrackValue(whens_.Front());
            DateTimeFields time{};
            std::memcpy(time.data(), when.Text.data(), std::min(time.size(), when.Text.size()));
            const TrackValue coord = ReadTrackValue(coords_.Front());
            if (!when.Usable)
                skip(when.Line, index == whenProblem_.Index ? whenProblem_.Reason : std::string());
            else if (!coord.Usable)
                skip(coord.Line, index == coordProblem_.Index ? coordProblem_.Reason : std::string());
            else
                addPoint(coord.Text, time, when.Line);
            whens_.Pop();
            coords_.Pop();
        }
    }

    void endTrack()
    {
        trackDepth_ = 0;
        if (multiTrackDepth_ == 0)
            trackEvent();
        whens_.Clear();
        coords_.Clear();
        if (trackWhens_ == trackCoords_) {
            releasePoints();
            return;
        }
        dropPoints();
        const long points = std::max(trackWhens_, trackCoords_);
        const std::string reason = "the gx:Track has " + CountText(trackWhens_) + " when and " +
                                   CountText(trackCoords_) + " gx:coord elements, which do not pair up";
        for (long i = 0; i < points; ++i)
            skip(trackLine_, reason);
    }

    // A log cut short in a gx:Track keeps the points paired up to its end.
    void endEarly() override
    {
        if (trackDepth_ != 0)
            releasePoints();
    }

    int placemarkDepth_ = 0;
    int timeStampDepth_ = 0;
    int pointDepth_ = 0;
    int trackDepth_ = 0;
    int lineStringDepth_ = 0;
    int lineCoordinatesDepth_ = 0;
    bool inTuple_ = false;

    bool hasTimeStamp_ = false;
    qint64 timeStampLine_ = 0;
    bool hasWhen_ = false;
    QString when_;
    qint64 whenLine_ = 0;
    bool hasCoordinates_ = false;
    QString coordinates_;
    qint64 coordinatesLine_ = 0;

    int multiTrackDepth_ = 0;
    qint64 trackLine_ = 0;
    long trackWhens_ = 0;
    long trackCoords_ = 0;
    long pairs_ = 0;
    TrackProblem whenProblem_;
    TrackProblem coordProblem_;
    RecordQueue whens_;
    RecordQueue coords_;
};

// A placemark is cut in front of; a gx:Track or gx:MultiTrack open around the first
// placemark carries state across a cut.
const XmlLogFormat kKmlFormat{
    u"Placemark",
    IsKmlNamespace,
    [](QStringView name, QStringView ns) {
        return (name == u"Track" || name == u"MultiTrack") && IsTrackNamespace(ns);
    },
    IsContainer,
    [](const std::string& logName, LogPartDevice& device, LogPoints& points, const LogReadOptions& options,
       bool wholeLog) -> std::unique_ptr<XmlLogPass> {
        return std::make_unique<KmlPass>(logName, device, points, options, wholeLog);
    },
};

} // namespace

LogReadResult ReadKmlPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress,
                            const LogReadOptions& options)
{
    return ReadXmlLogFile(logPath, points, progress, options, kKmlFormat);
}

LogReadResult ReadKmlPoints(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                            LogPoints& points, const LogProgress& progress, const LogReadOptions& options)
{
    return ReadXmlLogStream(logName, std::move(source), size, points, progress, options, kKmlFormat);
}

} // namespace tideplot
