#pragma once
// The benchmarks' races, one fix a second, `hours` long, generated once by the race
// generator (TIDEPLOT_RACEGEN) with --seed 24 into $TMPDIR:
// - RaceFolder(hours): 7 boats, with the unicsv copies for gpsbabel, in
//   tideplot-bench-race-<hours>h;
// - RaceFolder(hours, 64): a club's fleet of 64 boats (tideplot-racegen --boats 64 --hours
//   24 --interval 1), in tideplot-bench-race-64x<hours>h.
// Returns the folder (race.TP1 in it); exits when the race cannot be generated.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string RaceFolder(int hours, int boats = 7)
{
    namespace fs = std::filesystem;
    const std::string name =
        boats == 7 ? std::to_string(hours) + "h" : std::to_string(boats) + "x" + std::to_string(hours) + "h";
    const fs::path dir = fs::temp_directory_path() / ("tideplot-bench-race-" + name);
    if (!fs::exists(dir / "race.TP1")) {
        const std::string command = std::string(TIDEPLOT_RACEGEN) + " --out " + dir.string() + " --boats " +
                                    std::to_string(boats) + " --hours " + std::to_string(hours) + " --interval 1" +
                                    (boats == 7 ? " --unicsv" : "") + " --seed 24";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot generate the race: %s\n", command.c_str());
            std::exit(1);
        }
    }
    return dir.string();
}
