#pragma once

#include "logreader.h"

#include "core/outputfile.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The one writer of imported track lines: all of them or none, whatever happens to the
// process, the disk or the file size limit while it writes.
namespace tideplot {

// The column header line a track file starts with. The replay takes the first line after
// the "#" lines as the column header and does not use it as a point.
inline constexpr std::string_view kTrackHeaderLine = "Latitude,Longitude,Date,Time\r\n";

// Lines added after those of the track file at `path`: the old content and the new lines
// are written to a temporary file beside it, synced to disk and renamed over it
// (QSaveFile), so a failure, a kill, a full disk or a file size limit at any moment leaves
// the track file as it was (and a missing one missing). The header line goes in front of
// the new lines when the file is missing or holds no line that the replay would take as its
// header (it is empty, or holds only "#" lines); a last line without a line end gets its
// CR LF first, so no new line is glued onto it. Every failure throws Error naming the file
// and what failed, and saying that the file is unchanged.
class TrackFileAppend {
public:
    // The file a TrackFileAppend adds to: a track file, or the wind file beside it (see
    // core/windfile.h: its own header line, the date and time at the start of its lines).
    enum class Kind { Track, Wind };

    // Looks at the end of the file at `path`, when it exists. Throws Error naming it when
    // it is no regular file (a FIFO, a device, a folder).
    explicit TrackFileAppend(std::string path, Kind kind = Kind::Track);
    ~TrackFileAppend();
    TrackFileAppend(const TrackFileAppend&) = delete;
    TrackFileAppend& operator=(const TrackFileAppend&) = delete;

    const std::string& Path() const { return path_; }
    // The time of the file's last line that ends in a date and a time ("...,YYYYMMDD,hhmmss",
    // whatever the separator; a wind file's line starts with them), when it has one: the
    // point already there last.
    const std::optional<LogSecond>& LastSecond() const { return lastSecond_; }
    // Adds a track line (given without its line end, which is CR LF).
    void Add(std::string_view line);
    long Added() const { return added_; }
    // Writes the lines added so far to the temporary file and lets go of their memory (a
    // file that waits while others are written).
    void Park();
    // Puts the new file in place when a line was added (creating a missing file); leaves
    // everything as it was when none was.
    void Commit();
    // Commit() but the renaming, for CommitTogether (outputfile.h) with other files: nothing
    // when no line was added. The TrackFileAppend must live until they are committed.
    std::optional<PreparedFile> Prepare();

private:
    void Start();
    void Flush();
    [[noreturn]] void Unchanged(const std::string& what) const;
    std::string What() const; // "the track file"

    std::string path_;
    Kind kind_;
    bool exists_ = false;
    std::optional<LogSecond> lastSecond_;
    std::unique_ptr<OutputFile> out_;
    std::string buffer_;
    long added_ = 0;
};

// What AppendTrackLines did.
struct TrackAppendResult {
    bool Created = false; // the track file did not exist
};

// Appends `lines` (whole track lines, each ended by CR LF) to the track file at `path`, as
// TrackFileAppend does. When `lines` is empty nothing is written: an existing file is left
// untouched and a missing one is not created.
TrackAppendResult AppendTrackLines(const std::string& path, std::string_view lines);

} // namespace tideplot
