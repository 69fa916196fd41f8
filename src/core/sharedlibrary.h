#pragma once

#include <string>

// A system library that the program loads the first time it needs it, not when it starts:
// a library named in the program's own dependencies is mapped and linked, with everything
// it pulls in, for every command, --version included. The program is built against the
// library's headers and loads the file of the same interface (its SONAME, such as
// "libzip.so.4"), whose functions then have the types the headers give them.
namespace tideplot {

class SharedLibrary {
public:
    // Loads the library `file` (its SONAME); throws Error naming it, why it cannot be
    // loaded and the `package` that holds it. The library stays loaded until the program
    // ends.
    SharedLibrary(std::string file, const std::string& package);

    // Sets `pointer` to the library's function `name`; throws Error naming the library and
    // the function when it has none.
    template <typename Function> void Resolve(Function*& pointer, const char* name) const
    {
        pointer = reinterpret_cast<Function*>(Address(name));
    }

    const std::string& File() const { return file_; }

private:
    void* Address(const char* name) const;

    std::string file_;
    void* handle_ = nullptr;
};

} // namespace tideplot
