#include "kmlreader.h"

#include "xmlpass.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <vector>

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
    std::array<QStringView, 3> parts;
    qsizetype count = 0;
    tuple = TrimXmlSpace(tuple);
    bool tooMany = false;
    if (blankSeparated) {
        qsizetype pos = 0;
        while (pos < tuple.size() && !tooMany) {
            const qsizetype start = pos;
            while (pos < tuple.size() && !IsXmlSpace(tuple[pos]))
                ++pos;
            if (count == qsizetype(parts.size()))
                tooMany = true;
            else
                parts[std::size_t(count++)] = tuple.mid(start, pos - start);
            while (pos < tuple.size() && IsXmlSpace(tuple[pos]))
                ++pos;
        }
    } else {
        for (const QStringView part : tuple.tokenize(u',')) {
            if (count == qsizetype(parts.size())) {
                tooMany = true;
                break;
            }
            parts[std::size_t(count++)] = TrimXmlSpace(part);
        }
    }
    if (tuple.isEmpty())
        return blankSeparated ? "the gx:coord is empty" : "the coordinates are empty";
    if (tooMany || count < 2)
        return blankSeparated ? "the gx:coord " + Quoted(tuple) + " is not \"longitude latitude altitude\""
                              : "the coordinates " + Quoted(tuple) + " are not one tuple longitude,latitude[,altitude]";
    position.Lon = parts[0];
    position.Lat = parts[1];
    std::string problem = LongitudeProblem(position.Lon);
    if (problem.empty())
        problem = LatitudeProblem(position.Lat);
    return problem;
}

// One pass over a KML log (or one part of it). The reader keeps the depth of the open
// Placemark, TimeStamp, Point, Track and LineString elements (0 when none is open); only
// direct children count, so a LookAt's time span or a MultiGeometry does not lend a
// placemark its time or position.
class KmlPass : public XmlLogPass {
public:
    using XmlLogPass::XmlLogPass;

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
                when_ = elementText();
                hasWhen_ = true;
                return;
            } else if (pointDepth_ != 0 && depth_ == pointDepth_ + 1 && name == u"coordinates" && !hasCoordinates_ &&
                       IsKmlNamespace(xml_.namespaceUri())) {
                coordinatesLine_ = xml_.lineNumber();
                coordinates_ = elementText();
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
        } else if (name == u"Track" && IsTrackNamespace(xml_.namespaceUri())) {
            trackDepth_ = depth_;
            trackLine_ = xml_.lineNumber();
            trackTimes_.clear();
            trackPositions_.clear();
            ++result_.Contents.Tracks;
        } else if (name == u"LineString" && IsKmlNamespace(xml_.namespaceUri())) {
            lineStringDepth_ = depth_;
            ++result_.Contents.LineStrings;
        }
    }

    void endElement() override
    {
        if (depth_ == trackDepth_) {
            endTrack();
            trackDepth_ = 0;
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
        if (!ReadLogTime(when_, time)) {
            skip(whenLine_, TimeProblem(when_));
            return;
        }
        Position position;
        const std::string problem = ReadPosition(coordinates_, false, position);
        if (!problem.empty()) {
            skip(coordinatesLine_, problem);
            return;
        }
        addPoint(position.Lat, position.Lon, time);
    }

    void trackWhen()
    {
        TrackTime& time = trackTimes_.emplace_back();
        time.Line = xml_.lineNumber();
        const QString text = elementText();
        if (!ReadLogTime(text, time.Fields))
            time.Problem = TimeProblem(text);
    }

    void trackCoord()
    {
        TrackPosition& position = trackPositions_.emplace_back();
        position.Line = xml_.lineNumber();
        const QString text = elementText();
        Position parts;
        position.Problem = ReadPosition(text, true, parts);
        if (position.Problem.empty()) {
            AppendAscii(position.LatLon, parts.Lat);
            position.LatLon += ',';
            AppendAscii(position.LatLon, parts.Lon);
        }
    }

    void endTrack()
    {
        if (trackTimes_.size() != trackPositions_.size()) {
            const std::size_t points = std::max(trackTimes_.size(), trackPositions_.size());
            const std::string reason = "the gx:Track has " + CountText(long(trackTimes_.size())) + " when and " +
                                       CountText(long(trackPositions_.size())) +
                                       " gx:coord elements, which do not pair up";
            for (std::size_t i = 0; i < points; ++i)
                skip(trackLine_, reason);
            return;
        }
        for (std::size_t i = 0; i < trackTimes_.size(); ++i) {
            if (!trackTimes_[i].Problem.empty())
                skip(trackTimes_[i].Line, trackTimes_[i].Problem);
            else if (!trackPositions_[i].Problem.empty())
                skip(trackPositions_[i].Line, trackPositions_[i].Problem);
            else
                addPoint(trackPositions_[i].LatLon, trackTimes_[i].Fields);
        }
    }

    struct TrackTime {
        DateTimeFields Fields{};
        qint64 Line = 0;
        std::string Problem;
    };
    struct TrackPosition {
        std::string LatLon;
        qint64 Line = 0;
        std::string Problem;
    };

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

    qint64 trackLine_ = 0;
    std::vector<TrackTime> trackTimes_;
    std::vector<TrackPosition> trackPositions_;
};

// A placemark is cut in front of; a gx:Track open around the first placemark carries state
// across a cut.
const XmlLogFormat kKmlFormat{
    u"Placemark",
    IsKmlNamespace,
    [](QStringView name, QStringView) { return name == u"Track"; },
    [](const std::string& logName, LogPartDevice& device, std::string& lines) -> std::unique_ptr<XmlLogPass> {
        return std::make_unique<KmlPass>(logName, device, lines);
    },
};

} // namespace

LogReadResult ReadKmlTrackLines(const std::string& logPath, std::string& lines, const LogProgress& progress,
                                const LogReadOptions& options)
{
    return ReadXmlLogFile(logPath, lines, progress, options, kKmlFormat);
}

LogReadResult ReadKmlTrackLines(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                                std::string& lines, const LogProgress& progress)
{
    return ReadXmlLogStream(logName, std::move(source), size, lines, progress, kKmlFormat);
}

} // namespace tideplot
