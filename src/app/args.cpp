#include "app/args.h"

#include "core/text.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tideplot {

std::string ParsedArgs::value(const std::string& name, const std::string& fallback) const
{
    const auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

double ParsedArgs::number(const std::string& name, double fallback) const
{
    const auto it = values.find(name);
    if (it == values.end())
        return fallback;
    try {
        return NumberOfText(it->second);
    } catch (const Error& e) {
        throw UsageError(name + ": " + e.what());
    }
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags)
{
    auto among = [](std::initializer_list<const char*> names, const std::string& name) {
        return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
    };
    ParsedArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            inlineValue = true;
        }
        if (among(valued, arg)) {
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    throw UsageError(arg + " needs a value");
                value = args[++i];
            }
            parsed.values[arg] = value;
        } else if (among(flags, arg) && !inlineValue) {
            parsed.flags.insert(arg);
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    return parsed;
}

} // namespace tideplot
