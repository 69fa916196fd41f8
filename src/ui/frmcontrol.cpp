#include "ui/frmcontrol.h"

#include "core/error.h"
#include "core/text.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <exception>
#include <tuple>

namespace tideplot {

namespace {

constexpr int kClientWidthTwips = 6735;
constexpr int kClientHeightTwips = 1860;
constexpr double kDialogFontPoints = 8;

using K = ControlKind;

// In the frame "Replay" (positions inside the frame), then outside it.
constexpr ControlRow kFrameRows[] = {
    {"cmdPlay", K::PictureButton, 240, 240, 735, 735, "", "", 5},
    {"cmdStop", K::PictureButton, 1080, 240, 735, 735, "", "", 6},
    {"Label7", K::AutoSizeLabel, 2160, 240, 780, 195, "Playspeed ", "", 1},
    {"txtPlayspeed", K::TextBox, 3120, 240, 495, 285, "10", "Playspeed in miliseconds", 3},
    {"Label9", K::AutoSizeLabel, 1920, 720, 1050, 195, "Resolution sec", "", 2},
    {"txtResolution", K::TextBox, 3120, 720, 495, 285, "10", "Time distance between each plot", 4},
    {"Label1", K::AutoSizeLabel, 600, 960, 720, 195, "Race time", "", 8},
    {"txtRaceTime", K::TextBox, 240, 1200, 1575, 285, "", "Race time for LYS =1.0", 7},
    {"Label2", K::AutoSizeLabel, 2520, 1200, 435, 195, "Points", "", 10},
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
};

QLabel* MakeBuddy(QWidget* parent, const char* name, QWidget* buddy)
{
    auto* label = MakeControl<QLabel>(parent, QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

} // namespace

FrmControl::FrmControl(RaceState& state, TrackPlotter& plotter, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), state_(state), dialogs_(dialogs),
      driver_(state, *this, plotter)
{
    setObjectName(QStringLiteral("frmControl"));
    setWindowTitle(QStringLiteral("Play"));
    setAttribute(Qt::WA_ShowWithoutActivating);

    frameReplay = MakeControl<QGroupBox>(this, QStringLiteral("frameReplay"));
    cmdPlay = MakeControl<QPushButton>(frameReplay, QStringLiteral("cmdPlay"));
    cmdStop = MakeControl<QPushButton>(frameReplay, QStringLiteral("cmdStop"));
    txtPlayspeed = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtPlayspeed"));
    txtResolution = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtResolution"));
    txtRaceTime = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtRaceTime"));
    txtPointPlot = MakeControl<QLineEdit>(frameReplay, QStringLiteral("txtPointPlot"));
    Label7 = MakeBuddy(frameReplay, "Label7", txtPlayspeed);
    Label9 = MakeBuddy(frameReplay, "Label9", txtResolution);
    Label1 = MakeBuddy(frameReplay, "Label1", txtRaceTime);
    Label2 = MakeBuddy(frameReplay, "Label2", txtPointPlot);
    Label3 = MakeControl<QLabel>(this, QStringLiteral("Label3"));
    for (int i = 0; i < kMaxBoats; ++i) {
        lblTrackInfo[i] = MakeControl<QLabel>(this, QStringLiteral("lblTrackInfo%1").arg(i));
        if (i > 0)
            lblDst[i] = MakeControl<QLabel>(this, QStringLiteral("lblDst%1").arg(i));
    }
    SetLabelColour(lblTrackInfo[0], Qt::white);

    const int iconPx = 32;
    for (auto [button, picture, name] : {std::tuple{cmdPlay, "play", "Play"}, std::tuple{cmdStop, "stop", "Stop"}}) {
        button->setIcon(QIcon(Artwork(QString::fromLatin1(picture), iconPx, devicePixelRatioF())));
        button->setIconSize(QSize(iconPx, iconPx));
        button->setAccessibleName(QString::fromLatin1(name));
    }

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
    setFixedSize(TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));

    connect(cmdPlay, &QPushButton::clicked, this, [this] { cmdPlay_Click(); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
    driver_.onStep = [this] {
        if (!AllTrackFilesAtEnd(state_))
            return;
        driver_.stop();
        showTexts();
        if (onEnd)
            onEnd();
    };
    driver_.onFailure = [this](const std::string& message) {
        showTexts();
        dialogs_.tell(QString::fromLocal8Bit(message), MessageKind::Error);
    };
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

std::optional<double> FrmControl::ResolutionSeconds(const QString& text)
{
    try {
        const double seconds = NumberOfText(text.toLocal8Bit().toStdString());
        if (seconds > 0 && std::isfinite(seconds))
            return seconds;
    } catch (const Error&) {
    }
    return std::nullopt;
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
    if (!ResolutionSeconds(txtResolution->text())) {
        dialogs_.tell(QStringLiteral("The resolution \"%1\" is no positive number of seconds: each step moves the "
                                     "race clock on by this many seconds.")
                          .arg(txtResolution->text()),
                      MessageKind::Warning);
        return;
    }
    if (AllTrackFilesAtEnd(state_)) {
        dialogs_.tell(QStringLiteral("The replay has reached the end of the race. Close this window and press Start "
                                     "to replay it again."),
                      MessageKind::Information);
        return;
    }
    driver_.play(*interval);
}

void FrmControl::cmdStop_Click()
{
    driver_.stop();
    showTexts();
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
    driver_.stop();
    CloseTrackFiles(state_);
}

std::string FrmControl::PointPlotText()
{
    return txtPointPlot->text().toLocal8Bit().toStdString();
}

std::string FrmControl::ResolutionText()
{
    return txtResolution->text().toLocal8Bit().toStdString();
}

std::string FrmControl::TrackInfoCaption(int row)
{
    CheckLegendRow(row);
    return trackInfoCaption_[static_cast<std::size_t>(row)];
}

void FrmControl::SetTrackInfo(int row, const std::string& caption, std::uint32_t windowColour)
{
    CheckLegendRow(row);
    trackInfoCaption_[static_cast<std::size_t>(row)] = caption;
    QLabel* label = lblTrackInfo[static_cast<std::size_t>(row)];
    label->setText(QString::fromLocal8Bit(caption));
    label->adjustSize();
    SetLabelWindowColour(label, windowColour);
}

void FrmControl::SetRaceTime(const std::string& text)
{
    raceTime_ = text;
    shows_.request();
}

void FrmControl::SetDistance(int row, const std::string& text)
{
    CheckDistanceRow(row);
    distance_[static_cast<std::size_t>(row)] = text;
    shows_.request();
}

void FrmControl::showTexts()
{
    shows_.ran();
    const QString raceTime = QString::fromLocal8Bit(raceTime_);
    if (txtRaceTime->text() != raceTime)
        txtRaceTime->setText(raceTime);
    for (int row = 1; row < kMaxBoats; ++row) {
        const auto r = static_cast<std::size_t>(row);
        const QString shown = QString::fromLocal8Bit(distance_[r]);
        if (lblDst[r]->text() == shown)
            continue;
        lblDst[r]->setText(shown);
        // Read out with the boat it belongs to: "Saga.txt 1.05: 0.201 nm".
        const QString boat = QString::fromLocal8Bit(trackInfoCaption_[r]);
        lblDst[r]->setAccessibleName(shown.isEmpty() ? boat + QStringLiteral(": no distance")
                                                     : boat + QStringLiteral(": ") + shown + QStringLiteral(" nm"));
    }
}

} // namespace tideplot
