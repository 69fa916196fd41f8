#include "ui/workpool.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace tideplot {

QThreadPool& LongWorkPool()
{
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool; // for the program's life: it outlives every window
        threads->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return threads;
    }();
    return *pool;
}

} // namespace tideplot
