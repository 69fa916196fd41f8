#pragma once

#include <string>
#include <vector>

// The race file: one boat entry line per boat, in the order of the boat list, each ended
// by CR LF; bytes in the system's 8-bit code page. The name is the one the system uses
// for the file (bytes).
namespace tideplot {

// The lines of the race file (CR LF, LF or CR line ends; an empty file has none), blank
// lines at its end left out. Throws Error naming the file when it cannot be read or is no
// regular file (a FIFO, a device).
std::vector<std::string> ReadRaceFile(const std::string& path);

// Writes the rows, each followed by CR LF, in place of the file's content, atomically: a
// failing write leaves the file as it was. Throws Error naming the file and the reason.
void WriteRaceFile(const std::string& path, const std::vector<std::string>& rows);

// One text for each row that the replay would refuse, as it reads the race file at Start:
// "row 3: the start time \"x\" is not a valid date and time", a track file that cannot
// be opened or is empty, a boat beyond the most a race replays. Relative track file names
// are taken from the folder of `raceFileName`. Only the first line of each track file is
// read.
std::vector<std::string> RaceRowProblems(const std::string& raceFileName, const std::vector<std::string>& rows);

// Creates the file empty when it is missing; an existing file is left as it is. Throws
// Error naming the file when it can neither be found nor created.
void CreateRaceFileIfMissing(const std::string& path);

// The rows as the race file `newRaceFile` is to hold them, so that each finds the same
// track file from there: a track file named relative to `oldRaceFile`'s folder (the folder
// the rows were read from, or none) is found from it, then written relative to the new
// race file's folder when it lies in that folder or below it ("tracks/Elsa.txt"), and as
// its full path otherwise; the rest of each row stays as it is. A race folder moved or
// mailed whole then replays as it did.
std::vector<std::string> RowsForRaceFile(const std::vector<std::string>& rows, const std::string& oldRaceFile,
                                         const std::string& newRaceFile);

} // namespace tideplot
