#include "ui/frmresults.h"

#include "replay/valuetext.h"

#include "core/colour.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>

namespace tideplot {

namespace {

QTableWidget* MakeTable(QWidget* parent, const char* name, const QString& accessibleName, const QStringList& columns)
{
    auto* table = MakeControl<QTableWidget>(parent, QString::fromLatin1(name));
    table->setColumnCount(static_cast<int>(columns.size()));
    table->setHorizontalHeaderLabels(columns);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAccessibleName(accessibleName);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

QString Text(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes);
}

QTableWidgetItem* Item(const QString& text)
{
    return new QTableWidgetItem(text);
}

} // namespace

FrmResults::FrmResults(UserDialogs& dialogs, QWidget* parent) : QWidget(parent, Qt::Window), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QStringLiteral("Results"));
    lblLine = MakeControl<QLabel>(this, QStringLiteral("lblLine"));
    lblLine->setWordWrap(true);
    tabs = MakeControl<QTabWidget>(this, QStringLiteral("tabResults"));
    lstLeaderboard =
        MakeTable(tabs, "lstLeaderboard", QStringLiteral("Leaderboard"),
                  {QStringLiteral("Pos"), QStringLiteral("Boat"), QStringLiteral("Status"), QStringLiteral("Gap")});
    lstResults =
        MakeTable(tabs, "lstResults", QStringLiteral("Results"),
                  {QStringLiteral("Rank"), QStringLiteral("Boat"), QStringLiteral("LYS"), QStringLiteral("Start"),
                   QStringLiteral("Finish"), QStringLiteral("Elapsed"), QStringLiteral("Corrected")});
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

void FrmResults::showResults(const std::string& raceFile, const FinishLine& line, const QString& source)
{
    raceFile_ = raceFile;
    lblLine->setText(QStringLiteral("Finish line from %1: %2, %3 to %4, %5. Boats finish crossing it from the left "
                                    "of the first end towards the second to its right.")
                         .arg(source)
                         .arg(line.Lat1, 0, 'f', 6)
                         .arg(line.Lon1, 0, 'f', 6)
                         .arg(line.Lat2, 0, 'f', 6)
                         .arg(line.Lon2, 0, 'f', 6));
    try {
        results_ = RaceResults(raceFile, line);
    } catch (const std::exception& e) {
        results_.clear();
        dialogs_.tell(Text(e.what()), MessageKind::Error);
    }
    lstResults->setRowCount(static_cast<int>(results_.size()));
    for (int row = 0; row < static_cast<int>(results_.size()); ++row) {
        const auto texts = ResultTexts(results_[static_cast<std::size_t>(row)]);
        for (int column = 0; column < static_cast<int>(texts.size()); ++column)
            lstResults->setItem(row, column, Item(Text(texts[static_cast<std::size_t>(column)])));
    }
    lstResults->resizeColumnsToContents();
    cmdSave->setEnabled(!results_.empty());
}

void FrmResults::showLeaderboard(const std::vector<LeaderboardRow>& rows, const FleetInfo& fleet)
{
    lstLeaderboard->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const LeaderboardRow& row = rows[static_cast<std::size_t>(i)];
        const FleetBoat& boat = fleet.Boats.at(static_cast<std::size_t>(row.Boat));
        auto* name = Item(Text(boat.Caption));
        const std::uint32_t c = boat.WindowColour;
        const QColor colour(WindowColourRed(c), WindowColourGreen(c), WindowColourBlue(c));
        name->setBackground(colour);
        name->setForeground((299 * colour.red() + 587 * colour.green() + 114 * colour.blue()) / 1000 < 128 ? Qt::white
                                                                                                           : Qt::black);
        lstLeaderboard->setItem(i, 0, Item(QString::number(i + 1)));
        lstLeaderboard->setItem(i, 1, name);
        lstLeaderboard->setItem(i, 2, Item(Text(StandingText(row))));
        lstLeaderboard->setItem(i, 3, Item(Text(GapText(row))));
    }
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
        SaveResultsCsv(name, results_);
        dialogs_.tell(QStringLiteral("The results were saved to %1.").arg(QDir::toNativeSeparators(name)),
                      MessageKind::Information);
    } catch (const std::exception& e) {
        dialogs_.tell(Text(e.what()), MessageKind::Error);
    }
}

} // namespace tideplot
