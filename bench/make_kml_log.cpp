// Writes the benchmarks' logs: kmlimport_make_log OUT [POINTS] (200000 points when not
// given). OUT ending in ".gpx" gets a GPX log in the layout GPS loggers write; any other
// name a KML log in the layout gpsbabel writes with "-o kml,points=1,lines=0".
#include "kml_log_generator.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("Usage: kmlimport_make_log OUT.kml|OUT.gpx [POINTS]\n", stderr);
        return 2;
    }
    const long points = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 200000;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const std::string name = argv[1];
    const bool gpx = name.size() > 4 && name.compare(name.size() - 4, 4, ".gpx") == 0;
    const bool written =
        gpx ? tideplot::bench::WriteGpxLog(out, points) : tideplot::bench::WriteGpsbabelKmlLog(out, points);
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "kmlimport_make_log: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
