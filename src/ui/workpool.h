#pragma once

class QThreadPool;

// The threads of the windows' long work (a race's analysis, the box of every fix of a race):
// a pool of their own. Qt paints a large area of a window on the threads of its global pool
// and waits for them, so work that held those threads for seconds would hold the windows
// too (a scroll bar painted while the analysis ran waited for it: 0.3 to 0.5 s).
namespace tideplot {

QThreadPool& LongWorkPool();

} // namespace tideplot
