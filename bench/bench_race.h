#pragma once
// The benchmarks' races, one fix a second, `hours` long, generated once by the race
// generator (TIDEPLOT_RACEGEN) with --seed 24 into $TMPDIR:
// - RaceFolder(hours): 7 boats, with the unicsv copies for gpsbabel, in
//   tideplot-bench-race-<hours>h;
// - RaceFolder(hours, 64): a club's fleet of 64 boats (tideplot-racegen --boats 64 --hours
//   24 --interval 1), in tideplot-bench-race-64x<hours>h.
// - RaceWithFinishLine(hours, boats): that race with a finish line, the generator's start
//   line, which the boats cross back on the run home after every lap (a race file naming the
//   same track files, in tideplot-bench-race-<...>-finish, and its course file).
// Returns the folder (race.TP1 in it); exits when the race cannot be generated.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

inline std::string RaceWithFinishLine(int hours, int boats = 7)
{
    namespace fs = std::filesystem;
    const fs::path tracks = RaceFolder(hours, boats);
    const fs::path dir = tracks.string() + "-finish";
    if (!fs::exists(dir / "race.TP1.course")) {
        fs::create_directories(dir);
        std::ifstream in(tracks / "race.TP1");
        std::ofstream race(dir / "race.TP1", std::ios::binary);
        for (std::string line; std::getline(in, line);)
            race << (tracks / line).string() << "\n";
        // The generator's start line: through 57.6 N 11.5 E square to the mean wind from 220
        // degrees, 500 m long; P1 at its south-eastern end.
        const double pi = std::acos(-1.0), metresPerDegreeLat = 60 * 1852.0;
        const double metresPerDegreeLon = metresPerDegreeLat * std::cos(57.6 * pi / 180);
        const double east = 250 * std::sin(130 * pi / 180), north = 250 * std::cos(130 * pi / 180);
        std::ofstream course(dir / "race.TP1.course", std::ios::binary);
        course.precision(9);
        course << "finish " << 57.6 + north / metresPerDegreeLat << " " << 11.5 + east / metresPerDegreeLon << " "
               << 57.6 - north / metresPerDegreeLat << " " << 11.5 - east / metresPerDegreeLon << "\r\n";
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

// The analysis's worst cases: a race of `entries` entries of one track of `fixes` fixes, one a
// second from 2008-06-01, a boat reaching to and fro at 5 knots (40 and 140 degrees in turn)
// that turns every `turnSeconds`, generated once into
// $TMPDIR/tideplot-bench-analyse-long-<entries>x<fixes>-<turnSeconds>s. The track of 9,990,000
// fixes (just under the 10 million a track may have) is 400 MB. Returns its race file.
inline std::string LongTrackRaceFile(int entries, long fixes, int turnSeconds)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tideplot-bench-analyse-long-" + std::to_string(entries) + "x" +
                                                      std::to_string(fixes) + "-" + std::to_string(turnSeconds) + "s");
    if (!fs::exists(dir / "race.TP1")) {
        fs::create_directories(dir);
        {
            std::ofstream track(dir / "long.txt", std::ios::binary);
            track << "lat,lon,date,time\r\n";
            const double pi = std::acos(-1.0), knot = 1852.0 / 3600;
            double east = 0, north = 0;
            char line[96];
            for (long t = 0; t < fixes; ++t) {
                const double course = (t / turnSeconds % 2 == 0 ? 40 : 140) * pi / 180;
                east += 5 * knot * std::sin(course);
                north += 5 * knot * std::cos(course);
                const double lat = 20 + std::fmod(north / (60 * 1852.0) + 40, 80) - 40;
                const double lon = std::fmod(east / (60 * 1852.0 * std::cos(lat * pi / 180)), 360.0) - 180;
                // The date from the day number (2008-06-01 is day 0), civil calendar.
                const long long z = 14031 + t / 86400 + 719468, era = z / 146097, doe = z - era * 146097;
                const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
                const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
                const long long day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
                const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
                std::snprintf(line, sizeof line, "%.7f,%.7f,%04lld%02lld%02lld,%02ld%02ld%02ld\r\n", lat, lon, year,
                              month, day, t / 3600 % 24, t / 60 % 60, t % 60);
                track << line;
            }
        }
        std::ofstream race(dir / "race.TP1", std::ios::binary);
        for (int k = 0; k < entries; ++k)
            race << "long.txt , 2008-06-01 00:10:00 , 1 , 0 , ,\r\n";
    }
    return (dir / "race.TP1").string();
}
