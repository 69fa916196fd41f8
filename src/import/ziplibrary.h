#pragma once

#include <zip.h>

// libzip, loaded the first time a KMZ archive is read, not when the program starts
// (core/sharedlibrary.h): with the libraries it pulls in (libcrypto, for encrypted archives,
// and libbz2) it cost every command, the headless replay included, a few milliseconds.
namespace tideplot {

// The functions the import calls.
#define TIDEPLOT_ZIP_FUNCTIONS(X)                                                                                      \
    X(zip_discard)                                                                                                     \
    X(zip_error_fini)                                                                                                  \
    X(zip_error_init_with_code)                                                                                        \
    X(zip_error_strerror)                                                                                              \
    X(zip_fclose)                                                                                                      \
    X(zip_file_strerror)                                                                                               \
    X(zip_fopen_index)                                                                                                 \
    X(zip_fread)                                                                                                       \
    X(zip_get_name)                                                                                                    \
    X(zip_get_num_entries)                                                                                             \
    X(zip_open)                                                                                                        \
    X(zip_stat_index)                                                                                                  \
    X(zip_stat_init)                                                                                                   \
    X(zip_strerror)

// One pointer per function, named and typed as the function: zip.zip_open(...).
struct ZipLibrary {
#define TIDEPLOT_ZIP_POINTER(name) decltype(&::name) name = nullptr;
    TIDEPLOT_ZIP_FUNCTIONS(TIDEPLOT_ZIP_POINTER)
#undef TIDEPLOT_ZIP_POINTER
};

// Loads libzip (the SONAME of the libzip the program is built with) the first time it is
// called and returns its functions; later calls return the same. Throws Error naming the
// library and why it cannot be loaded, or the function it lacks; the next call tries again.
const ZipLibrary& Zip();

} // namespace tideplot
