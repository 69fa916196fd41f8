#pragma once

#include "core/course.h"
#include "core/outputfile.h"
#include "core/replay.h"
#include "core/results.h"
#include "earth/map/mapchoice.h"
#include "replay/fleetframe.h"
#include "replay/leaderboard.h"
#include "share/exporter.h"
#include "share/pagetiles.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The replay as one web page: a single HTML file, its script, styles and data inline, that
// any current browser opens from a mail attachment or a club's site with no server and no
// network. The page draws the replay's own frames (it does not replay the race again): at
// every step the race time and each boat's distance to the first boat are the texts the
// control window shows after that many steps, and the chart holds the pieces the replay
// drew up to there, each boat in its colour, every N-th step wide.
//
// What the page holds, all of it collected as the frames come, compactly:
// - the race time of every step, as whole seconds (the text rebuilt from them is checked
//   against RaceClockText here, so the page writes exactly the replay's text);
// - each boat's distance text at every step: unchanged, none, or the change of its
//   thousandths (a run of unchanged steps packs to almost nothing);
// - each boat's pieces as three streams of zig-zag variable-length integers (TrackStreams in
//   pagedata.h): the steps between pieces, and the ends in millionths of a degree, a piece
//   that starts where the last ended as its move less the move foretold from the four before;
// - with a finish line, the leaderboard of every step where it changes (Leaderboard's
//   texts, held as their numbers) and the results table from the track files (results.h).
// Each stream is packed with zlib and written in base 85 (the browser inflates it); the
// numbers go into a <script type="application/json"> element, every "<" of a text written
// as \u003c so that no text from a file can close the element.
// Names from files only ever become text in the page (the script sets textContent).
//
// Nothing leaves the page but the map's tiles: a Content-Security-Policy allows the
// page's own script and styles (by their SHA-256) and, with a map, images from the tile
// servers only.
namespace tideplot {

namespace page {
class Bytes;
} // namespace page
class PageDebrief;

struct HtmlPageOptions {
    // The page's title; empty: the race file's name without folder and extension.
    QString Title;
    // The chart draws only the last minutes of race time, older pieces fainter; 0: the
    // whole track. The reader can change it in the page.
    double TailMinutes = 0;
    // The map under the chart, loaded by the browser from the tile server, or the tiles of
    // an MBTiles file around the race put into the page (pagetiles.h).
    MapChoice Map;
    // The MBTiles file that Map names, when it names one, opened by CheckPageMap; null: the
    // page's writer opens it.
    std::shared_ptr<const PageMbtiles> Mbtiles;
    // With a course (one with a finish line): its finish line drawn on the chart, and the
    // leaderboard and the results by the course beside it.
    std::optional<Course> RaceCourse;
};

// Throws Error when `map` cannot be the page's map: a URL template a page cannot use, an
// MBTiles file that cannot be read (PageMbtiles). Returns the MBTiles file opened, to be
// given to the page (HtmlPageOptions::Mbtiles) so that it is not opened again; else null.
std::shared_ptr<const PageMbtiles> CheckPageMap(const MapChoice& map);

// The course of the race for the page: from the course file beside the race file when
// there is one that holds a finish line. A course file that cannot be read gives no course
// and a warning (the page is made without a finish line).
std::optional<Course> PageCourse(const std::string& raceFile, std::vector<std::string>& warnings);

// --html FILE: observes a replay played from Start to its end (or to where it was
// stopped) and writes the page `path`. The replay must not seek while it is observed:
// rewound() throws Error.
class HtmlPageExporter : public ReplayExporter {
public:
    // Throws Error as CheckPageMap, and when the tail is no number of minutes from 0.
    HtmlPageExporter(QString path, HtmlPageOptions options);
    ~HtmlPageExporter() override;

    std::vector<QString> paths() const override { return {path_}; }
    void open(ExportRun& run) override;
    std::vector<PreparedFile> finish(ExportRun& run) override;
    std::vector<std::string> summary() const override;

    void raceStarted(const FleetInfo& fleet) override;
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;
    void reachedEnd() override;

    // Writes the page of the steps observed. With a finish line this reads the track files
    // once more for the results table. Throws Error naming the file and the fault.
    void write(OutputFile& out);

    long long steps() const { return steps_; }

private:
    struct Boat;

    void addPiece(std::size_t k, long long step, const TrackPoint& from, const TrackPoint& to);
    void addLeaderboard(long long step);
    std::string dataJson();
    std::string boatsJson() const; // the boats' part of dataJson()

    QString path_;
    std::unique_ptr<OutputFile> out_;
    HtmlPageOptions options_;
    FleetInfo fleet_;
    std::vector<Boat> boats_;
    std::unique_ptr<page::Bytes> clock_;
    std::unique_ptr<page::Bytes> widths_;
    std::unique_ptr<page::Bytes> board_;
    std::unique_ptr<PageDebrief> debrief_; // the analysis, from open() on
    Leaderboard leaderboard_;
    std::vector<std::int64_t> boardValues_; // per boat: the last leaderboard number written
    std::vector<std::uint64_t> lastBoard_;  // the last leaderboard written: per row its three numbers
    std::vector<std::uint64_t> boardRows_;  // the rows of the step being written, likewise
    long long steps_ = 0;
    long long lastWideStep_ = 0;
    long long clockSeconds_ = 0;
    double firstClock_ = 0;
    double lastClock_ = 0;
    bool reachedEnd_ = false;
    bool lonReferenceSet_ = false;
    double lonReference_ = 0;
    PageBox box_;            // the tracks' waters, for an MBTiles file's tiles
    std::string mapSummary_; // what was put in of an MBTiles file
};

// The page of a race, from a replay of its own (no window is touched): what the replay
// command's --html writes. `progress` is called after every step with the steps done and
// their total (counted first); returning false stops, and nothing is written then (an
// older file stays). Returns true when the page is written. Throws Error naming the file,
// line and fault; an older file stays then too. For a window: call it with a
// QProgressDialog, processEvents() in `progress`.
struct ReplayPageOptions {
    ReplaySettings settings;
    long long maxSteps = -1; // all steps
    HtmlPageOptions page;
};
using PageProgress = std::function<bool(long long stepsDone, long long totalSteps)>;
// `notes`, when given, receives what a reader should know of the page written beyond where it
// is: the map put into it, a debrief it was made without.
bool ExportReplayPage(const std::string& raceFile, const QString& outPath, const ReplayPageOptions& options,
                      const PageProgress& progress, std::vector<std::string>* notes = nullptr);

} // namespace tideplot
