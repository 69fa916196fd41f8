#pragma once

// Memory given back to the system after the program has let go of much of it at once (a
// replay's timeline counted anew, an analysis done on a worker thread). The C library keeps
// freed memory for the next allocations otherwise, in a pool per thread that allocated it:
// tens of megabytes that the next timeline would be counted on top of.
namespace tideplot {

void ReturnFreedMemory();

// The C library's pools of memory for threads limited to two, however many threads the
// program runs: each pool keeps what its threads freed, so a pool for every worker that once
// did much (a count of a race's steps, an analysis) holds tens of megabytes it no longer needs.
// For the windows, before their threads start.
void LimitMemoryPools();

} // namespace tideplot
