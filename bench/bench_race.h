#pragma once
// The benchmarks' race: 7 boats, one fix a second, `hours` long, with the unicsv copies for
// gpsbabel, generated once into $TMPDIR/tideplot-bench-race-<hours>h by the race generator
// (TIDEPLOT_RACEGEN). Returns its folder; exits when it cannot be generated.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string RaceFolder(int hours)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tideplot-bench-race-" + std::to_string(hours) + "h");
    if (!fs::exists(dir / "race.TP1")) {
        const std::string command = std::string(TIDEPLOT_RACEGEN) + " --out " + dir.string() + " --boats 7 --hours " +
                                    std::to_string(hours) + " --interval 1 --unicsv --seed 24";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot generate the race: %s\n", command.c_str());
            std::exit(1);
        }
    }
    return dir.string();
}
