#pragma once

#include "app/args.h"
#include "core/replay.h"
#include "earth/map/mapchoice.h"
#include "share/exporter.h"

#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The replay verb's options, and what it draws the chart with when it draws one.
namespace tideplot {

class PageMbtiles;

struct ReplayOptions {
    std::string raceFile;
    std::string handicap;
    std::string ratingsFile;
    ReplaySettings settings;
    double headingDeg = 0;
    double tiltDeg = 0;
    long long maxSteps = -1;
    bool chart = false; // --earth=chart: the replay drawn into the chart, which shows nothing
    std::optional<QSize> sizePx;
    int framesPerSecond = 30;
    double tailMinutes = 0;
    std::string pageTitle; // --title: the web page's title; empty: the race file's name
    MapChoice map;
    // --map's MBTiles file for --html, opened once when the options are read; null otherwise.
    std::shared_ptr<const PageMbtiles> pageMbtiles;
    // The outputs asked for, by option, in the order of the verb's outputs.
    std::vector<std::pair<std::string, std::string>> outputs;

    std::string output(const std::string& option) const
    {
        for (const auto& [name, path] : outputs)
            if (name == option)
                return path;
        return {};
    }
};

// The replay's chart (--screenshot, --video, --earth=chart) and its pictures, which need Qt
// Gui: the drawing module gives them to the verb (app/replaydrawing.cpp). The program alone
// replays without them, and hands a replay that draws to the module (ReplayDraws).
struct ReplayDrawing {
    // Reads --size and --fps for --video and --screenshot. Throws UsageError.
    void (*ParseOptions)(const ParsedArgs& parsed, ReplayOptions& options);
    // The exporter of the output `option`, --screenshot or --video, writing `path`.
    std::unique_ptr<ReplayExporter> (*MakeExporter)(const std::string& option, const QString& path,
                                                    const ReplayOptions& options);
    // The world file written beside the --screenshot picture `picturePath`.
    QString (*WorldFile)(const QString& picturePath);
    // Before the replay: the offscreen application the chart draws in, the map, the
    // pictures' size, the chart of --earth=chart; what it returns is kept until the replay
    // ends. Throws Error.
    std::shared_ptr<void> (*Prepare)(ExportRun& run, const ReplayOptions& options, int& argc, char** argv);
};

// True when the replay's arguments ask for the chart to be drawn: --screenshot, --video
// (or their --size and --fps), --earth=chart. Arguments that cannot be read draw nothing
// (the verb says what is wrong with them).
bool ReplayDraws(const std::vector<std::string>& args);

} // namespace tideplot
