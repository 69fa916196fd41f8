#include "ui/statusclock.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>

namespace tideplot {

StatusClock::StatusClock(QStatusBar* bar)
    : QObject(bar), text_(new QLabel(QStringLiteral("Status"), bar)), date_(new QLabel(bar)), time_(new QLabel(bar))
{
    bar->addWidget(text_, 1);
    bar->addPermanentWidget(date_);
    bar->addPermanentWidget(time_);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { show(); });
    show();
}

void StatusClock::show()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    date_->setText(locale.toString(now.date(), QLocale::ShortFormat));
    time_->setText(locale.toString(now.time(), QLocale::ShortFormat));
    // Again just after the next full second.
    timer_.start(1000 - now.time().msec() + 20);
}

} // namespace tideplot
