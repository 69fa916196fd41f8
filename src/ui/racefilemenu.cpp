#include "ui/racefilemenu.h"

#include "core/error.h"
#include "core/text.h"
#include "ui/racefile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <exception>

namespace tideplot {

namespace {

const QString kRaceFileFilter = QStringLiteral("All Files (*.TP1)");

std::string FileNameBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

RaceFileMenu::RaceFileMenu(BoatList& boats, UserDialogs& dialogs, Window window)
    : boats_(boats), dialogs_(dialogs), window_(std::move(window))
{
}

QString RaceFileMenu::raceFileName() const
{
    return QFile::decodeName(QByteArray::fromStdString(raceFile_));
}

QString RaceFileMenu::askRaceFileName(const QString& title, FileQuestion question)
{
    // Open starts in the current race's folder; a new race beside the track files shown.
    QString folder = window_.browserFolder();
    if (question == FileQuestion::Open && !raceFile_.empty())
        folder = QFileInfo(raceFileName()).absolutePath();
    QString name = dialogs_.askFileName(title, kRaceFileFilter, question, folder);
    // A name typed without an extension gets the race file's, so that the Open dialog lists it.
    if (!name.isEmpty() && question != FileQuestion::Open && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".TP1");
    return name;
}

bool RaceFileMenu::hasUnsavedChanges() const
{
    if (window_.besideModified && window_.besideModified())
        return true;
    if (raceFile_.empty())
        return !boats_.rows().empty();
    try {
        return ReadRaceFile(raceFile_) != boats_.rows();
    } catch (const Error&) {
        return !boats_.rows().empty(); // the file is gone: the rows are only here
    }
}

bool RaceFileMenu::maybeSave()
{
    if (!hasUnsavedChanges())
        return true;
    const QString race = raceFile_.empty() ? QStringLiteral("a new race file") : LocalText(FileLabel(raceFile_));
    switch (dialogs_.askToSave(QStringLiteral("Save the changes to %1?").arg(race))) {
    case SaveAnswer::Save:
        save();
        return !hasUnsavedChanges();
    case SaveAnswer::Discard:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void RaceFileMenu::setRaceFile(const std::string& path, std::vector<std::string> rows)
{
    raceFile_ = path;
    savedRows_ = rows;
    boats_.setRows(std::move(rows));
    window_.showRows();
}

bool RaceFileMenu::checkRows()
{
    const std::vector<std::string> problems = RaceRowProblems(raceFile_, boats_.rows());
    if (problems.empty())
        return true;
    constexpr std::size_t kShown = 10;
    QStringList lines;
    for (std::size_t i = 0; i < std::min(problems.size(), kShown); ++i)
        lines << LocalText(problems[i]);
    if (problems.size() > kShown)
        lines << QStringLiteral("and %1 more.").arg(problems.size() - kShown);
    dialogs_.tell(QStringLiteral("%1 of the %2 rows of %3 will not replay; mend them in the list and save:\n\n%4")
                      .arg(problems.size())
                      .arg(boats_.size())
                      .arg(LocalText(FileLabel(raceFile_)), lines.join(u'\n')),
                  MessageKind::Warning);
    return false;
}

void RaceFileMenu::enableStart()
{
    window_.setStartEnabled(boats_.size() > 0 && checkRows());
}

void RaceFileMenu::newRace()
{
    if (!maybeSave())
        return;
    const QString name = askRaceFileName(QStringLiteral("New"), FileQuestion::Create);
    if (name.isEmpty())
        return;
    try {
        CreateRaceFileIfMissing(FileNameBytes(name));
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
        return;
    }
    // The list starts empty; an existing file keeps its rows until the next Save.
    std::vector<std::string> onDisk;
    try {
        onDisk = ReadRaceFile(FileNameBytes(name));
    } catch (const Error&) {
    }
    setRaceFile(FileNameBytes(name), {});
    savedRows_ = std::move(onDisk);
    window_.showRows();
    window_.setStartEnabled(false);
}

void RaceFileMenu::open()
{
    if (!maybeSave())
        return;
    const QString name = askRaceFileName(QStringLiteral("Open"), FileQuestion::Open);
    if (!name.isEmpty())
        openFile(name);
}

bool RaceFileMenu::openFile(const QString& path)
{
    std::vector<std::string> rows;
    try {
        rows = ReadRaceFile(FileNameBytes(path));
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
        return false;
    }
    setRaceFile(FileNameBytes(path), std::move(rows));
    window_.rowsOpened();
    enableStart();
    return true;
}

void RaceFileMenu::close()
{
    if (!maybeSave())
        return;
    setRaceFile({}, {});
    window_.setStartEnabled(false);
}

bool RaceFileMenu::saveRaceFile(const std::string& path)
{
    // Each row names its track file so that it is found from the file's new place.
    std::vector<std::string> rows = RowsForRaceFile(boats_.rows(), raceFile_, path);
    try {
        WriteRaceFile(path, rows);
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
        return false;
    }
    if (window_.saveBeside && !window_.saveBeside(path, boats_.rows(), rows))
        return false;
    if (rows != boats_.rows()) {
        boats_.setRows(rows);
        window_.showRows();
    }
    savedRows_ = std::move(rows);
    window_.rowsSaved();
    return true;
}

void RaceFileMenu::save()
{
    std::string path = raceFile_;
    if (path.empty()) {
        const QString name = askRaceFileName(QStringLiteral("Save as"), FileQuestion::Save);
        if (name.isEmpty())
            return;
        path = FileNameBytes(name);
    }
    if (!saveRaceFile(path))
        return;
    raceFile_ = path;
    window_.showRows();
    enableStart();
}

void RaceFileMenu::saveAs()
{
    const QString name = askRaceFileName(QStringLiteral("Save as"), FileQuestion::Save);
    if (name.isEmpty())
        return;
    if (!saveRaceFile(FileNameBytes(name)))
        return;
    raceFile_ = FileNameBytes(name);
    window_.showRows();
}

} // namespace tideplot
