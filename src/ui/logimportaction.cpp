#include "ui/logimportaction.h"

#include "core/text.h"
#include "import/logimport.h"
#include "ui/dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <exception>
#include <vector>

namespace tideplot {

namespace {

// Every log the import reads first; the classic filter stays in the list.
const QString kLogFilter =
    QString::fromLatin1(kImportFileFilterLogs) + QStringLiteral(";;") + QString::fromLatin1(kImportFileFilterKml);

QString FromBytes(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes);
}

std::string FileNameBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The import of one log, with its progress shown.
LogImportResult RunLogImport(const QString& logPath, UserDialogs& dialogs, bool split)
{
    const std::unique_ptr<ProgressReport> progress =
        dialogs.showProgress(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(logPath)));
    const LogProgress shown = [&](std::int64_t done, std::int64_t total) { progress->setProgress(done, total); };
    return split ? ImportLogSplit(FileNameBytes(logPath), shown) : ImportLog(FileNameBytes(logPath), shown);
}

MessageKind ReportKind(const LogImportResult& result)
{
    return result.PointCount == 0 || !result.Warnings.empty() ? MessageKind::Warning : MessageKind::Information;
}

QString FirstTrackFile(const LogImportResult& result)
{
    for (const std::string& file : result.TrackFiles)
        if (QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(file))))
            return QFile::decodeName(QByteArray::fromStdString(file));
    return {};
}

// One log: its report, and the question whether a log of several tracks or days is split.
QString ImportOne(UserDialogs& dialogs, const QString& log)
{
    LogImportResult result = RunLogImport(log, dialogs, false);
    const QString report = FromBytes(ImportReportText(result));
    if (result.CanSplit() &&
        dialogs.askYesNo(report + QStringLiteral("\n\nWrite one track file per track as well (%1 ... %2)?")
                                      .arg(FromBytes(FileLabel(PieceTrackFilePath(FileNameBytes(log), 1))),
                                           FromBytes(FileLabel(PieceTrackFilePath(
                                               FileNameBytes(log), static_cast<int>(result.Pieces.size()))))),
                         QStringLiteral("Split"), QStringLiteral("Keep one file"))) {
        result = RunLogImport(log, dialogs, true);
        dialogs.tell(FromBytes(ImportReportText(result)), ReportKind(result));
    } else if (!result.CanSplit()) {
        dialogs.tell(report, ReportKind(result));
    }
    return FirstTrackFile(result);
}

// Several logs: each imported, those of several tracks or days split when the sailor says
// so (asked once for all of them), and one report of them all.
QString ImportMany(UserDialogs& dialogs, const QStringList& logs)
{
    std::vector<LogImportResult> results;
    QStringList reports, splittable;
    bool failed = false, warned = false;
    for (const QString& log : logs) {
        try {
            results.push_back(RunLogImport(log, dialogs, false));
            if (results.back().CanSplit())
                splittable << QFileInfo(log).fileName();
        } catch (const std::exception& e) {
            failed = true;
            reports << FromBytes(e.what());
        }
    }
    const bool split =
        !splittable.isEmpty() &&
        dialogs.askYesNo(QStringLiteral("%1 of the logs hold several tracks or days: %2.\n\nWrite one track file per "
                                        "track of them as well?")
                             .arg(splittable.size())
                             .arg(splittable.join(QStringLiteral(", "))),
                         QStringLiteral("Split"), QStringLiteral("Keep one file"));
    QString first;
    for (LogImportResult& result : results) {
        if (split && result.CanSplit()) {
            try {
                result = RunLogImport(QFile::decodeName(QByteArray::fromStdString(result.Log)), dialogs, true);
            } catch (const std::exception& e) {
                failed = true;
                reports << FromBytes(e.what());
                continue;
            }
        }
        warned = warned || ReportKind(result) == MessageKind::Warning;
        reports << FromBytes(ImportReportText(result));
        if (first.isEmpty())
            first = FirstTrackFile(result);
    }
    dialogs.tell(QStringLiteral("%1 logs imported:\n\n%2").arg(logs.size()).arg(reports.join(QStringLiteral("\n\n"))),
                 failed   ? MessageKind::Error
                 : warned ? MessageKind::Warning
                          : MessageKind::Information);
    return first;
}

} // namespace

QString ImportLogs(UserDialogs& dialogs, const QString& folder)
{
    const QStringList logs = dialogs.askFileNames(QStringLiteral("Parse .KML file"), kLogFilter, folder);
    if (logs.isEmpty())
        return {};
    try {
        return logs.size() == 1 ? ImportOne(dialogs, logs.constFirst()) : ImportMany(dialogs, logs);
    } catch (const std::exception& e) {
        dialogs.tell(FromBytes(e.what()), MessageKind::Error);
        return {};
    }
}

} // namespace tideplot
