#pragma once

// One pass of a format's reader (KML, GPX) over a log, or over one part of it: the XML
// reader's tokens in, the log's points and what it says besides them out. Internal to the
// log readers.

#include "logpoints.h"
#include "logreader.h"
#include "xmlguard.h"
#include "xmlvalues.h"

#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tideplot::xmllog {

// The reader sees every start and end tag through startElement() and endElement(), hands
// the usable points to `points` and counts the rest in result().
class XmlLogPass {
public:
    // `wholeLog`: the device serves the whole log, not a part of it, so where its XML ends
    // early the log ends early (otherwise that is an error of the part).
    XmlLogPass(const std::string& logName, LogPartDevice& device, LogPoints& points, const LogReadOptions& options,
               bool wholeLog);
    virtual ~XmlLogPass();
    XmlLogPass(const XmlLogPass&) = delete;
    XmlLogPass& operator=(const XmlLogPass&) = delete;

    // Reads to the end; reports progress to `progress` (when set) against `totalBytes`.
    // Throws Error naming the log and the line when the log cannot be read.
    void run(const LogProgress* progress = nullptr, std::int64_t totalBytes = 0);

    // Points, skipped points, contents, times and tracks; Parts is left at 1.
    const LogReadResult& result() const { return result_; }
    // True when an element below the root declared a namespace.
    bool innerNamespaceDeclarations() const { return innerNamespaceDeclarations_; }
    // The starts and ends of tracks seen (see trackEvent()).
    std::int64_t trackEvents() const { return trackEvents_; }

protected:
    virtual void startElement() = 0;
    virtual void endElement() = 0;
    // Characters between tags, while wantCharacters() says so.
    virtual void characters() {}
    virtual bool wantCharacters() const { return false; }
    // The log ends here, early: what is complete may still be kept.
    virtual void endEarly() {}

    [[noreturn]] void fail(qint64 line, const std::string& what) const;
    // The text of the element just started (comments left out, at most 4,096 characters:
    // a longer text is no value any reader takes, and reads as none), valid until the next
    // call; its end has been read afterwards.
    QStringView elementText();
    // ReadLogTime, noting the zone offset the time is written with.
    bool readTime(QStringView text, DateTimeFields& fields);
    void addPoint(QStringView lat, QStringView lon, const DateTimeFields& time, qint64 line);
    void addPoint(std::string_view latLon, const DateTimeFields& time, qint64 line);
    void skip(qint64 line, const std::string& reason);
    // A track starts or ends: the points after it belong to another track. A format's
    // reader calls it at the start and at the end of each element it takes for a track.
    void trackEvent() { ++trackEvents_; }

    // Holding points back, for a gx:Track whose times and positions may not pair up: from
    // holdPoints() on the points added wait apart; releasePoints() adds them to the log's,
    // dropPoints() drops them and sets the result back to what it was at holdPoints().
    void holdPoints();
    void releasePoints();
    void dropPoints();

    const LogReadOptions& options() const { return options_; }

    QXmlStreamReader xml_;
    LogReadResult result_;
    int depth_ = 0; // of the element last started

private:
    struct EndsEarly {};
    void checkXml() const;
    // Adds the point whose latitude and longitude are in line_.
    void addLine(const DateTimeFields& time, qint64 line);

    const std::string& logName_;
    LogPartDevice& device_;
    LogPoints& points_;
    const LogReadOptions& options_;
    bool wholeLog_;
    bool innerNamespaceDeclarations_ = false;
    std::int64_t trackEvents_ = 0;
    std::string line_; // the track line being made
    QString text_;     // the element text read last
    // The last date read and its first second, since most points share their date.
    std::array<char, 8> lastDate_{};
    LogSecond lastDayStart_ = 0;
    bool haveLastDate_ = false;

    struct Held {
        std::unique_ptr<LogPoints> Points;
        long PointCount = 0;
        SkippedPoints Skipped;
        LogTimes Times;
        std::size_t Tracks = 0;
        TrackSpan LastTrack;
    };
    std::unique_ptr<Held> held_;
};

} // namespace tideplot::xmllog
