#pragma once

// Memory given back to the system after the program has let go of much of it at once (a
// replay's timeline counted anew, an analysis done on a worker thread). The C library keeps
// freed memory for the next allocations otherwise, in a pool per thread that allocated it:
// tens of megabytes that the next timeline would be counted on top of.
namespace tideplot {

void ReturnFreedMemory();

} // namespace tideplot
