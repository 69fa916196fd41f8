#pragma once

#include <string>
#include <string_view>

// The one writer of imported track lines: all of them or none, whatever happens to the
// process, the disk or the file size limit while it writes.
namespace tideplot {

// The column header line a track file starts with. The replay takes the first line after
// the "#" lines as the column header and does not use it as a point.
inline constexpr std::string_view kTrackHeaderLine = "Latitude,Longitude,Date,Time\r\n";

// What AppendTrackLines did.
struct TrackAppendResult {
    bool Created = false; // the track file did not exist
};

// Appends `lines` (whole track lines, each ended by CR LF) to the track file at `path`:
// the old content and the new lines are written to a temporary file beside it, synced to
// disk and renamed over it (QSaveFile), so a failure, a kill, a full disk or a file size
// limit at any moment leaves the track file as it was (and a missing one missing). The
// header line goes in front of the new lines when the file is missing or holds no line that
// the replay would take as its header (it is empty, or holds only "#" lines); a last line
// without a line end gets its CR LF first, so no new line is glued onto it. When `lines` is
// empty an existing file is left untouched and a missing one is created holding the header.
// Throws Error naming the file and what failed.
TrackAppendResult AppendTrackLines(const std::string& path, std::string_view lines);

} // namespace tideplot
