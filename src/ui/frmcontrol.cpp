#include "ui/frmcontrol.h"

#include "core/colour.h"
#include "core/datetime.h"
#include "core/error.h"
#include "core/replay.h"
#include "core/text.h"
#include "replay/leaderboard.h"
#include "replay/replaysession.h"
#include "replay/valuetext.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/timelinetext.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>

#include <cmath>
#include <exception>
#include <tuple>
#include <utility>

namespace tideplot {

namespace {

// The designed window, 1860 twips high, and below it the row of the replay's position and
// its tail.
constexpr int kClientWidthTwips = 6735;
constexpr int kClientHeightTwips = 1860 + 420;
constexpr double kDialogFontPoints = 8;

using K = ControlKind;

// In the frame "Replay" (positions inside the frame), then outside it. Tab follows the
// screen: Play, Stop, the replay position, Results, Analysis, then the boxes left to right
// and top to bottom, and the list of a large fleet.
constexpr ControlRow kFrameRows[] = {
    {"cmdPlay", K::PictureButton, 240, 240, 735, 735, "", "", 1},
    {"cmdStop", K::PictureButton, 1080, 240, 735, 735, "", "", 2},
    {"Label7", K::AutoSizeLabel, 2160, 240, 780, 195, "Playspeed ", "", 12},
    {"txtPlayspeed", K::TextBox, 3120, 240, 495, 285, "10", "Playspeed in miliseconds", 6},
    {"Label9", K::AutoSizeLabel, 1920, 720, 1050, 195, "Resolution sec", "", 13},
    {"txtResolution", K::TextBox, 3120, 720, 495, 285, "10", "Time distance between each plot", 7},
    {"Label1", K::AutoSizeLabel, 600, 960, 720, 195, "Race time", "", 14},
    {"txtRaceTime", K::TextBox, 240, 1200, 1575, 285, "", "Race time for LYS =1.0", 8},
    {"Label2", K::AutoSizeLabel, 2520, 1200, 435, 195, "Points", "", 15},
    {"txtPointPlot", K::TextBox, 3120, 1200, 495, 285, "90", "Normal plots between wide plots", 9},
};

constexpr ControlRow kWindowRows[] = {
    {"frameReplay", K::Frame, 120, 0, 3735, 1695, "Replay", "", -1},
    {"Label3", K::Label, 6000, 120, 855, 255, "Dist nm", "", 24},
    {"lblTrackInfo0", K::AutoSizeLabel, 3960, 120, 0, 195, "", "", 11},
    {"lblTrackInfo1", K::AutoSizeLabel, 3960, 360, 0, 195, "", "", 12},
    {"lblTrackInfo2", K::AutoSizeLabel, 3960, 600, 0, 195, "", "", 13},
    {"lblTrackInfo3", K::AutoSizeLabel, 3960, 840, 0, 195, "", "", 14},
    {"lblTrackInfo4", K::AutoSizeLabel, 3960, 1080, 0, 195, "", "", 15},
    {"lblTrackInfo5", K::AutoSizeLabel, 3960, 1320, 0, 195, "", "", 16},
    {"lblTrackInfo6", K::AutoSizeLabel, 3960, 1560, 0, 195, "", "", 17},
    {"lblDst1", K::Label, 6000, 360, 615, 255, "", "", 18},
    {"lblDst2", K::Label, 6000, 600, 615, 255, "", "", 19},
    {"lblDst3", K::Label, 6000, 840, 615, 255, "", "", 20},
    {"lblDst4", K::Label, 6000, 1080, 615, 255, "", "", 21},
    {"lblDst5", K::Label, 6000, 1320, 615, 255, "", "", 22},
    {"lblDst6", K::Label, 6000, 1560, 615, 255, "", "", 23},
    // A fleet of more than seven: the same rows in a list that scrolls.
    {"lstFleet", K::ListBox, 3960, 120, 2655, 1620, "", "", 11},
    // The position in the race and the tail, under the frame.
    {"sldPosition", K::Slider, 240, 1800, 2400, 330, "", "Position in the race: steps since Start", 3},
    {"cmdResults", K::CommandButton, 2760, 1800, 960, 330, "Results...", "Leaderboard and results by the course", 4},
    {"cmdAnalysis", K::CommandButton, 3840, 1800, 960, 330, "Analysis...",
     "Speed and VMG over race time, every tack and gybe with its loss, the wind", 5},
    {"lblTail", K::AutoSizeLabel, 4920, 1860, 600, 195, "Tail min", "", 28},
    {"txtTail", K::TextBox, 6000, 1800, 615, 285, "0", "Minutes of track the chart draws (0: the whole track)", 10},
};

// A slider that goes to the place clicked on its groove, as the replay position should.
class AbsoluteSliderStyle : public QProxyStyle {
public:
    explicit AbsoluteSliderStyle(QStyle* base) : QProxyStyle(base->name()) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton | Qt::MiddleButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The rows of a large fleet's list the window shows at least (on a 1366x768 screen).
constexpr int kListRowsShown = 10;

QLabel* MakeBuddy(QWidget* parent, const char* name, QWidget* buddy)
{
    auto* label = MakeControl<QLabel>(parent, QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

} // namespace

FrmControl::FrmControl(ReplaySession& session, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), session_(session), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("frmControl"));
    setWindowTitle(QStringLiteral("Play"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    makeControls();
    layOut();
    connect(cmdPlay, &QPushButton::clicked, this, [this] { cmdPlay_Click(); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
    connect(sldPosition, &QSlider::valueChanged, this, [this](int value) { sldPosition_Change(value); });
    connect(txtTail, &QLineEdit::textChanged, this, [this] { txtTail_Change(); });
    connect(cmdResults, &QPushButton::clicked, this, [this] {
        if (onResults)
            onResults();
    });
    connect(cmdAnalysis, &QPushButton::clicked, this, [this] {
        if (onAnalysis)
            onAnalysis();
    });
    session_.addObserver(this);
}

void FrmControl::makeControls()
{
    frameReplay = MakeControl<QGroupBox>(this, QStringLiteral("frameReplay"));
    cmdPlay = MakeControl<QPushButton>(frameReplay, QStringLiteral("cmdPlay"));
    cmdStop = MakeControl<QPushButton>(frameReplay, QStringLiteral("cmdStop"));
    txtPlayspeed = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtPlayspeed"));
    txtResolution = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtResolution"));
    txtRaceTime = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtRaceTime"));
    txtRaceTime->setReadOnly(true); // it shows where the replay is; the slider moves it
    txtPointPlot = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtPointPlot"));
    Label7 = MakeBuddy(frameReplay, "Label7", txtPlayspeed);
    Label9 = MakeBuddy(frameReplay, "Label9", txtResolution);
    Label1 = MakeBuddy(frameReplay, "Label1", txtRaceTime);
    Label2 = MakeBuddy(frameReplay, "Label2", txtPointPlot);
    Label3 = MakeControl<QLabel>(this, QStringLiteral("Label3"));
    for (int i = 0; i < kLegendRows; ++i) {
        lblTrackInfo[i] = MakeControl<QLabel>(this, QStringLiteral("lblTrackInfo%1").arg(i));
        lblTrackInfo[i]->setTextFormat(Qt::PlainText); // a boat's name is text, never markup
        if (i > 0)
            lblDst[i] = MakeControl<QLabel>(this, QStringLiteral("lblDst%1").arg(i));
    }
    SetLabelColour(lblTrackInfo[0], Qt::white);
    makeFleetList();
    makePositionSlider();
    txtTail = MakeControl<QLineEdit>(this, QStringLiteral("txtTail"));
    lblTail = MakeBuddy(this, "lblTail", txtTail);
    cmdResults = MakeControl<QPushButton>(this, QStringLiteral("cmdResults"));
    cmdAnalysis = MakeControl<QPushButton>(this, QStringLiteral("cmdAnalysis"));
    const int iconPx = 32;
    for (auto [button, picture, name] : {std::tuple{cmdPlay, "play", "Play"}, std::tuple{cmdStop, "stop", "Stop"}}) {
        button->setIcon(QIcon(Artwork(QString::fromLatin1(picture), iconPx, devicePixelRatioF())));
        button->setIconSize(QSize(iconPx, iconPx));
        button->setAccessibleName(QString::fromLatin1(name));
    }
}

void FrmControl::makeFleetList()
{
    lstFleet = MakeControl<QTableView>(this, QStringLiteral("lstFleet"));
    fleetColoured_.setSourceModel(&fleetModel_);
    lstFleet->setModel(&fleetColoured_);
    lstFleet->verticalHeader()->hide();
    lstFleet->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    lstFleet->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lstFleet->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFleet->setSelectionMode(QAbstractItemView::NoSelection);
    lstFleet->setAccessibleName(QStringLiteral("Boats and their distances to the first boat"));
    lstFleet->hide();
}

void FrmControl::makePositionSlider()
{
    sldPosition = MakeControl<QSlider>(this, QStringLiteral("sldPosition"));
    sldPosition->setOrientation(Qt::Horizontal);
    sldPosition->setAccessibleName(QStringLiteral("Replay position"));
    sldPosition->setRange(0, 0);
    sldPosition->setSingleStep(1);
    sldPosition->setPageStep(10);
    sldPosition->setEnabled(false);
    // A click on the groove goes to that place, not a page towards it.
    auto* sliderStyle = new AbsoluteSliderStyle(sldPosition->style());
    sliderStyle->setParent(sldPosition);
    sldPosition->setStyle(sliderStyle);
    // In the slider's place while the timeline is built (at Start, after new settings).
    prgCount = MakeControl<QProgressBar>(this, QStringLiteral("prgCount"));
    prgCount->setRange(0, 100);
    prgCount->setFormat(QStringLiteral("Counting the steps: %p%"));
    prgCount->setAccessibleName(QStringLiteral("Counting the race's steps"));
    prgCount->hide();
}

void FrmControl::layOut()
{
    // The window is laid out for a small dialog font; a larger one would run the labels
    // into the boxes beside them.
    QFont small = font();
    if (small.pointSizeF() > kDialogFontPoints) {
        small.setPointSizeF(kDialogFontPoints);
        setFont(small);
    }
    const double dpi = LogicalDpi(this);
    BuildForm(this, kFrameRows, dpi);
    BuildForm(this, kWindowRows, dpi);
    designedSize_ = QSize(TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));
    setFixedSize(designedSize_);
    // One tab order across the frame and the window.
    QWidget* const order[] = {cmdPlay,       cmdStop,     sldPosition,  cmdResults, cmdAnalysis, txtPlayspeed,
                              txtResolution, txtRaceTime, txtPointPlot, txtTail,    lstFleet};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QWidget* bottom :
         {static_cast<QWidget*>(sldPosition), static_cast<QWidget*>(cmdResults), static_cast<QWidget*>(cmdAnalysis),
          static_cast<QWidget*>(lblTail), static_cast<QWidget*>(txtTail)})
        bottomRow_.push_back({bottom, bottom->geometry()});
    designedList_ = lstFleet->geometry();
    prgCount->setGeometry(sldPosition->geometry());
}

FrmControl::~FrmControl()
{
    Form_Unload();
}

void FrmControl::focusPlay()
{
    activateWindow();
    raise();
    cmdPlay->setFocus(Qt::OtherFocusReason);
}

QString FrmControl::raceTimeShown() const
{
    return txtRaceTime->text();
}

std::optional<int> FrmControl::PlayInterval(const QString& text)
{
    try {
        const double value = NumberOfText(text.toLocal8Bit().toStdString());
        const std::int32_t ms = RoundToInt32(value);
        if (ms >= 0 && ms <= 65535)
            return ms;
    } catch (const Error&) {
    }
    return std::nullopt;
}

std::optional<double> FrmControl::TailMinutes(const QString& text)
{
    double minutes = 0;
    try {
        if (TryNumberOfText(text.toLocal8Bit().toStdString(), minutes) && TailMinutesAccepted(minutes))
            return minutes;
    } catch (const Error&) {
    }
    return std::nullopt;
}

double FrmControl::tailMinutes() const
{
    return TailMinutes(txtTail->text()).value_or(0);
}

std::optional<ReplaySettings> FrmControl::typedSettings()
{
    const std::string resolution = txtResolution->text().toLocal8Bit().toStdString();
    if (const std::string problem = ResolutionProblem(resolution); !problem.empty()) {
        dialogs_.tell(QStringLiteral("The resolution %1: each step moves the race clock on by this many seconds.")
                          .arg(LocalText(problem)),
                      MessageKind::Warning);
        return std::nullopt;
    }
    ReplaySettings settings;
    settings.ResolutionSeconds = NumberOfText(resolution);
    try {
        settings.StepsPerWidePlot = RoundToInt16(NumberOfText(txtPointPlot->text().toLocal8Bit().toStdString()));
    } catch (const Error& e) {
        dialogs_.tell(QStringLiteral("Points, the steps from one wide plot to the next: %1.").arg(LocalText(e.what())),
                      MessageKind::Warning);
        return std::nullopt;
    }
    return settings;
}

void FrmControl::cmdPlay_Click()
{
    const std::optional<int> interval = PlayInterval(txtPlayspeed->text());
    if (!interval) {
        dialogs_.tell(QStringLiteral("The play speed \"%1\" is no whole number of milliseconds from 0 to 65535 "
                                     "(0: as fast as possible).")
                          .arg(txtPlayspeed->text()),
                      MessageKind::Warning);
        return;
    }
    const std::optional<ReplaySettings> settings = typedSettings();
    if (!settings)
        return;
    if (!TailMinutes(txtTail->text())) {
        dialogs_.tell(QStringLiteral("The tail \"%1\" is no number of minutes: give %2.")
                          .arg(txtTail->text(), QString::fromLatin1(kTailRangeText)),
                      MessageKind::Warning);
        return;
    }
    try {
        // New settings build the timeline anew, in the background; the race clock stays
        // where it is, and playing starts when they have taken effect.
        session_.changeSettingsInBackground(*settings);
    } catch (const std::exception& e) {
        dialogs_.tell(ReplayFailureText(e), MessageKind::Error);
        return;
    }
    if (session_.buildingTimeline()) {
        playAsked_ = true;
        session_.play(*interval);
        return;
    }
    fitSlider();
    if (session_.atEnd()) {
        tellEnd();
        return;
    }
    try {
        // A race whose steps would not fit the memory set aside for them is refused here.
        session_.play(*interval);
    } catch (const std::exception& e) {
        dialogs_.tell(ReplayFailureText(e), MessageKind::Warning);
    }
}

void FrmControl::fitSlider()
{
    if (session_.seekable() && sldPosition->maximum() != session_.stepCount()) {
        const QSignalBlocker quiet(sldPosition);
        sldPosition->setRange(0, static_cast<int>(session_.stepCount()));
        sldPosition->setValue(static_cast<int>(session_.position()));
    }
    sldPosition->setEnabled(session_.seekable());
}

void FrmControl::buildingTimeline(double done)
{
    if (prgCount->isHidden()) {
        const bool focused = sldPosition->hasFocus();
        sldPosition->hide();
        prgCount->show();
        if (focused)
            cmdStop->setFocus(Qt::OtherFocusReason);
    }
    prgCount->setValue(static_cast<int>(std::lround(done * 100)));
}

void FrmControl::timelineBuilt(const std::string& failure, const std::optional<TimelineVerdict>& overBudget)
{
    const bool played = std::exchange(playAsked_, false);
    prgCount->hide();
    sldPosition->show();
    fitSlider();
    showTexts();
    if (overBudget)
        dialogs_.tell(QStringLiteral("The replay cannot play at this resolution: %1.").arg(OverBudgetText(*overBudget)),
                      MessageKind::Warning);
    else if (!failure.empty())
        dialogs_.tell(QStringLiteral("The race's steps could not be counted: %1.").arg(LocalText(failure)),
                      MessageKind::Warning);
    else if (played && session_.atEnd())
        tellEnd();
}

void FrmControl::tellEnd()
{
    dialogs_.tell(QStringLiteral("The replay has reached the end of the race. Move the replay position back "
                                 "(Home on it goes to the start) to play it again."),
                  MessageKind::Information);
}

void FrmControl::cmdStop_Click()
{
    playAsked_ = false;
    session_.stop();
    showTexts();
}

void FrmControl::sldPosition_Change(int value)
{
    if (movingSlider_)
        return;
    session_.requestSeek(value);
}

void FrmControl::txtTail_Change()
{
    if (const std::optional<double> minutes = TailMinutes(txtTail->text()); minutes && onTailChanged)
        onTailChanged(*minutes);
}

void FrmControl::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}

void FrmControl::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    session_.removeObserver(this);
    session_.close();
}

void FrmControl::fitFleet(int boats)
{
    if (boats <= kLegendRows) {
        // The designed window of seven legend rows.
        setFixedSize(designedSize_);
        return;
    }
    // The list shows at least ten rows; the window may be made larger still.
    const int rowHeight = lstFleet->verticalHeader()->defaultSectionSize();
    const int listHeight =
        lstFleet->horizontalHeader()->sizeHint().height() + kListRowsShown * rowHeight + 2 * lstFleet->frameWidth();
    const int extra = std::max(0, listHeight - designedList_.height());
    QSize wanted = designedSize_ + QSize(0, extra);
    if (const QScreen* screen = this->screen())
        wanted.setHeight(std::min(wanted.height(), screen->availableGeometry().height() - 40));
    setMinimumSize(designedSize_);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(wanted);
    layoutFleetList();
}

void FrmControl::layoutFleetList()
{
    // The bottom row keeps to the bottom edge, the list fills the room above it.
    const int down = height() - designedSize_.height();
    for (const auto& [widget, designed] : bottomRow_)
        widget->setGeometry(designed.translated(0, down));
    const int right = width() - designedSize_.width();
    lstFleet->setGeometry(designedList_.adjusted(0, 0, right, down));
    prgCount->setGeometry(sldPosition->geometry());
}

void FrmControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!bottomRow_.empty())
        layoutFleetList();
}

void FrmControl::raceStarted(const FleetInfo& fleet)
{
    fleet_ = fleet;
    const int boats = static_cast<int>(fleet.Boats.size());
    const bool list = boats > kLegendRows;
    fitFleet(boats);
    for (int row = 0; row < kLegendRows; ++row) {
        QLabel* label = lblTrackInfo[static_cast<std::size_t>(row)];
        label->setVisible(!list);
        if (row > 0)
            lblDst[static_cast<std::size_t>(row)]->setVisible(!list);
        if (row >= boats || list)
            continue;
        const FleetBoat& boat = fleet.Boats[static_cast<std::size_t>(row)];
        label->setText(LocalText(boat.Caption));
        label->adjustSize();
        SetLabelWindowColour(label, boat.WindowColour);
    }
    Label3->setVisible(!list);
    lstFleet->setVisible(list);
    fleetModel_.setFleet(list ? fleet : FleetInfo{});
    lstFleet->resizeRowsToContents();
    distance_.assign(fleet.Boats.size(), std::string());
    raceTime_.clear();
    position_ = 0;
    {
        const QSignalBlocker quiet(sldPosition);
        sldPosition->setRange(0, static_cast<int>(std::max<long long>(session_.stepCount(), 0)));
        sldPosition->setValue(0);
        sldPosition->setEnabled(session_.seekable());
    }
    showTexts();
}

void FrmControl::setFrameToShow(const FleetFrame& frame)
{
    frame_ = frame;
    raceTime_ = RaceTimeText(frame.Step, frame.RaceClock);
    for (std::size_t k = 1; k < distance_.size(); ++k)
        distance_[k] = k < frame.Boats.size() ? BoatDistanceText(frame.Boats[k]) : std::string();
    position_ = frame.Step;
}

void FrmControl::frame(const FleetFrame& frame)
{
    setFrameToShow(frame);
    shows_.request();
}

void FrmControl::rewound(const FleetFrame& frame, const ReplaySeries&, long long)
{
    setFrameToShow(frame);
    showTexts();
}

void FrmControl::failed(const std::string& message)
{
    // The timer has stopped, the replay stays where it was.
    showTexts();
    dialogs_.tell(LocalText(message), MessageKind::Error);
}

void FrmControl::reachedEnd()
{
    session_.stop();
    showTexts();
}

void FrmControl::showPosition()
{
    if (sldPosition->maximum() < position_) {
        const QSignalBlocker quiet(sldPosition);
        sldPosition->setMaximum(static_cast<int>(position_));
    }
    if (sldPosition->value() != position_ && !sldPosition->isSliderDown()) {
        movingSlider_ = true;
        sldPosition->setValue(static_cast<int>(position_));
        movingSlider_ = false;
    }
}

void FrmControl::showTexts()
{
    shows_.ran();
    const QString raceTime = LocalText(raceTime_);
    if (txtRaceTime->text() != raceTime)
        txtRaceTime->setText(raceTime);
    const bool list = fleet_.Boats.size() > static_cast<std::size_t>(kLegendRows);
    if (list) {
        // A large fleet in leaderboard order once the race has a finish line.
        if (leaderboard && leaderboard->finishLine())
            fleetModel_.showStandings(leaderboard->rows());
        else
            fleetModel_.showDistances(frame_);
        showPosition();
        return;
    }
    for (std::size_t k = 1; k < distance_.size(); ++k) {
        const QString shown = LocalText(distance_[k]);
        // Read out with the boat it belongs to: "Saga.txt 1.05: 0.201 nm".
        const QString boat = LocalText(fleet_.Boats[k].Caption);
        const QString spoken = shown.isEmpty() ? boat + QStringLiteral(": no distance")
                                               : boat + QStringLiteral(": ") + shown + QStringLiteral(" nm");
        if (lblDst[k]->text() != shown) {
            lblDst[k]->setText(shown);
            lblDst[k]->setAccessibleName(spoken);
        }
    }
    showPosition();
}

} // namespace tideplot
