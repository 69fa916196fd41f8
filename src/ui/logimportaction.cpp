#include "ui/logimportaction.h"

#include "core/text.h"
#include "import/logimport.h"
#include "ui/dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <exception>
#include <optional>
#include <vector>

namespace tideplot {

namespace {

// Every log the import reads first; the classic filter stays in the list.
const QString kLogFilter =
    QString::fromLatin1(kImportFileFilterLogs) + QStringLiteral(";;") + QString::fromLatin1(kImportFileFilterKml);

std::string FileNameBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The date of an NMEA log's first position, typed by the sailor when the log gives none:
// asked again until it is a date; nothing when the sailor cancels.
std::optional<LogSecond> AskLogDate(UserDialogs& dialogs, const QString& logPath, const QString& why)
{
    QString text = why;
    for (;;) {
        const std::optional<QStringList> typed =
            dialogs.askTexts(QStringLiteral("Date of %1").arg(QFileInfo(logPath).fileName()),
                             text + QStringLiteral("\n\nType the date (UTC) of its first position."),
                             {QStringLiteral("&Date (YYYY-MM-DD):")}, {QString()});
        if (!typed)
            return std::nullopt;
        const QString date = typed->value(0).trimmed();
        if (const std::optional<LogSecond> day = ReadGivenDate(date.toStdString()))
            return day;
        text = QStringLiteral("\"%1\" is not a date YYYY-MM-DD.").arg(date);
    }
}

// The import of one log, with its progress shown; the date of a log that gives none is
// asked for once and kept in `date` for the log's next import.
LogImportResult RunLogImport(const QString& logPath, UserDialogs& dialogs, bool split, std::optional<LogSecond>& date)
{
    for (;;) {
        const std::unique_ptr<ProgressReport> progress =
            dialogs.showProgress(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(logPath)));
        const LogProgress shown = [&](std::int64_t done, std::int64_t total) { progress->setProgress(done, total); };
        LogImportOptions options;
        options.Split = split;
        options.Read.GivenDate = date;
        try {
            return ImportLog(FileNameBytes(logPath), shown, options);
        } catch (const LogDateNeeded& e) {
            if (date || !(date = AskLogDate(dialogs, logPath, LocalText(e.what()))))
                throw;
        }
    }
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
    std::optional<LogSecond> date;
    LogImportResult result = RunLogImport(log, dialogs, false, date);
    const QString report = LocalText(ImportReportText(result));
    if (result.CanSplit() &&
        dialogs.askYesNo(report + QStringLiteral("\n\nWrite one track file per track as well (%1 ... %2)?")
                                      .arg(LocalText(FileLabel(PieceTrackFilePath(FileNameBytes(log), 1))),
                                           LocalText(FileLabel(PieceTrackFilePath(
                                               FileNameBytes(log), static_cast<int>(result.Pieces.size()))))),
                         QStringLiteral("Split"), QStringLiteral("Keep one file"))) {
        result = RunLogImport(log, dialogs, true, date);
        dialogs.tell(LocalText(ImportReportText(result)), ReportKind(result));
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
    std::vector<std::optional<LogSecond>> dates;
    QStringList reports, splittable;
    bool failed = false, warned = false;
    for (const QString& log : logs) {
        try {
            std::optional<LogSecond> date;
            results.push_back(RunLogImport(log, dialogs, false, date));
            dates.push_back(date);
            if (results.back().CanSplit())
                splittable << QFileInfo(log).fileName();
        } catch (const std::exception& e) {
            failed = true;
            reports << LocalText(e.what());
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
    for (std::size_t i = 0; i < results.size(); ++i) {
        LogImportResult& result = results[i];
        if (split && result.CanSplit()) {
            try {
                result =
                    RunLogImport(QFile::decodeName(QByteArray::fromStdString(result.Log)), dialogs, true, dates[i]);
            } catch (const std::exception& e) {
                failed = true;
                reports << LocalText(e.what());
                continue;
            }
        }
        warned = warned || ReportKind(result) == MessageKind::Warning;
        reports << LocalText(ImportReportText(result));
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
        dialogs.tell(LocalText(e.what()), MessageKind::Error);
        return {};
    }
}

} // namespace tideplot
