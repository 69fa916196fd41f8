#include "share/htmlpage.h"

#include "core/colour.h"
#include "core/coursefile.h"
#include "core/datetime.h"
#include "core/error.h"
#include "core/geometry.h"
#include "core/racehandicap.h"
#include "core/replay.h"
#include "core/text.h"
#include "core/workpool.h"
#include "replay/valuetext.h"
#include "share/exportloop.h"
#include "share/pagedata.h"
#include "share/pagedebrief.h"
#include "share/pagemapcourse.h"
#include "share/replaysteps.h"
#include "tideplot/version.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

namespace tideplot {

using namespace page;

struct HtmlPageExporter::Boat {
    TrackStreams track;
    Bytes distance;
    bool hasEnd = false;          // a piece was drawn: the next may start at its end
    std::int64_t endLat = 0;      // the end of the last piece, in millionths of a degree
    std::int64_t endLon = 0;      // longitude taken the short way from the piece before
    double endLonDeg = 0;         // the same in degrees, unrounded
    long long pieceStep = 0;      // the step of the last piece
    std::int64_t shown = -1;      // the distance the control window shows now, thousandths; -1: none
    std::int64_t thousandths = 0; // the last distance written, in thousandths of a mile
};

namespace {

constexpr double kMicroDegrees = 1e6;
// Leaderboard rows: a boat not yet drawn, one sailing (distance to go), one finished.
enum RowKind { kNotStarted = 0, kSailing = 1, kFinished = 2 };

// The distance text of the control window, "0.201" miles as 201: at once when its number is
// certain, else read from the text itself (which is refused unless it reads back the same).
std::int64_t ShownThousandths(double nm)
{
    constexpr std::uint64_t kMostAtOnce = 1'000'000'000'000; // a text of 13 characters at most
    if (std::uint64_t units = 0; DistanceThousandthsOf(nm, units) && units < kMostAtOnce)
        return static_cast<std::int64_t>(units);
    return DistanceThousandths(DistanceText(nm));
}

// Text for HTML: the five characters that could start markup or end an attribute escaped.
std::string HtmlText(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;")).toUtf8().toStdString();
}

std::string CssColour(int red, int green, int blue)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", red & 0xff, green & 0xff, blue & 0xff);
    return text;
}

// The track colour: ColourHex writes blue, green, red.
std::string TrackCss(std::int32_t colourNumber)
{
    const std::string hex = ColourHex(colourNumber);
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    std::string css = "#";
    return css.append(hex, 4, 2).append(hex, 2, 2).append(hex, 0, 2);
}

std::string WindowCss(std::uint32_t windowColour)
{
    return CssColour(WindowColourRed(windowColour), WindowColourGreen(windowColour), WindowColourBlue(windowColour));
}

// Where the page's policy lets a tile server's images come from: the scheme, host and port
// of its URLs; those of each subdomain when its host holds {s}.
std::vector<std::string> TileOrigins(const QString& urlTemplate)
{
    std::vector<std::string> origins;
    for (const char subdomain : std::string_view(kTileSubdomains)) {
        QString sample = urlTemplate;
        sample.replace(QLatin1String("{z}"), QLatin1String("1"))
            .replace(QLatin1String("{x}"), QLatin1String("1"))
            .replace(QLatin1String("{y}"), QLatin1String("1"))
            .replace(QLatin1String("{s}"), QString(QLatin1Char(subdomain)));
        const std::string origin =
            QUrl(sample)
                .adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                .toString(QUrl::FullyEncoded)
                .toStdString();
        if (std::find(origins.begin(), origins.end(), origin) == origins.end())
            origins.push_back(origin);
    }
    return origins;
}

QByteArray Resource(const char* name)
{
    QFile file(QStringLiteral(":/tideplot/page/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        throw Error(std::string("the web page's ") + name + " is missing from the program");
    return file.readAll();
}

std::string Sha256Source(const std::string& text)
{
    return "'sha256-" +
           QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
               .toBase64()
               .toStdString() +
           "'";
}

// Replaces the one `marker` of `page` with `text`.
void ReplaceMarker(std::string& page, std::string_view marker, const std::string& text)
{
    const std::size_t at = page.find(marker);
    if (at == std::string::npos || page.find(marker, at + 1) != std::string::npos)
        throw Error("the web page's template does not hold " + std::string(marker) + " once");
    page.replace(at, marker.size(), text);
}

} // namespace

std::shared_ptr<const PageMbtiles> CheckPageMap(const MapChoice& map)
{
    if (map.kind == MapChoice::Kind::Mbtiles)
        return std::make_shared<const PageMbtiles>(map.text);
    if (map.kind == MapChoice::Kind::UrlTemplate)
        CheckTileUrlTemplate(map.text);
    return nullptr;
}

std::optional<Course> PageCourse(const std::string& raceFile, std::vector<std::string>& warnings)
{
    const std::string path = CourseFilePath(raceFile);
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(path), error))
        return std::nullopt;
    try {
        CourseFile course = ReadCourseFile(path);
        if (course.Plan.Finish)
            return std::move(course.Plan);
    } catch (const Error& e) {
        warnings.push_back(std::string(e.what()) + "; the web page is made without a finish line");
    }
    return std::nullopt;
}

HtmlPageExporter::HtmlPageExporter(QString path, HtmlPageOptions options)
    : path_(std::move(path)), options_(std::move(options)), clock_(std::make_unique<Bytes>()),
      widths_(std::make_unique<Bytes>()), board_(std::make_unique<Bytes>())
{
    if (options_.Map.kind != MapChoice::Kind::Mbtiles)
        options_.Mbtiles.reset();
    if (!options_.Mbtiles || options_.Mbtiles->path() != options_.Map.text)
        options_.Mbtiles = CheckPageMap(options_.Map);
    if (!TailMinutesAccepted(options_.TailMinutes))
        throw Error(std::string("the tail of the web page is no number of minutes: give ") + kTailRangeText);
    if (options_.RaceCourse && !options_.RaceCourse->Finish)
        options_.RaceCourse.reset();
    leaderboard_.setCourse(options_.RaceCourse);
}

HtmlPageExporter::~HtmlPageExporter() = default;

void HtmlPageExporter::raceStarted(const FleetInfo& fleet)
{
    fleet_ = fleet;
    boats_.assign(fleet.Boats.size(), Boat{});
    clock_->clear();
    widths_->clear();
    board_->clear();
    steps_ = lastWideStep_ = clockSeconds_ = 0;
    reachedEnd_ = lonReferenceSet_ = false;
    box_ = PageBox();
    leaderboard_.raceStarted(fleet);
    boardValues_.assign(fleet.Boats.size(), 0);
    lastBoard_.clear();
    boardRows_.clear();
    addLeaderboard(0);
}

void HtmlPageExporter::addPiece(std::size_t k, long long step, const TrackPoint& from, const TrackPoint& to)
{
    Boat& boat = boats_[k];
    if (!lonReferenceSet_) {
        lonReference_ = from.Lon;
        lonReferenceSet_ = true;
    }
    // Longitudes the short way from the point before, so a track across the 180th
    // meridian runs on (180.1, 180.2, ...) and the page draws it unbroken.
    const double fromLon = UnwrapLongitude(from.Lon, boat.hasEnd ? boat.endLonDeg : lonReference_);
    const double toLon = UnwrapLongitude(to.Lon, fromLon);
    const std::int64_t fromLat = std::llround(from.Lat * kMicroDegrees);
    const std::int64_t fromLonMicro = std::llround(fromLon * kMicroDegrees);
    const std::int64_t toLat = std::llround(to.Lat * kMicroDegrees);
    const std::int64_t toLonMicro = std::llround(toLon * kMicroDegrees);
    box_.add(from.Lat, fromLon);
    box_.add(to.Lat, toLon);
    const bool joined = boat.hasEnd && fromLat == boat.endLat && fromLonMicro == boat.endLon;
    boat.track.piece(step - boat.pieceStep, joined, fromLat - boat.endLat, fromLonMicro - boat.endLon, toLat - fromLat,
                     toLonMicro - fromLonMicro);
    boat.hasEnd = true;
    boat.endLat = toLat;
    boat.endLon = toLonMicro;
    boat.endLonDeg = toLon;
    boat.pieceStep = step;
}

// The leaderboard after `step`: a 0 when it reads as after the step before, else a 1 and
// every row (boat and kind, its number as the difference to the boat's number before, and
// the gap plus one, 0 for none).
void HtmlPageExporter::addLeaderboard(long long step)
{
    if (!options_.RaceCourse)
        return;
    struct Row {
        std::uint64_t boatKind;
        std::int64_t value;
        std::uint64_t gap;
    };
    // The rows as numbers, three a row, kept to tell the next step's from them.
    std::vector<std::uint64_t>& rows = boardRows_;
    rows.clear();
    for (const LeaderboardRow& row : leaderboard_.rows()) {
        Row r{static_cast<std::uint64_t>(row.Boat) * 3, 0, 0};
        const std::string statusText = StandingText(row), gapText = GapText(row);
        std::string_view status = statusText;
        if (row.Finished) {
            constexpr std::string_view prefix = "finished ";
            if (!status.starts_with(prefix))
                Unexpected("leaderboard status", status);
            r.boatKind += kFinished;
            r.value = DurationSeconds(status.substr(prefix.size()));
            if (!gapText.empty()) {
                if (gapText.front() != '+')
                    Unexpected("leaderboard gap", gapText);
                r.gap = static_cast<std::uint64_t>(DurationSeconds(std::string_view(gapText).substr(1))) + 1;
            }
        } else if (row.DistanceNm >= 0) {
            constexpr std::string_view suffix = " nm to go";
            if (!status.ends_with(suffix))
                Unexpected("leaderboard status", status);
            r.boatKind += kSailing;
            r.value = DistanceThousandths(status.substr(0, status.size() - suffix.size()));
            if (!gapText.empty()) {
                const std::string_view gap = gapText;
                if (gap.size() < 4 || gap.front() != '+' || !gap.ends_with(" nm"))
                    Unexpected("leaderboard gap", gap);
                r.gap = static_cast<std::uint64_t>(DistanceThousandths(gap.substr(1, gap.size() - 4))) + 1;
            }
        } else if (statusText != "not started" || !gapText.empty()) {
            Unexpected("leaderboard status", statusText);
        }
        rows.insert(rows.end(), {r.boatKind, static_cast<std::uint64_t>(r.value), r.gap});
    }
    if (step > 0 && rows == lastBoard_) {
        board_->put(0);
        return;
    }
    lastBoard_.swap(rows);
    board_->put(1);
    for (std::size_t i = 0; i < lastBoard_.size(); i += 3) {
        const std::uint64_t boatKind = lastBoard_[i];
        board_->put(boatKind);
        if (boatKind % 3 != kNotStarted) {
            const auto value = static_cast<std::int64_t>(lastBoard_[i + 1]);
            std::int64_t& before = boardValues_[boatKind / 3];
            board_->putSigned(value - before);
            before = value;
            board_->put(lastBoard_[i + 2]);
        }
    }
}

void HtmlPageExporter::frame(const FleetFrame& frame)
{
    if (frame.Step != steps_ + 1)
        throw Error("the web page is made from a replay played step by step from its start; it got step " +
                    std::to_string(frame.Step) + " after step " + std::to_string(steps_));
    steps_ = frame.Step;
    if (steps_ == 1)
        firstClock_ = frame.RaceClock;
    lastClock_ = frame.RaceClock;
    if (debrief_)
        debrief_->step(frame.RaceClock);

    const std::int64_t seconds = ClockSeconds(RaceClockText(frame.RaceClock));
    clock_->putSigned(seconds - clockSeconds_);
    clockSeconds_ = seconds;
    if (frame.LineWidth != 1) {
        widths_->put(static_cast<std::uint64_t>(steps_ - lastWideStep_));
        widths_->put(static_cast<std::uint64_t>(std::max<int>(frame.LineWidth, 0)));
        lastWideStep_ = steps_;
    }
    for (std::size_t k = 0; k < frame.Boats.size() && k < boats_.size(); ++k) {
        const BoatStep& step = frame.Boats[k];
        Boat& boat = boats_[k];
        if (k >= 1) {
            // Every step: 0 for the text of the step before, 1 for no text, else 2 + the
            // zig-zag change of the thousandths from the last text.
            const std::int64_t shown = step.HasDistance ? ShownThousandths(step.DistanceNm) : -1;
            if (shown == boat.shown) {
                boat.distance.put(0);
            } else if (shown < 0) {
                boat.distance.put(1);
            } else {
                const std::int64_t change = shown - boat.thousandths;
                boat.distance.put(
                    ((static_cast<std::uint64_t>(change) << 1) ^ static_cast<std::uint64_t>(change >> 63)) + 2);
                boat.thousandths = shown;
            }
            boat.shown = shown;
        }
        if (step.Drawn)
            addPiece(k, steps_, step.From, step.To);
    }
    if (options_.RaceCourse) {
        leaderboard_.frame(frame);
        addLeaderboard(steps_);
    }
}

void HtmlPageExporter::open(ExportRun& run)
{
    debrief_ = std::make_unique<PageDebrief>(run.RaceFile);
    out_ = std::make_unique<OutputFile>(path_, "the web page");
}

std::vector<PreparedFile> HtmlPageExporter::finish(ExportRun&)
{
    write(*out_);
    return {out_->Prepare()};
}

std::vector<std::string> HtmlPageExporter::summary() const
{
    std::vector<std::string> lines{"Web page: " + path_.toLocal8Bit().toStdString()};
    if (!mapSummary_.empty())
        lines.push_back(mapSummary_);
    if (debrief_ && !debrief_->why().empty())
        lines.push_back("The web page was made without its debrief: " + debrief_->why());
    return lines;
}

void HtmlPageExporter::rewound(const FleetFrame&, const ReplaySeries&, long long)
{
    throw Error("the web page is made from a replay played step by step from its start; it cannot follow a jump "
                "to another moment");
}

void HtmlPageExporter::reachedEnd()
{
    reachedEnd_ = true;
}

std::string HtmlPageExporter::boatsJson() const
{
    // The boats' streams are most of the page: packed at once on the program's pool, four a
    // boat, in the order they are written.
    const std::size_t boatCount = std::min(fleet_.Boats.size(), boats_.size());
    const std::vector<std::string> packed =
        RunPartsFor<std::string>(static_cast<int>(boatCount * 4), WorkPool::Program().threads(), [this](int part) {
            const Boat& boat = boats_[static_cast<std::size_t>(part / 4)];
            switch (part % 4) {
            case 0:
                return PackedJson(boat.track.heads.bytes());
            case 1:
                return PackedJson(boat.track.lats.bytes(), Packing::Noise);
            case 2:
                return PackedJson(boat.track.lons.bytes(), Packing::Noise);
            default:
                return PackedJson(boat.distance.bytes());
            }
        });
    std::string json = ",\"boats\":[";
    for (std::size_t k = 0; k < boatCount; ++k) {
        const FleetBoat& boat = fleet_.Boats[k];
        json += k == 0 ? "{" : ",{";
        json += "\"caption\":" + JsonString(LocalTextAsUtf8(boat.Caption));
        json += ",\"colour\":" + JsonString(TrackCss(boat.Colour));
        json += ",\"window\":" + JsonString(WindowCss(boat.WindowColour));
        json += ",\"heads\":" + packed[k * 4];
        json += ",\"lats\":" + packed[k * 4 + 1];
        json += ",\"lons\":" + packed[k * 4 + 2];
        json += ",\"distance\":" + packed[k * 4 + 3];
        json += "}";
    }
    json += "]";
    return json;
}

std::string HtmlPageExporter::dataJson()
{
    std::string json = "{\"generator\":";
    json += JsonString(std::string("Tideplot ") + kVersionText);
    json += ",\"title\":";
    json += JsonString(options_.Title.toStdString());
    json += ",\"race\":";
    json += JsonString(LocalTextAsUtf8(FileLabel(fleet_.RaceFileName)));
    json += ",\"steps\":" + std::to_string(steps_);
    json += ",\"complete\":";
    json += reachedEnd_ ? "true" : "false";
    // The race time a step moves the clock on, for playing at a multiple of race time.
    const double resolution =
        steps_ >= 2
            ? std::round((lastClock_ - firstClock_) * kSecondsPerDay / static_cast<double>(steps_ - 1) * 100) / 100
            : 10;
    json += ",\"resolutionSeconds\":" + JsonNumber(resolution);
    json += ",\"tailMinutes\":" + JsonNumber(options_.TailMinutes);
    json += ",\"clock\":" + PackedJson(clock_->bytes());
    json += ",\"widths\":" + PackedJson(widths_->bytes());
    json += boatsJson();
    if (fleet_.Handicap) {
        // The system the race is scored by, and what the results' third column holds.
        const HandicapSystem system = fleet_.Handicap->Rule.System;
        json += ",\"handicap\":{\"caption\":" + JsonString(std::string(HandicapSystemCaption(system)));
        json += ",\"column\":" + JsonString(system == HandicapSystem::Lys ? "LYS" : "Rating") + "}";
    }
    if (options_.RaceCourse)
        json += CourseDataJson(*options_.RaceCourse, fleet_.RaceFileName, board_->bytes());
    json += MapLayersJson(options_.Map);
    if (debrief_)
        json += debrief_->json(fleet_.Boats.size());
    json += "}";
    return json;
}

void HtmlPageExporter::write(OutputFile& out)
{
    if (options_.Title.isEmpty())
        options_.Title = QFileInfo(QString::fromLocal8Bit(fleet_.RaceFileName.c_str())).completeBaseName();
    // The script's parts, one after the other in one script element.
    QByteArray scriptParts;
    for (const char* part :
         {"racedata.js", "trackpen.js", "sheets.js", "chart.js", "debrief.js", "debriefgraph.js", "controls.js"})
        scriptParts += Resource(part);
    std::string script = scriptParts.toStdString();
    std::string data = dataJson();
    if (options_.Map.kind == MapChoice::Kind::Mbtiles) {
        // The map's tiles and the part of the script that draws them, in this page only.
        const PageMap map = ReadPageMap(*options_.Mbtiles, box_);
        const std::string tiles = ",\"embeddedMap\":" + map.json(), drawer = Resource("maptiles.js").toStdString();
        data.insert(data.size() - 1, tiles);
        script += drawer;
        mapSummary_ = map.summary(tiles.size() + drawer.size());
    }
    if (QByteArray::fromStdString(script).toLower().contains("</script"))
        throw Error("the web page's script holds the end of a script element");
    const std::string style = (Resource("replay.css") + Resource("debrief.css")).toStdString();
    std::string page = Resource("replay.html").toStdString();

    QString attribution;
    std::string images = "data:";
    for (const TileLayer& layer : PageTileLayers(options_.Map, attribution))
        for (const std::string& origin : TileOrigins(layer.url))
            images += " " + origin;
    const std::string policy = "default-src 'none'; script-src " + Sha256Source(script) + "; style-src " +
                               Sha256Source(style) + "; img-src " + images + "; base-uri 'none'; form-action 'none'";
    ReplaceMarker(page, "<!--tideplot:policy-->", HtmlText(QString::fromStdString(policy)));
    ReplaceMarker(page, "<!--tideplot:generator-->", std::string("Tideplot ") + kVersionText);
    ReplaceMarker(page, "<!--tideplot:title-->", HtmlText(options_.Title));
    ReplaceMarker(page, "<!--tideplot:style-->", style);
    // The script last: no text put in before it can hold its marker.
    ReplaceMarker(page, "<!--tideplot:data-->", data);
    ReplaceMarker(page, "<!--tideplot:script-->", script);
    out.Write(page);
}

bool ExportReplayPage(const std::string& raceFile, const QString& outPath, const ReplayPageOptions& options,
                      const PageProgress& progress, std::vector<std::string>* notes)
{
    HtmlPageOptions pageOptions = options.page;
    pageOptions.Mbtiles = CheckPageMap(pageOptions.Map);
    const long long total = CountReplaySteps(raceFile, options.settings, options.maxSteps);
    ExportRun run;
    run.RaceFile = raceFile;
    run.Settings = options.settings;
    run.MaxSteps = options.maxSteps;
    HtmlPageExporter page(outPath, std::move(pageOptions));
    ExportHooks hooks;
    if (progress)
        hooks.stepDone = [&](const FleetFrame& frame) { return progress(frame.Step, std::max(total, frame.Step)); };
    if (RunExport(run, {&page}, hooks).Cancelled)
        return false;
    if (notes) {
        const std::vector<std::string> said = page.summary();
        notes->assign(said.begin() + 1, said.end()); // the first line says where the page is
    }
    return true;
}

} // namespace tideplot
