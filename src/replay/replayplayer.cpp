#include "replay/replayplayer.h"

#include <QElapsedTimer>

#include <algorithm>
#include <exception>
#include <utility>

namespace tideplot {

namespace {

// At the play speed 0, a turn plays steps for this long before the windows get their turn.
constexpr qint64 kFastTickMs = 4;

} // namespace

ReplayPlayer::ReplayPlayer(Replay replay) : replay_(std::move(replay))
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    timer_.callOnTimeout([this] { tick(); });
    seekTimer_.setSingleShot(true);
    seekTimer_.setInterval(0);
    seekTimer_.callOnTimeout([this] {
        try {
            replay_.Seek(pendingSeek_);
        } catch (const std::exception& e) {
            stop();
            replay_.Failed(e.what());
        }
    });
}

void ReplayPlayer::play(int intervalMs)
{
    playing_ = true;
    timer_.setInterval(std::max(intervalMs, 0));
    timer_.start();
}

void ReplayPlayer::stop()
{
    playing_ = false;
    timer_.stop();
}

void ReplayPlayer::requestSeek(long long step)
{
    pendingSeek_ = step;
    if (!seekTimer_.isActive())
        seekTimer_.start();
}

void ReplayPlayer::tick()
{
    try {
        QElapsedTimer elapsed;
        elapsed.start();
        do {
            if (!replay_.Step())
                break;
        } while (playing_ && timer_.interval() == 0 && elapsed.elapsed() < kFastTickMs);
    } catch (const std::exception& e) {
        stop();
        replay_.Failed(e.what());
        return;
    }
    if (replay_.AtEnd())
        playing_ = false;
    else if (playing_)
        timer_.start();
    replay_.Ticked();
}

} // namespace tideplot
