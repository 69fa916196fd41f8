#pragma once

// Reading a whole log with a format's pass (xmlpass.h): a large log file cut into parts read
// at the same time on several threads, with its one-pass fallback, or any log in one pass.
// Internal to the log readers.

#include "logpoints.h"
#include "logreader.h"
#include "xmlpass.h"

#include <QIODevice>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <string>

namespace tideplot::xmllog {

// How a format's log is cut into parts and read.
struct XmlLogFormat {
    // The element a log is cut in front of: a log is mostly a long run of these.
    const char16_t* CutElement;
    bool (*IsFormatNamespace)(QStringView ns);
    // An element that must not be open around the first cut element (its reader would
    // carry state across a cut); may be null.
    bool (*BlocksCut)(QStringView name, QStringView ns);
    // An element that may be open at a cut and whose start and end are track events
    // (XmlLogPass::trackEvent()) wherever it stands.
    bool (*IsTrackElement)(QStringView name, QStringView ns);
    std::unique_ptr<XmlLogPass> (*MakePass)(const std::string& logName, LogPartDevice& device, LogPoints& points,
                                            const LogReadOptions& options, bool wholeLog);
};

// Reads the log file at `logPath` front to back without loading it whole, in parts on
// several threads when it is large (see LogReadOptions), and adds its usable points to
// `points`. Throws Error when the log cannot be opened, is empty, or cannot be read;
// `points` may then hold some of the log's points.
LogReadResult ReadXmlLogFile(const std::string& logPath, LogPoints& points, const LogProgress& progress,
                             const LogReadOptions& options, const XmlLogFormat& format);

// The same in one pass over `source` (already open), which serves `size` bytes (for
// progress; -1 when not known). `logName` names the log in messages.
LogReadResult ReadXmlLogStream(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                               LogPoints& points, const LogProgress& progress, const LogReadOptions& options,
                               const XmlLogFormat& format);

} // namespace tideplot::xmllog
