#include "ui/frmanalysis.h"

#include "analysis/analysistext.h"
#include "core/colour.h"
#include "core/datetime.h"
#include "core/replay.h"
#include "core/text.h"
#include "replay/replaysession.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/gapgraph.h"
#include "ui/speedgraph.h"
#include "ui/timelinetext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>

namespace tideplot {

namespace {

constexpr double kSecondsBeforeManoeuvre = 10;
constexpr long long kPageSteps = 10; // Page Up and Page Down, as on the replay's slider

QColor BoatColour(const FleetBoat& boat)
{
    const std::uint32_t c = boat.WindowColour;
    return QColor(WindowColourRed(c), WindowColourGreen(c), WindowColourBlue(c));
}

// The degrees typed in the wind box: a number from 0 to 360.
std::optional<double> WindDegrees(const QString& text)
{
    bool ok = false;
    const double degrees = QLocale::c().toDouble(text.trimmed().replace(u',', u'.'), &ok);
    if (!ok || !std::isfinite(degrees) || degrees < 0 || degrees > 360)
        return std::nullopt;
    return degrees;
}

// A table sorted by the numbers of its cells (Qt::UserRole), rows selected whole.
void SetUpSortedTable(QTableView* table, SortedBoatColouredTable& sorted, QAbstractItemModel& model,
                      const QString& name, const QString& tip)
{
    sorted.setSourceModel(&model);
    sorted.setSortRole(Qt::UserRole);
    table->setModel(&sorted);
    table->setAccessibleName(name);
    table->setToolTip(tip);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSortingEnabled(true);
    table->sortByColumn(0, Qt::AscendingOrder);
}

} // namespace

FrmAnalysis::FrmAnalysis(ReplaySession& session, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("frmAnalysis"));
    setWindowTitle(QStringLiteral("Analysis"));
    makeControls();
    layOut();
    connectControls();
    showAnalysis(nullptr, QString());
    session_.addObserver(this);
}

void FrmAnalysis::makeControls()
{
    makeWindControls();
    makeBoatChoice();
    makeGraphs();
    makeManoeuvresTable();
    makeStartAndLegs();
    makeTotalsTable();
    makeComparison();
    tabsAnalysis = MakeControl<QTabWidget>(this, QStringLiteral("tabsAnalysis"));
    tabsAnalysis->setAccessibleName(QStringLiteral("Tables"));
    tabsAnalysis->addTab(lstTotals, QStringLiteral("T&otals"));
    tabsAnalysis->addTab(startPage(), QStringLiteral("S&tart"));
    tabsAnalysis->addTab(lstLegs, QStringLiteral("&Legs"));
    tabsAnalysis->addTab(manoeuvresPage(), QStringLiteral("&Manoeuvres"));
    tabsAnalysis->addTab(comparisonPage(), QStringLiteral("Com&pare"));
    lblStatus = MakeControl<QLabel>(this, QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    cmdClose = MakeControl<QPushButton>(this, QStringLiteral("cmdClose"));
    cmdClose->setText(QStringLiteral("&Close"));
}

void FrmAnalysis::makeWindControls()
{
    txtWind = MakeControl<QLineEdit>(this, QStringLiteral("txtWind"));
    txtWind->setToolTip(QStringLiteral("Where the wind comes from, degrees true; Enter judges every turn against it"));
    txtWind->setMaximumWidth(80);
    lblWind = MakeControl<QLabel>(this, QStringLiteral("lblWind"));
    lblWind->setText(QStringLiteral("&Wind from (degrees)"));
    lblWind->setBuddy(txtWind);
    cmdEstimate = MakeControl<QPushButton>(this, QStringLiteral("cmdEstimate"));
    cmdEstimate->setText(QStringLiteral("&Estimate"));
    cmdEstimate->setToolTip(QStringLiteral(
        "The race's own wind: measured by the boats' instruments, or estimated from the fleet's tacks and gybes"));
    lblWindSource = MakeControl<QLabel>(this, QStringLiteral("lblWindSource"));
    lblWindSource->setWordWrap(true);
    lblWindSource->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblWindSource->setFocusPolicy(Qt::NoFocus);
}

void FrmAnalysis::makeBoatChoice()
{
    lstBoats = MakeControl<QListWidget>(this, QStringLiteral("lstBoats"));
    lstBoats->setAccessibleName(QStringLiteral("Boats in the graph"));
    lstBoats->setToolTip(QStringLiteral("Space checks or unchecks the boat: the graph and the table show the boats "
                                        "checked"));
    lstBoats->setMaximumWidth(220);
    lstBoats->setSelectionMode(QAbstractItemView::NoSelection); // the boats' colours stay in view
    cmdAllBoats = MakeControl<QPushButton>(this, QStringLiteral("cmdAllBoats"));
    cmdAllBoats->setText(QStringLiteral("&All"));
    cmdAllBoats->setAccessibleName(QStringLiteral("All boats"));
    cmdNoBoats = MakeControl<QPushButton>(this, QStringLiteral("cmdNoBoats"));
    cmdNoBoats->setText(QStringLiteral("&None"));
    cmdNoBoats->setAccessibleName(QStringLiteral("No boats"));
    chkVmg = MakeControl<QCheckBox>(this, QStringLiteral("chkVmg"));
    chkVmg->setText(QStringLiteral("&VMG"));
    chkVmg->setToolTip(QStringLiteral("The velocity made good towards the wind, dashed (with a wind)"));
    chkVmg->setChecked(true);
}

void FrmAnalysis::makeManoeuvresTable()
{
    lstManoeuvres = MakeControl<QTableView>(this, QStringLiteral("lstManoeuvres"));
    sorted_.setSourceModel(&manoeuvres_);
    sorted_.setSortRole(Qt::UserRole);
    lstManoeuvres->setModel(&sorted_);
    lstManoeuvres->setAccessibleName(QStringLiteral("Manoeuvres"));
    lstManoeuvres->setToolTip(QStringLiteral("Enter or a double click takes the replay to ten seconds before the "
                                             "manoeuvre; click a heading to sort"));
    lstManoeuvres->verticalHeader()->hide();
    lstManoeuvres->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstManoeuvres->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstManoeuvres->setSelectionMode(QAbstractItemView::SingleSelection);
    lstManoeuvres->horizontalHeader()->setStretchLastSection(false);
    lstManoeuvres->setSortingEnabled(true);
    lstManoeuvres->sortByColumn(2, Qt::AscendingOrder);
    chkBeforeStart = MakeControl<QCheckBox>(this, QStringLiteral("chkBeforeStart"));
    chkBeforeStart->setText(QStringLiteral("&Before the start"));
    chkBeforeStart->setToolTip(QStringLiteral("Lists the manoeuvres before each boat's start too; they are never "
                                              "counted in its totals"));
}

QWidget* FrmAnalysis::manoeuvresPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0); // the tab's frame is margin enough
    layout->addWidget(chkBeforeStart);
    layout->addWidget(lstManoeuvres, 1);
    return page;
}

void FrmAnalysis::makeGraphs()
{
    graphSpeed = new SpeedGraph(this);
    graphGap = new GapGraph(this);
    tabsGraphs = MakeControl<QTabWidget>(this, QStringLiteral("tabsGraphs"));
    tabsGraphs->setAccessibleName(QStringLiteral("Graphs"));
    tabsGraphs->addTab(graphSpeed, QStringLiteral("Spee&d"));
    tabsGraphs->addTab(graphGap, QStringLiteral("&Gap"));
}

void FrmAnalysis::makeStartAndLegs()
{
    lblLineBias = MakeControl<QLabel>(this, QStringLiteral("lblLineBias"));
    lblLineBias->setWordWrap(true);
    lblLineBias->setTextFormat(Qt::PlainText);
    lstStart = MakeControl<QTableView>(this, QStringLiteral("lstStart"));
    SetUpSortedTable(lstStart, sortedStart_, start_, QStringLiteral("Start"),
                     QStringLiteral("Each boat at its gun: its distance to the start line (negative over it), where "
                                    "along it (0 at its first end, 1 at the second), its speed, the seconds it "
                                    "started late; click a heading to sort"));
    lstLegs = MakeControl<QTableView>(this, QStringLiteral("lstLegs"));
    SetUpSortedTable(lstLegs, sortedLegs_, legs_, QStringLiteral("Legs"),
                     QStringLiteral("Each chosen boat's legs; Gained: the corrected seconds it gained on the first "
                                    "over the leg; click a heading to sort"));
}

QWidget* FrmAnalysis::startPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0); // the tab's frame is margin enough
    layout->addWidget(lblLineBias);
    layout->addWidget(lstStart, 1);
    return page;
}

void FrmAnalysis::makeTotalsTable()
{
    lstTotals = MakeControl<QTableView>(this, QStringLiteral("lstTotals"));
    SetUpSortedTable(lstTotals, sortedTotals_, totals_, QStringLiteral("Totals"),
                     QStringLiteral("Each boat's numbers from its own start; click a heading to sort"));
}

void FrmAnalysis::makeComparison()
{
    cboFirst = MakeControl<QComboBox>(this, QStringLiteral("cboFirst"));
    cboFirst->setAccessibleName(QStringLiteral("First boat"));
    cboSecond = MakeControl<QComboBox>(this, QStringLiteral("cboSecond"));
    cboSecond->setAccessibleName(QStringLiteral("Second boat"));
    lstCompare = MakeControl<QTableView>(this, QStringLiteral("lstCompare"));
    lstCompare->setModel(&comparison_);
    lstCompare->setAccessibleName(QStringLiteral("Two boats compared"));
    lstCompare->verticalHeader()->hide();
    lstCompare->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QWidget* FrmAnalysis::comparisonPage()
{
    auto* page = new QWidget;
    auto* choice = new QHBoxLayout;
    for (QComboBox* box : {cboFirst, cboSecond}) {
        auto* label = new QLabel(box == cboFirst ? QStringLiteral("&First") : QStringLiteral("&Second"), page);
        label->setBuddy(box);
        choice->addWidget(label);
        choice->addWidget(box, 1);
    }
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addLayout(choice);
    layout->addWidget(lstCompare, 1);
    return page;
}

// The wind's row on top; the boats to choose beside the graph, over the manoeuvres' table;
// the status and Close at the bottom.
void FrmAnalysis::layOut()
{
    auto* wind = new QHBoxLayout;
    wind->addWidget(lblWind);
    wind->addWidget(txtWind);
    wind->addWidget(cmdEstimate);
    wind->addWidget(lblWindSource, 1);
    auto* choice = new QHBoxLayout;
    choice->addWidget(cmdAllBoats);
    choice->addWidget(cmdNoBoats);
    auto* boats = new QVBoxLayout;
    boats->addWidget(lstBoats, 1);
    boats->addLayout(choice);
    boats->addWidget(chkVmg);
    auto* top = new QWidget;
    auto* graph = new QHBoxLayout(top);
    graph->setContentsMargins(0, 0, 0, 0);
    graph->addLayout(boats);
    graph->addWidget(tabsGraphs, 1);
    auto* split = new QSplitter(Qt::Vertical);
    split->setChildrenCollapsible(false);
    split->addWidget(top);
    split->addWidget(tabsAnalysis);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(wind);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    resize(960, 680);
    QWidget* const order[] = {txtWind,   cmdEstimate, lstBoats,   cmdAllBoats,    cmdNoBoats,
                              chkVmg,    tabsGraphs,  graphSpeed, graphGap,       tabsAnalysis,
                              lstTotals, lstStart,    lstLegs,    chkBeforeStart, lstManoeuvres,
                              cboFirst,  cboSecond,   lstCompare, cmdClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void FrmAnalysis::connectControls()
{
    choiceChanged_.setSingleShot(true);
    choiceChanged_.setInterval(0);
    connect(&choiceChanged_, &QTimer::timeout, this, [this] { showChoice(); });
    connect(txtWind, &QLineEdit::returnPressed, this, [this] { txtWind_Enter(); });
    connect(cmdEstimate, &QPushButton::clicked, this, [this] { cmdEstimate_Click(); });
    connect(lstBoats, &QListWidget::itemChanged, this, [this] { choiceChanged_.start(); });
    connect(cmdAllBoats, &QPushButton::clicked, this, [this] { chooseAll(true); });
    connect(cmdNoBoats, &QPushButton::clicked, this, [this] { chooseAll(false); });
    connect(chkVmg, &QCheckBox::toggled, this, [this] { choiceChanged_.start(); });
    connect(lstManoeuvres, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { lstManoeuvres_Activated(index); });
    connect(lstManoeuvres->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { highlightSelected(); });
    connect(chkBeforeStart, &QCheckBox::toggled, this, [this] { choiceChanged_.start(); });
    for (QComboBox* box : {cboFirst, cboSecond})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { compare(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });
    for (TimeGraph* graph : {static_cast<TimeGraph*>(graphSpeed), static_cast<TimeGraph*>(graphGap)}) {
        graph->onSeek = [this](double raceSeconds) { seekToRaceSeconds(raceSeconds); };
        graph->onStepKey = [this](QAbstractSlider::SliderAction action) { stepWithKey(action); };
    }
}

FrmAnalysis::~FrmAnalysis()
{
    session_.removeObserver(this);
}

void FrmAnalysis::raceStarted(const FleetInfo& fleet)
{
    fleet_ = fleet;
    const QSignalBlocker quiet(lstBoats);
    const QSignalBlocker quietFirst(cboFirst);
    const QSignalBlocker quietSecond(cboSecond);
    lstBoats->clear();
    cboFirst->clear();
    cboSecond->clear();
    for (const FleetBoat& boat : fleet_.Boats) {
        // The boat's colour as a swatch beside its caption: the check box stays clear to see.
        QPixmap swatch(14, 14);
        swatch.fill(BoatColour(boat));
        auto* item = new QListWidgetItem(QIcon(swatch), LocalText(boat.Caption), lstBoats);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        cboFirst->addItem(item->icon(), item->text());
        cboSecond->addItem(item->icon(), item->text());
    }
    cboSecond->setCurrentIndex(std::min(1, cboSecond->count() - 1));
    if (lstBoats->count() > 0)
        lstBoats->setCurrentRow(0);
    choiceChanged_.start();
}

void FrmAnalysis::showAnalysis(const RaceAnalysis* analysis, const QString& note)
{
    analysis_ = analysis;
    const bool there = analysis_ != nullptr;
    txtWind->setEnabled(there);
    cmdEstimate->setEnabled(there);
    lblStatus->setText(note);
    if (!there) {
        txtWind->clear();
        lblWindSource->setText(QStringLiteral("not known yet"));
    } else {
        const WindEstimate& wind = analysis_->Wind;
        txtWind->setText(LocalText(WindDegreesText(wind)));
        lblWindSource->setText(
            LocalText(WindSourceText(*analysis_)) +
            (wind.Known ? QString() : QStringLiteral(": type the direction it comes from, then Enter")));
        chkVmg->setEnabled(wind.Known);
    }
    showChoice();
}

std::vector<bool> FrmAnalysis::chosenBoats() const
{
    std::vector<bool> chosen;
    for (int row = 0; row < lstBoats->count(); ++row)
        chosen.push_back(lstBoats->item(row)->checkState() == Qt::Checked);
    return chosen;
}

void FrmAnalysis::chooseAll(bool chosen)
{
    const QSignalBlocker quiet(lstBoats);
    for (int row = 0; row < lstBoats->count(); ++row)
        lstBoats->item(row)->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
    choiceChanged_.start();
}

void FrmAnalysis::showChoice()
{
    choiceChanged_.stop();
    const std::vector<bool> chosen = chosenBoats();
    std::vector<SpeedGraph::Boat> boats;
    const WindEstimate* wind = nullptr;
    const double first = kRaceClockAtStart * kSecondsPerDay;
    double last = 0;
    if (analysis_) {
        for (std::size_t k = 0; k < analysis_->Boats.size(); ++k) {
            const BoatAnalysis& boat = analysis_->Boats[k];
            if (!boat.Motion.Samples.empty())
                last = std::max(last, boat.Motion.Samples.back().Seconds * boat.Source.Lys);
            if (k < chosen.size() && !chosen[k])
                continue;
            const QColor colour = k < fleet_.Boats.size() ? BoatColour(fleet_.Boats[k]) : QColor(Qt::black);
            boats.push_back({&boat, colour, LocalText(boat.Source.Caption)});
        }
        if (analysis_->Wind.Known && chkVmg->isChecked())
            wind = &analysis_->Wind;
    }
    // To the replay's last step, which lies up to a step beyond the last fix.
    if (session_.seekable())
        last = std::max(last, session_.series().raceClock(session_.stepCount()) * kSecondsPerDay);
    // The table first: its rows point into the analysis, whose manoeuvres a new wind replaced.
    manoeuvres_.show(analysis_, fleet_, chosen, chkBeforeStart->isChecked());
    lstManoeuvres->resizeColumnsToContents();
    highlightSelected();
    totals_.show(analysis_, fleet_);
    lstTotals->resizeColumnsToContents();
    compare();
    graphGap->showBoats(boats, analysis_, first, last);
    graphSpeed->showBoats(std::move(boats), wind, first, last);
    start_.show(analysis_, fleet_);
    lstStart->resizeColumnsToContents();
    legs_.show(analysis_, fleet_, chosen);
    lstLegs->resizeColumnsToContents();
    lblLineBias->setText(analysis_ && analysis_->LineBias
                             ? QStringLiteral("Start line: ") + LocalText(LineBiasText(*analysis_->LineBias))
                             : QStringLiteral("No start line in the race's course file."));
    showPosition();
}

void FrmAnalysis::seriesChanged(const ReplaySeries&)
{
    choiceChanged_.start(); // the graph to the new last step
}

void FrmAnalysis::frame(const FleetFrame& frame)
{
    raceClockDays_ = frame.RaceClock;
    keyStep_ = -1;
    shows_.request();
}

void FrmAnalysis::rewound(const FleetFrame& frame, const ReplaySeries&, long long)
{
    raceClockDays_ = frame.RaceClock;
    keyStep_ = -1;
    showPosition();
}

void FrmAnalysis::showPosition()
{
    shows_.ran();
    graphSpeed->showPosition(raceClockDays_ * kSecondsPerDay);
    graphGap->showPosition(raceClockDays_ * kSecondsPerDay);
    // For a screen reader: where the line stands.
    const QString description =
        QStringLiteral("Replay position: race time %1").arg(LocalText(RaceClockText(raceClockDays_)));
    for (QWidget* graph : {static_cast<QWidget*>(graphSpeed), static_cast<QWidget*>(graphGap)})
        if (graph->accessibleDescription() != description)
            graph->setAccessibleDescription(description);
}

bool FrmAnalysis::seekable()
{
    if (session_.seekable())
        return true;
    lblStatus->setText(QStringLiteral("The replay cannot go to another moment: %1.")
                           .arg(session_.timelineOverBudget() ? OverBudgetText(*session_.timelineOverBudget())
                                                              : QStringLiteral("it is closed")));
    return false;
}

void FrmAnalysis::seekToRaceSeconds(double raceSeconds)
{
    if (seekable())
        session_.requestSeek(StepAtRaceClock(session_.series(), raceSeconds / kSecondsPerDay));
}

void FrmAnalysis::stepWithKey(QAbstractSlider::SliderAction action)
{
    if (!seekable())
        return;
    // From the step asked for last while the replay has not got there yet, so that keys
    // pressed in a row add up.
    long long step = keyStep_ >= 0 ? keyStep_ : session_.position();
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        step += 1;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        step -= 1;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        step += kPageSteps;
        break;
    case QAbstractSlider::SliderPageStepSub:
        step -= kPageSteps;
        break;
    case QAbstractSlider::SliderToMinimum:
        step = 0;
        break;
    case QAbstractSlider::SliderToMaximum:
        step = session_.stepCount();
        break;
    default:
        return;
    }
    keyStep_ = std::clamp<long long>(step, 0, session_.stepCount());
    session_.requestSeek(keyStep_);
}

void FrmAnalysis::lstManoeuvres_Activated(const QModelIndex& index)
{
    int k = 0;
    const Manoeuvre* m = manoeuvres_.manoeuvre(sorted_.mapToSource(index).row(), &k);
    if (!m || !analysis_)
        return;
    const BoatSource& boat = analysis_->Boats[static_cast<std::size_t>(k)].Source;
    const double target = RaceClockAt(boat, m->MiddleSeconds) - kSecondsBeforeManoeuvre / kSecondsPerDay;
    if (!seekable())
        return;
    try {
        session_.seek(StepAtRaceClock(session_.series(), target));
    } catch (const std::exception& e) {
        dialogs_.tell(ReplayFailureText(e), MessageKind::Error);
        return;
    }
    if (onShowPlace)
        onShowPlace(m->Lat, m->Lon);
}

void FrmAnalysis::highlightSelected()
{
    int k = 0;
    const QModelIndex current = lstManoeuvres->selectionModel()->currentIndex();
    const Manoeuvre* m = current.isValid() ? manoeuvres_.manoeuvre(sorted_.mapToSource(current).row(), &k) : nullptr;
    if (onHighlight)
        onHighlight(m, k);
}

void FrmAnalysis::compare()
{
    comparison_.show(analysis_, fleet_, cboFirst->currentIndex(), cboSecond->currentIndex());
    lstCompare->resizeColumnsToContents();
}

void FrmAnalysis::hideEvent(QHideEvent* event)
{
    if (onHighlight)
        onHighlight(nullptr, 0); // the ring goes with the window
    QWidget::hideEvent(event);
}

void FrmAnalysis::txtWind_Enter()
{
    const std::optional<double> degrees = WindDegrees(txtWind->text());
    if (!degrees) {
        dialogs_.tell(QStringLiteral("The wind's direction \"%1\" is no number of degrees from 0 to 360 (where the "
                                     "wind comes from).")
                          .arg(txtWind->text()),
                      MessageKind::Warning);
        return;
    }
    if (onWindChanged)
        onWindChanged(*degrees);
}

void FrmAnalysis::cmdEstimate_Click()
{
    if (onWindChanged)
        onWindChanged(std::nullopt);
}

} // namespace tideplot
