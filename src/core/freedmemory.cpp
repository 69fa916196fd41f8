#include "core/freedmemory.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tideplot {

void ReturnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace tideplot
