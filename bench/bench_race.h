#pragma once
// The benchmarks' races. RaceFolder: 7 boats, one fix a second, `hours` long, with the
// unicsv copies for gpsbabel, generated once into $TMPDIR/tideplot-bench-race-<hours>h by the
// race generator (TIDEPLOT_RACEGEN). Returns its folder; exits when it cannot be generated.
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

// The analysis benchmarks' race: `boats` boats, one fix a second, `hours` long, generated once
// into $TMPDIR/tideplot-bench-analyse-<boats>x<hours>h (`tideplot-racegen --boats B --hours H
// --interval 1 --seed 29`). Returns its race file; exits when it cannot be generated.
inline std::string AnalyseRaceFile(int boats, int hours)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() /
                         ("tideplot-bench-analyse-" + std::to_string(boats) + "x" + std::to_string(hours) + "h");
    if (!fs::exists(dir / "race.TP1")) {
        const std::string command = std::string(TIDEPLOT_RACEGEN) + " --out " + dir.string() + " --boats " +
                                    std::to_string(boats) + " --hours " + std::to_string(hours) +
                                    " --interval 1 --seed 29 > /dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot generate the race: %s\n", command.c_str());
            std::exit(1);
        }
    }
    return (dir / "race.TP1").string();
}
