#include "gpxreader.h"

#include "xmlparts.h"

#include <QXmlStreamAttributes>

namespace tideplot {

namespace {

using namespace xmllog;

// GPX 1.0 and 1.1 live under topografix.com; some writers declare no namespace.
bool IsGpxNamespace(QStringView ns)
{
    return ns.isEmpty() || ns.startsWith(u"http://www.topografix.com/GPX/");
}

bool IsTrack(QStringView name, QStringView ns)
{
    return name == u"trk" && IsGpxNamespace(ns);
}

// One pass over a GPX log (or one part of it): the open trkpt's depth (0 when none is
// open), its line, position texts and time. Only a time element that is a direct child of
// the trkpt counts, not one inside its extensions.
class GpxPass : public XmlLogPass {
public:
    using XmlLogPass::XmlLogPass;

private:
    void startElement() override
    {
        const QStringView name = xml_.name();
        if (trkptDepth_ != 0) {
            if (depth_ == trkptDepth_ + 1 && !hasTime_ && name == u"time" && IsGpxNamespace(xml_.namespaceUri())) {
                timeLine_ = xml_.lineNumber();
                time_.resize(0);
                time_.append(elementText());
                hasTime_ = true;
            }
            return;
        }
        if (!IsGpxNamespace(xml_.namespaceUri()))
            return;
        if (name == u"trk") {
            trackEvent();
        } else if (name == u"trkpt") {
            trkptDepth_ = depth_;
            trkptLine_ = xml_.lineNumber();
            hasTime_ = false;
            hasLat_ = false;
            hasLon_ = false;
            for (const QXmlStreamAttribute& attribute : xml_.attributes()) {
                if (!attribute.namespaceUri().isEmpty())
                    continue;
                if (attribute.name() == u"lat" && !hasLat_) {
                    hasLat_ = true;
                    lat_.resize(0);
                    lat_.append(attribute.value());
                } else if (attribute.name() == u"lon" && !hasLon_) {
                    hasLon_ = true;
                    lon_.resize(0);
                    lon_.append(attribute.value());
                }
            }
            ++result_.Contents.TrackPoints;
        } else if (name == u"rtept") {
            ++result_.Contents.RoutePoints;
        } else if (name == u"wpt") {
            ++result_.Contents.Waypoints;
        }
    }

    void endElement() override
    {
        if (IsTrack(xml_.name(), xml_.namespaceUri()))
            trackEvent();
        if (depth_ != trkptDepth_)
            return;
        trkptDepth_ = 0;
        if (!hasTime_) {
            skip(trkptLine_, "the track point has no time");
            return;
        }
        DateTimeFields time;
        if (!readTime(time_, time)) {
            skip(timeLine_, TimeProblem(time_));
            return;
        }
        if (!hasLat_ || !hasLon_) {
            skip(trkptLine_,
                 !hasLat_ ? "the track point has no latitude (lat)" : "the track point has no longitude (lon)");
            return;
        }
        const QStringView lat = TrimXmlSpace(lat_);
        const QStringView lon = TrimXmlSpace(lon_);
        std::string problem = LatitudeProblem(lat);
        if (problem.empty())
            problem = LongitudeProblem(lon);
        if (!problem.empty()) {
            skip(trkptLine_, problem);
            return;
        }
        addPoint(lat, lon, time, trkptLine_);
    }

    int trkptDepth_ = 0;
    qint64 trkptLine_ = 0;
    bool hasLat_ = false;
    bool hasLon_ = false;
    QString lat_;
    QString lon_;
    bool hasTime_ = false;
    QString time_;
    qint64 timeLine_ = 0;
};

// A track point is cut in front of; nothing of the reader's state spans track points.
const XmlLogFormat kGpxFormat{
    u"trkpt",
    IsGpxNamespace,
    nullptr,
    IsTrack,
    [](const std::string& logName, LogPartDevice& device, LogPoints& points, const LogReadOptions& options,
       bool wholeLog) -> std::unique_ptr<XmlLogPass> {
        return std::make_unique<GpxPass>(logName, device, points, options, wholeLog);
    },
};

} // namespace

LogReadResult ReadGpxPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress,
                            const LogReadOptions& options)
{
    return ReadXmlLogFile(logPath, points, progress, options, kGpxFormat);
}

} // namespace tideplot
