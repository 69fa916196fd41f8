#pragma once

#include "error.h"
#include "linereader.h"
#include "records.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A track file front to back as the replay takes it: the header lines (those at the top
// that hold "#", and the first line after them) are skipped; a line whose latitude reads as
// 0 has no fix; and a fix logged at the same second as the last fix before it (the last
// line with a latitude not 0 that was kept) is a repeat, passed over as if it were not in
// the file (its position is not read). So a file whose last lines repeat its last fix ends at that fix, and a file
// with repeats replays exactly as the same file with the repeated lines deleted: a log
// imported twice, a 5 Hz logger, an end placemark that repeats the last point.
namespace tideplot {

// A track line that cannot be read. what() is "FILE, line N: reason"; the parts are kept
// for a message that says more.
class TrackLineError : public Error {
public:
    TrackLineError(const std::string& path, long line, std::string text, std::string reason);
    long Line;
    std::string Text;
    std::string Reason;
};

// One line of a track file as the replay reads it.
struct TrackLine {
    std::string Text;
    bool Fix = false;     // the latitude is not 0, and the line is read: Time, Lat(), Lon()
    double Time = 0;      // date value
    long Number = 0;      // line of the file
    long long Offset = 0; // where the line starts in the file
    std::string Problem;  // why a fix cannot be read; empty when it can

    // The latitude and longitude of a fix, read from its fields when asked for (a step
    // takes one line of the many it reads).
    double Lat() const;
    double Lon() const;
    std::uint32_t LatFrom = 0, LatSize = 0, LonFrom = 0, LonSize = 0; // the fields in Text
};

// The lines of a track file after its header, repeats passed over. One line is read
// ahead, so AtEnd() is true right after the last line that counts; memory stays that of
// two lines.
class TrackLineReader {
public:
    // Opens the track file; throws Error naming it when it cannot be read.
    TrackLineReader(const std::string& path, char sep);

    // The file's lines as they are, for skipping the header: only before the first
    // AtEnd() or ReadLine().
    LineReader& HeaderLines() { return file_; }

    bool AtEnd()
    {
        if (!haveNext_)
            haveNext_ = fill();
        return !haveNext_;
    }
    // The next line; valid until the next call. Throws Error at the end of the file, and
    // TrackLineError for a fix that cannot be read (the line is read ahead, the error
    // comes when it is its turn).
    const TrackLine& ReadLine()
    {
        if (AtEnd())
            ReadPastEnd();
        current_ = 1 - current_;
        haveNext_ = false;
        const TrackLine& line = lines_[current_];
        if (!line.Problem.empty())
            LineCannotBeRead(line);
        return line;
    }

    // Reads lines (as ReadLine) until one is a fix logged more than `after` days after `start`
    // (its Time - start > after) or is the last line that counts, and returns that line;
    // `fixPassed` is set when a fix came before it. Throws as ReadLine does, at the first line
    // that cannot be read.
    const TrackLine& ReadPast(double start, double after, bool& fixPassed);

    const std::string& Path() const { return file_.Path(); }
    // The line of the file that ReadLine returned last (0 before the first).
    long LineNumber() const { return lines_[current_].Number; }

    // Where the reader stands: the file's place and what was read ahead, to come back to.
    struct Position {
        long long FileOffset = 0;
        long FileLine = 0;
        TrackFixTimeReader Fixes;
        TrackLine Lines[2];
        std::size_t Current = 0;
        bool HaveNext = false;
        bool HaveLastFix = false;
        double LastFixTime = 0;
    };
    Position position() const;
    // The bytes of the file read so far.
    long long offset() const { return file_.Offset(); }
    // Goes back (or on) to a place that position() gave. Throws Error when the file cannot
    // seek (a pipe).
    void restore(const Position& at);
    // A reader of its own of the very file this one reads (LineReader::SameFile), standing
    // where this reader stands: for another thread. Throws Error naming the file when no
    // handle is left.
    std::unique_ptr<TrackLineReader> share() const;
    TrackLineReader(LineReader::SameFile, const TrackLineReader& other);
    // The file was written to since it was opened (LineReader::Changed).
    bool Changed() const { return file_.Changed(); }
    // The open file's size in bytes.
    long long Size() const { return file_.Size(); }

private:
    bool fill(); // reads the next line that counts into the other slot; false at the end of the file
    // ReadPast's usual stretch: with the line read ahead a fix before `after`, passes over
    // the fixes of the learnt shape in the buffer that lie before it too, taking the last of
    // them as the line read ahead.
    void passShapedFixes(double start, double after, bool& fixPassed);
    [[noreturn]] void ReadPastEnd() const;
    [[noreturn]] void LineCannotBeRead(const TrackLine& line) const;

    LineReader file_;
    char sep_;
    TrackFixTimeReader fixes_;
    TrackLine lines_[2]; // the line returned last and the line read ahead
    std::size_t current_ = 0;
    bool haveNext_ = false;
    bool haveLastFix_ = false;
    double lastFixTime_ = 0;
};

struct TrackFix {
    double Lat = 0;
    double Lon = 0;
    double Time = 0; // date value
    long Line = 0;   // line of the track file
    // The latitude and longitude fields as written; valid until the next call of next().
    std::string_view LatText;
    std::string_view LonText;
};

// The fixes of a track file, for the readers that need a boat's positions and times but
// not the replay's steps: the results, the animated KML.
class TrackFixReader {
public:
    // Opens the track file; throws Error naming it when it cannot be read.
    TrackFixReader(const std::string& path, char sep);

    // The next fix; false at the end of the file. Throws Error naming the file, the line
    // and the field when a line with a latitude cannot be read.
    bool next(TrackFix& fix);

    const std::string& path() const { return lines_.Path(); }

private:
    TrackLineReader lines_;
    bool headerSkipped_ = false;
};

// Skips the header lines of a track file: those at the top that hold "#", and the first
// line after them.
void SkipTrackHeader(LineReader& file);

// The box around every fix of a track file, south-west and north-east corners in degrees.
// Longitudes are taken the short way from the first fix, so a track across the
// 180-degree meridian gives a narrow box whose east side may lie beyond 180.
struct FixBox {
    double SouthLat = 90, WestLon = 180, NorthLat = -90, EastLon = -180;
    bool empty() const { return SouthLat > NorthLat; }
    void add(double lat, double lon);
    void add(const FixBox& other);
};

// The box of every fix of the track file; an empty box when it holds none. Throws Error
// like TrackFixReader. With `cancel` set (by another thread) it stops early, with the box of
// the fixes read so far.
FixBox TrackFixesBox(const std::string& path, char sep, const std::atomic<bool>* cancel = nullptr);

} // namespace tideplot
