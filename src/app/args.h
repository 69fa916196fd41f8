#pragma once

#include "core/outputfile.h" // SameFile

#include "core/error.h"

#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tideplot {

// A command line that cannot be read: the command prints its usage with it.
class UsageError : public Error {
public:
    using Error::Error;
};

// The arguments after a verb: options with a value ("--name VALUE" or "--name=VALUE"),
// options without one ("--name") and the rest in order.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& name) const { return values.count(name) > 0; }
    std::string value(const std::string& name, const std::string& fallback) const;
    // The option's value read as a number; throws UsageError naming the option.
    double number(const std::string& name, double fallback) const;
};

// Throws UsageError for an unknown option or a missing value.
ParsedArgs ParseArgs(const std::vector<std::string>& args, std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags);

} // namespace tideplot
