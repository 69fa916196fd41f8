#include "sharedlibrary.h"

#include "error.h"

#include <dlfcn.h>

namespace tideplot {

SharedLibrary::SharedLibrary(std::string file, const std::string& package) : file_(std::move(file))
{
    handle_ = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        throw Error(file_ + " cannot be loaded (" + (reason ? reason : "no reason given") +
                    "); install it (Debian package " + package + ")");
    }
}

void* SharedLibrary::Address(const char* name) const
{
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address)
        throw Error(file_ + " has no function " + name);
    return address;
}

} // namespace tideplot
