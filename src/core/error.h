#pragma once

#include <stdexcept>
#include <string>

namespace tideplot {

// Every failure of the program is one of these: the message says what failed and
// where (file, line number, field), in words a user can act on.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Prefixes a failure with the place it happened, e.g. "race.TP1, line 3: ".
[[noreturn]] void ThrowAt(const std::string& file, long lineNumber, const std::string& what);

} // namespace tideplot
