#pragma once

#include <QObject>
#include <QTimer>

class QLabel;
class QStatusBar;

// The set-up window's status bar: a text panel ("Status"), then today's date and the time,
// the time kept to the minute as the clock turns.
namespace tideplot {

class StatusClock : public QObject {
public:
    explicit StatusClock(QStatusBar* bar);

private:
    void show();

    QLabel* text_;
    QLabel* date_;
    QLabel* time_;
    QTimer timer_;
};

} // namespace tideplot
