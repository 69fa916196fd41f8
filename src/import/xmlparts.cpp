#include "xmlparts.h"

#include "core/error.h"

#include <QFile>
#include <QXmlStreamNamespaceDeclarations>

#include <algorithm>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

namespace tideplot::xmllog {

// Reading in parts
//
// A log is mostly a long run of sibling elements of one kind (KML placemarks, GPX track
// points). Cut in front of such an element, the piece after the cut is read on its own once
// it is preceded by the start tags of the elements open at the cut (the root with its
// namespace declarations, then Document, Folder, ...; gpx, trk, trkseg), and the piece
// before the cut once it is followed by their end tags. The elements open at the first such
// element are taken as the guess for every cut. A part is accepted only when it reads as a
// whole document without any error: that shows that the cut lies in element content (a cut
// inside a comment, a CDATA section, a tag or a text with an entity would leave the end
// tags unread or break them) with exactly the guessed elements open. The guess holds the
// namespaces in scope only when namespaces are declared nowhere but on the root, and a
// part's text means what it means in the whole log only without a DTD: both are checked.
// Each part then yields exactly the elements and texts of the whole log between its cuts
// (a long text may come in other pieces, see kPieceBytes), and the state of the format's
// reader is empty at every cut. A part's line numbers count from its cut;
// the line breaks of the parts before it are added to them, and so are the points and the
// track events (less those of the tags put around it) of the parts before it.

namespace {

// What a log looks like up to its first cut element, when it can be cut.
struct LogHead {
    QByteArray CutTag;     // "<" and the qualified name of the first cut element
    QByteArray StartTags;  // the start tags of the elements open there, outermost first
    QByteArray EndTags;    // their end tags, innermost first
    int TrackElements = 0; // the open elements that are tracks (XmlLogFormat::IsTrackElement)
};

QByteArray AttributeText(QStringView value)
{
    QByteArray out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'&':
            out += "&amp;";
            break;
        case u'<':
            out += "&lt;";
            break;
        case u'"':
            out += "&quot;";
            break;
        case u'\t':
            out += "&#9;";
            break;
        case u'\n':
            out += "&#10;";
            break;
        case u'\r':
            out += "&#13;";
            break;
        default:
            out += QStringView(&c, 1).toUtf8();
        }
    }
    return out;
}

// Reads the log up to its first cut element (within `limitBytes`); false when the log
// cannot be cut: no such element there, not UTF-8, a DTD, a namespace declared below the
// root, or an element open around it that blocks a cut. Errors are left to the full reading.
bool ReadLogHead(const QString& path, std::int64_t size, std::int64_t limitBytes, const XmlLogFormat& format,
                 LogHead& head)
{
    QString failure;
    std::unique_ptr<QIODevice> file = OpenLogFile(path, 0, failure);
    if (!file)
        return false;
    const QByteArray start = file->peek(4);
    if (start.startsWith("\xFE\xFF") || start.startsWith("\xFF\xFE") || start.contains('\0'))
        return false;
    LogPartDevice device(std::move(file), size);
    if (!device.openPart())
        return false;
    QXmlStreamReader xml(&device);
    std::vector<QString> open;
    std::vector<bool> openTracks;
    QXmlStreamNamespaceDeclarations rootNamespaces;
    while (!xml.atEnd() && !device.failed() && device.sourceBytesRead() <= limitBytes) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            if (!xml.documentEncoding().isEmpty() && xml.documentEncoding().compare(u"UTF-8", Qt::CaseInsensitive) != 0)
                return false;
            break;
        case QXmlStreamReader::DTD:
            return false;
        case QXmlStreamReader::StartElement:
            if (xml.name() == QStringView(format.CutElement) && format.IsFormatNamespace(xml.namespaceUri())) {
                if (open.empty())
                    return false;
                head.CutTag = "<" + xml.qualifiedName().toUtf8();
                head.StartTags.clear();
                head.EndTags.clear();
                for (std::size_t i = 0; i < open.size(); ++i) {
                    head.StartTags += "<" + open[i].toUtf8();
                    if (i == 0) {
                        for (const QXmlStreamNamespaceDeclaration& ns : rootNamespaces) {
                            head.StartTags += ns.prefix().isEmpty() ? " xmlns" : " xmlns:" + ns.prefix().toUtf8();
                            head.StartTags += "=\"" + AttributeText(ns.namespaceUri()) + "\"";
                        }
                    }
                    head.StartTags += ">";
                    head.EndTags.prepend("</" + open[i].toUtf8() + ">");
                }
                head.TrackElements = int(std::count(openTracks.begin(), openTracks.end(), true));
                return true;
            }
            if (format.BlocksCut && format.BlocksCut(xml.name(), xml.namespaceUri()))
                return false;
            if (open.empty())
                rootNamespaces = xml.namespaceDeclarations();
            else if (!xml.namespaceDeclarations().isEmpty())
                return false;
            open.push_back(xml.qualifiedName().toString());
            openTracks.push_back(format.IsTrackElement(xml.name(), xml.namespaceUri()));
            break;
        case QXmlStreamReader::EndElement:
            if (!open.empty()) {
                open.pop_back();
                openTracks.pop_back();
            }
            break;
        default:
            break;
        }
    }
    return false;
}

// The offset of the first cut tag of `head` (followed by a blank, ">" or "/") in the
// `windowBytes` bytes from `from` on; -1 when there is none.
std::int64_t FindCutTag(QFile& file, std::int64_t from, std::int64_t windowBytes, const QByteArray& tag)
{
    if (!file.seek(from))
        return -1;
    const QByteArray window = file.read(windowBytes);
    for (qsizetype at = window.indexOf(tag); at >= 0; at = window.indexOf(tag, at + 1)) {
        const qsizetype after = at + tag.size();
        if (after >= window.size())
            break;
        const char c = window[after];
        if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
            return from + at;
    }
    return -1;
}

// Adds the result of a later part, whose lines start after `lineOffset` lines and whose
// points after `pointOffset` points (usable or not), and whose track numbers are off by
// `trackOffset`.
void AddPart(LogReadResult& into, const LogReadResult& part, long lineOffset, long pointOffset,
             std::int64_t trackOffset)
{
    const auto moved = [&](LogPlace place) { return LogPlace{place.Line + lineOffset, place.Point + pointOffset}; };
    LogTimes& t = into.Times;
    const LogTimes& p = part.Times;
    if (part.PointCount > 0) {
        if (into.PointCount == 0) {
            t.First = p.First;
            t.FirstPlace = moved(p.FirstPlace);
        } else if (p.First < t.Last && part.Tracks.front().Id + trackOffset == into.Tracks.back().Id &&
                   t.Disorders++ == 0) {
            t.FirstDisorder = moved(p.FirstPlace);
            t.DisorderTime = p.First;
            t.DisorderAfter = t.Last;
        }
        if (p.Disorders > 0 && t.Disorders == 0) {
            t.FirstDisorder = moved(p.FirstDisorder);
            t.DisorderTime = p.DisorderTime;
            t.DisorderAfter = p.DisorderAfter;
        }
        t.Disorders += p.Disorders;
        t.Last = p.Last;
        if (p.Before1990 > 0 && t.Before1990 == 0) {
            t.FirstBefore1990 = moved(p.FirstBefore1990);
            t.FirstBefore1990Time = p.FirstBefore1990Time;
        }
        t.Before1990 += p.Before1990;
    }
    for (TrackSpan span : part.Tracks) {
        span.Id += trackOffset;
        if (!into.Tracks.empty() && (into.Tracks.back().Id == span.Id || into.Tracks.size() >= kMaxTrackSpans)) {
            TrackSpan& last = into.Tracks.back();
            last.Id = span.Id;
            last.First = std::min(last.First, span.First);
            last.Last = std::max(last.Last, span.Last);
            last.Points += span.Points;
        } else {
            into.Tracks.push_back(span);
        }
    }
    if (part.Skipped.Count > 0) {
        if (into.Skipped.Count == 0) {
            into.Skipped.First = moved(part.Skipped.First);
            into.Skipped.FirstReason = part.Skipped.FirstReason;
        }
        into.Skipped.Count += part.Skipped.Count;
    }
    LogContents& c = into.Contents;
    const LogContents& f = part.Contents;
    c.UntimedPlacemarks += f.UntimedPlacemarks;
    c.LineStrings += f.LineStrings;
    c.LineStringPoints += f.LineStringPoints;
    c.Tracks += f.Tracks;
    c.TrackPoints += f.TrackPoints;
    c.RoutePoints += f.RoutePoints;
    c.Waypoints += f.Waypoints;
    if (into.ZoneOffset.empty())
        into.ZoneOffset = part.ZoneOffset;
    else if (!part.ZoneOffset.empty() && part.ZoneOffset != into.ZoneOffset)
        into.OtherZoneOffsets = true;
    into.OtherZoneOffsets = into.OtherZoneOffsets || part.OtherZoneOffsets;
    into.PointCount += part.PointCount;
}

// Where the log is cut into about `parts` parts: offsets from 0 to `size`, each cut in
// front of a cut element; fewer than three (fewer than two parts) when it cannot be cut.
std::vector<std::int64_t> CutOffsets(const QString& path, std::int64_t size, int parts, const LogHead& head)
{
    std::vector<std::int64_t> cuts{0};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::int64_t window = std::min(size / parts, std::int64_t{1} << 20);
    for (int i = 1; i < parts; ++i) {
        const std::int64_t at = FindCutTag(file, size * i / parts, window, head.CutTag);
        if (at > cuts.back())
            cuts.push_back(at);
    }
    cuts.push_back(size);
    return cuts;
}

// One part of a log: its bytes with the tags put around them, and what it reads as.
struct LogPart {
    std::unique_ptr<LogPartDevice> Device;
    std::unique_ptr<LogPoints> Points;
    LogReadResult Result;
    std::int64_t TrackEvents = 0;
    bool Ok = false;
};

// The parts between the cuts, opened; empty when a part cannot be opened.
std::vector<LogPart> OpenParts(const QString& path, const std::vector<std::int64_t>& cuts, const LogHead& head,
                               const LogReadOptions& options)
{
    const std::size_t count = cuts.size() - 1;
    std::vector<LogPart> parts(count);
    for (std::size_t i = 0; i < count; ++i) {
        QString failure;
        std::unique_ptr<QIODevice> file = OpenLogFile(path, cuts[i], failure);
        if (!file)
            return {};
        parts[i].Device = std::make_unique<LogPartDevice>(std::move(file), cuts[i + 1] - cuts[i],
                                                          i > 0 ? head.StartTags : QByteArray(),
                                                          i + 1 < count ? head.EndTags : QByteArray());
        parts[i].Points = std::make_unique<LogPoints>(options.PointMemoryBytes / std::int64_t(count));
    }
    return parts;
}

// Reads every part on a thread of its own, telling the progress of them all; false when
// no thread can be had or a part does not read as a whole document without an error.
bool ReadPartsOnThreads(std::vector<LogPart>& parts, const std::string& logPath, std::int64_t size,
                        const LogProgress& progress, const LogReadOptions& options, const XmlLogFormat& format)
{
    const auto readPart = [&logPath, &format, &options](LogPart& part) {
        try {
            if (!part.Device->openPart())
                return;
            const std::unique_ptr<XmlLogPass> pass =
                format.MakePass(logPath, *part.Device, *part.Points, options, false);
            pass->run();
            part.Result = pass->result();
            part.TrackEvents = pass->trackEvents();
            part.Ok = !pass->innerNamespaceDeclarations() && part.Result.Tracks.size() < kMaxTrackSpans;
        } catch (...) {
            // Any failure, errors of the log included, sends the log to the one-pass reading.
        }
    };
    std::vector<std::future<void>> running;
    try {
        for (LogPart& part : parts)
            running.push_back(std::async(std::launch::async, readPart, std::ref(part)));
    } catch (const std::system_error&) {
        return false; // no thread to be had; the futures started wait for their parts
    }
    for (std::future<void>& done : running) {
        while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
            if (progress) {
                std::int64_t read = 0;
                for (const LogPart& part : parts)
                    read += part.Device->sourceBytesRead();
                progress(read, size);
            }
        }
    }
    return std::all_of(parts.begin(), parts.end(), [](const LogPart& part) { return part.Ok; });
}

// The parts' results and points as one pass over the whole log would give them: line
// numbers, points and track events counted on from the parts before.
void JoinParts(std::vector<LogPart>& parts, const LogHead& head, LogPoints& points, LogReadResult& result)
{
    const std::size_t count = parts.size();
    result = LogReadResult{};
    result.Parts = int(count);
    long lineOffset = 0;
    std::int64_t tracksBefore = 0; // track events in the parts before, without the tags put around them
    for (std::size_t i = 0; i < count; ++i) {
        LogPart& part = parts[i];
        const int prefixEvents = i > 0 ? head.TrackElements : 0;
        const int suffixEvents = i + 1 < count ? head.TrackElements : 0;
        AddPart(result, part.Result, lineOffset, result.PointCount + result.Skipped.Count, tracksBefore - prefixEvents);
        tracksBefore += part.TrackEvents - prefixEvents - suffixEvents;
        lineOffset += part.Device->sourceLineBreaks();
        points.Append(std::move(*part.Points));
        part.Points.reset();
    }
    result.Lines = lineOffset + 1;
}

// Reads the log in parts on several threads; false when it cannot be cut, or when a part
// fails for any reason (the caller then reads the log in one pass, which names the first
// error of the log, if it has one).
bool ReadInParts(const std::string& logPath, const QString& path, std::int64_t size, int parts, LogPoints& points,
                 LogReadResult& result, const LogProgress& progress, const LogReadOptions& options,
                 const XmlLogFormat& format)
{
    LogHead head;
    if (!ReadLogHead(path, size, std::int64_t{1} << 20, format, head))
        return false;
    const std::vector<std::int64_t> cuts = CutOffsets(path, size, parts, head);
    if (cuts.size() < 3)
        return false;
    std::vector<LogPart> read = OpenParts(path, cuts, head, options);
    if (read.empty() || !ReadPartsOnThreads(read, logPath, size, progress, options, format))
        return false;
    JoinParts(read, head, points, result);
    return true;
}

int PartCount(std::int64_t size, const LogReadOptions& options)
{
    int threads = options.Threads;
    if (threads <= 0)
        threads = int(std::min(16u, std::max(1u, std::thread::hardware_concurrency())));
    const std::int64_t bySize = size / std::max<std::int64_t>(options.MinPartBytes, 1);
    return int(std::min<std::int64_t>(threads, bySize));
}

} // namespace

LogReadResult ReadXmlLogFile(const std::string& logPath, LogPoints& points, const LogProgress& progress,
                             const LogReadOptions& options, const XmlLogFormat& format)
{
    CheckLogFile(logPath);
    const QString path = QFile::decodeName(logPath.c_str());
    QString failure;
    std::unique_ptr<QIODevice> file = OpenLogFile(path, 0, failure);
    if (!file)
        throw Error("cannot open \"" + logPath + "\": " + failure.toStdString());
    const std::int64_t size = file->size();
    if (size == 0)
        throw Error(logPath + ": the log is empty");

    LogReadResult result;
    const int parts = PartCount(size, options);
    if (parts < 2 || !ReadInParts(logPath, path, size, parts, points, result, progress, options, format)) {
        result = ReadXmlLogStream(logPath, std::move(file), size, points, progress, options, format);
    } else if (progress) {
        progress(size, size);
    }
    return result;
}

LogReadResult ReadXmlLogStream(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                               LogPoints& points, const LogProgress& progress, const LogReadOptions& options,
                               const XmlLogFormat& format)
{
    LogPartDevice device(std::move(source), size);
    if (!device.openPart())
        throw Error("cannot open \"" + logName + "\": " + device.failure());
    const std::unique_ptr<XmlLogPass> pass = format.MakePass(logName, device, points, options, true);
    pass->run(progress ? &progress : nullptr, size);
    if (progress)
        progress(size, size);
    return pass->result();
}

} // namespace tideplot::xmllog
