#include "share/replaysteps.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

QString Minutes(double seconds)
{
    const auto whole = static_cast<long long>(std::max(0.0, std::round(seconds)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

long long CountReplaySteps(const std::string& raceFile, const ReplaySettings& settings, long long maxSteps)
{
    RaceState state;
    state.RaceFileName = raceFile;
    state.RaceClock = kRaceClockAtStart;
    state.MeasureDistances = false; // only the steps are counted
    StartReplay(state);
    StepOutcome outcome;
    long long steps = 0;
    while ((maxSteps < 0 || steps < maxSteps) && !AllTrackFilesAtEnd(state)) {
        ReplayStep(state, settings, outcome);
        ++steps;
    }
    CloseTrackFiles(state);
    return steps;
}

VideoProgressLine::VideoProgressLine(std::FILE* terminal, long long totalFrames)
    : terminal_(terminal), total_(std::max(totalFrames, 1LL)), started_(std::chrono::steady_clock::now()),
      shown_(started_)
{
}

void VideoProgressLine::update(long long framesDone)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - shown_ < std::chrono::milliseconds(200) && framesDone < total_)
        return;
    shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const double left = framesDone > 0 ? elapsed / static_cast<double>(framesDone) *
                                             static_cast<double>(std::max(total_ - framesDone, 0LL))
                                       : 0;
    const QString line = QStringLiteral("\rvideo: %1 % (%2 of %3 frames), %4 left ")
                             .arg(std::min(framesDone * 100 / total_, 100LL))
                             .arg(framesDone)
                             .arg(total_)
                             .arg(Minutes(left));
    std::fputs(line.toLocal8Bit().constData(), terminal_);
    std::fflush(terminal_);
    drawn_ = true;
}

void VideoProgressLine::clear()
{
    if (drawn_)
        std::fputs("\r\033[K", terminal_);
    drawn_ = false;
}

} // namespace tideplot
