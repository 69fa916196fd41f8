#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace tideplot {

// Runs an action at most once every interval however often it is asked for: at once when
// the last run is long enough ago, else once when the interval is up. A replay changes what
// is shown faster than a screen shows it; this keeps the last change from being lost
// without drawing every one.
class Throttle {
public:
    Throttle(int intervalMs, QObject* context, std::function<void()> action)
        : intervalMs_(intervalMs), action_(std::move(action))
    {
        later_.setSingleShot(true);
        later_.callOnTimeout(context, [this] { action_(); });
    }

    void request()
    {
        if (later_.isActive())
            return;
        const qint64 since = sinceRan_.isValid() ? sinceRan_.elapsed() : intervalMs_;
        if (since >= intervalMs_)
            action_();
        else
            later_.start(static_cast<int>(intervalMs_ - since));
    }

    // The action's effect has just happened, asked for or not: what was asked before is
    // served, and the interval starts again.
    void ran()
    {
        later_.stop();
        sinceRan_.start();
    }

private:
    int intervalMs_;
    std::function<void()> action_;
    QElapsedTimer sinceRan_;
    QTimer later_;
};

} // namespace tideplot
