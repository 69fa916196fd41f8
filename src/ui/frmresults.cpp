#include "ui/frmresults.h"

#include "core/handicapfile.h"
#include "core/text.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace tideplot {

namespace {

QTableView* MakeTable(QWidget* parent, const char* name, const QString& accessibleName, QAbstractItemModel& model)
{
    auto* table = MakeControl<QTableView>(parent, QString::fromLatin1(name));
    table->setModel(&model);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAccessibleName(accessibleName);
    table->setTabKeyNavigation(false); // Tab leaves the table; the arrow keys move in it
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace

FrmResults::FrmResults(UserDialogs& dialogs, QWidget* parent) : QWidget(parent, Qt::Window), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QStringLiteral("Results"));
    lblLine = MakeControl<QLabel>(this, QStringLiteral("lblLine"));
    lblLine->setWordWrap(true);
    lblLine->setTextFormat(Qt::PlainText); // mark names are text
    tabs = MakeControl<QTabWidget>(this, QStringLiteral("tabResults"));
    leaderboardColoured_.setSourceModel(&leaderboard_);
    lstLeaderboard = MakeTable(tabs, "lstLeaderboard", QStringLiteral("Leaderboard"), leaderboardColoured_);
    lstResults = MakeTable(tabs, "lstResults", QStringLiteral("Results"), results_);
    tabs->addTab(lstLeaderboard, QStringLiteral("&Leaderboard"));
    tabs->addTab(lstResults, QStringLiteral("&Results"));
    cmdSave = MakeControl<QPushButton>(this, QStringLiteral("cmdSave"));
    cmdSave->setText(QStringLiteral("&Save CSV..."));
    cmdSave->setEnabled(false);
    cmdClose = MakeControl<QPushButton>(this, QStringLiteral("cmdClose"));
    cmdClose->setText(QStringLiteral("&Close"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblLine);
    layout->addWidget(tabs, 1);
    layout->addLayout(buttons);
    resize(720, 420);

    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });
}

void FrmResults::showResults(const std::string& raceFile, const Course& course, const QString& source)
{
    raceFile_ = raceFile;
    const FinishLine& line = *course.Finish;
    QString text = QStringLiteral("Finish line from %1: %2, %3 to %4, %5. Boats finish crossing it from the left "
                                  "of the first end towards the second to its right.")
                       .arg(source)
                       .arg(line.Lat1, 0, 'f', 6)
                       .arg(line.Lon1, 0, 'f', 6)
                       .arg(line.Lat2, 0, 'f', 6)
                       .arg(line.Lon2, 0, 'f', 6);
    if (!course.FinishOnly()) {
        QStringList marks;
        for (const std::size_t mark : course.Lap())
            marks << LocalText(course.Marks[mark].Name);
        text = QStringLiteral("Course from %1: %2%3 (%4), then the finish line, %5, %6 to %7, %8. Boats cross the "
                              "lines from the left of the first end towards the second to its right.")
                   .arg(source, course.Start ? QStringLiteral("the start line, ") : QString(),
                        marks.join(QStringLiteral(", ")),
                        course.Laps == 1 ? QStringLiteral("1 lap") : QStringLiteral("%1 laps").arg(course.Laps))
                   .arg(line.Lat1, 0, 'f', 6)
                   .arg(line.Lon1, 0, 'f', 6)
                   .arg(line.Lat2, 0, 'f', 6)
                   .arg(line.Lon2, 0, 'f', 6);
    }
    std::vector<BoatResult> results;
    Handicap handicap;
    try {
        handicap = ReadRaceHandicapLines(raceFile).Effective();
        results = RaceResults(raceFile, course);
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
    }
    lblLine->setText(text +
                     QStringLiteral(" Handicap: %1.").arg(QString::fromUtf8(HandicapSystemCaption(handicap.System))));
    results_.setRatingHeading(handicap.System == HandicapSystem::Lys ? QStringLiteral("LYS")
                                                                     : QStringLiteral("Rating"));
    results_.show(results);
    lstResults->resizeColumnsToContents();
    // Wide enough for every column, as far as the screen allows.
    const int needed = lstResults->horizontalHeader()->length() + 2 * lstResults->frameWidth() +
                       lstResults->verticalScrollBar()->sizeHint().width() + width() - tabs->width() + 8;
    if (needed > width()) {
        const int most = screen() ? screen()->availableGeometry().width() : needed;
        resize(std::min(needed, most), height());
    }
    cmdSave->setEnabled(!results.empty());
}

void FrmResults::showLeaderboard(const std::vector<LeaderboardRow>& rows, const FleetInfo& fleet)
{
    leaderboard_.show(rows, fleet);
}

void FrmResults::cmdSave_Click()
{
    QString name =
        dialogs_.askFileName(QStringLiteral("Save results"), QStringLiteral("CSV table (*.csv)"), FileQuestion::Save,
                             QFileInfo(QString::fromLocal8Bit(raceFile_)).absolutePath());
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".csv");
    try {
        SaveResultsCsv(name, results_.results());
        dialogs_.tell(QStringLiteral("The results were saved to %1.").arg(QDir::toNativeSeparators(name)),
                      MessageKind::Information);
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
    }
}

} // namespace tideplot
