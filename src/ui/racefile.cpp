#include "ui/racefile.h"

#include "core/error.h"
#include "core/linereader.h"
#include "core/outputfile.h"
#include "core/records.h"
#include "core/replay.h"
#include "core/text.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>

namespace tideplot {

namespace {

QString Name(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, const QString& reason)
{
    throw Error(what + " " + path + ": " + reason.toLocal8Bit().toStdString());
}

} // namespace

std::vector<std::string> ReadRaceFile(const std::string& path)
{
    if (QFileInfo(Name(path)).isDir())
        throw Error("cannot read the race file " + path + ": it is a folder");
    LineReader reader(path);
    std::vector<std::string> lines;
    while (!reader.AtEnd())
        lines.emplace_back(reader.ReadLine());
    // Blank lines at the end (an editor's) are no rows, as the replay reads them.
    while (!lines.empty() && TrimBlanks(lines.back()).empty())
        lines.pop_back();
    return lines;
}

void WriteRaceFile(const std::string& path, const std::vector<std::string>& rows)
{
    std::string bytes;
    for (const std::string& row : rows) {
        bytes += row;
        bytes += "\r\n";
    }
    OutputFile file(Name(path), "the race file");
    file.Write(bytes);
    file.Commit();
}

std::vector<std::string> RaceRowProblems(const std::string& raceFileName, const std::vector<std::string>& rows)
{
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string row = "row " + std::to_string(i + 1) + ": ";
        if (i >= static_cast<std::size_t>(kMaxBoats)) {
            problems.push_back(row + "a race replays at most " + std::to_string(kMaxBoats) + " boats");
            continue;
        }
        BoatEntry entry;
        try {
            entry = ReadBoatEntry(rows[i]);
        } catch (const Error& e) {
            problems.push_back(row + e.what());
            continue;
        }
        const std::string path = ResolveTrackFile(raceFileName, entry.TrackFile);
        try {
            LineReader track(path);
            if (track.AtEnd())
                problems.push_back(row + "the track file \"" + path + "\" is empty");
        } catch (const Error& e) {
            problems.push_back(row + "the track file " + e.what());
        }
    }
    return problems;
}

void CreateRaceFileIfMissing(const std::string& path)
{
    QFile file(Name(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        Fail("cannot create the race file", path, file.errorString());
}

namespace {

// The name of `track` (the path it was read at) as written from `folder`: relative when
// it lies in the folder or below it.
std::string TrackNameFrom(const std::filesystem::path& folder, const std::string& track)
{
    std::error_code error;
    const std::filesystem::path full =
        std::filesystem::weakly_canonical(std::filesystem::absolute(track, error), error);
    if (error)
        return track;
    const std::filesystem::path relative = full.lexically_relative(folder);
    if (!relative.empty() && *relative.begin() != ".." && relative.is_relative())
        return relative.generic_string();
    return full.string();
}

} // namespace

std::vector<std::string> RowsForRaceFile(const std::vector<std::string>& rows, const std::string& oldRaceFile,
                                         const std::string& newRaceFile)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::weakly_canonical(
        std::filesystem::absolute(std::filesystem::path(newRaceFile).parent_path(), error), error);
    if (error)
        return rows;
    std::vector<std::string> written;
    written.reserve(rows.size());
    for (const std::string& row : rows) {
        const std::size_t comma = row.find(',');
        const std::string_view field(row.data(), comma == std::string::npos ? 0 : comma);
        const std::string_view name = TrimSpaces(field);
        if (comma == std::string::npos || name.empty()) {
            written.push_back(row);
            continue;
        }
        const std::size_t lead = static_cast<std::size_t>(name.data() - field.data());
        const std::string track = ResolveTrackFile(oldRaceFile, std::string(name));
        written.push_back(row.substr(0, lead) + TrackNameFrom(folder, track) + row.substr(lead + name.size()));
    }
    return written;
}

} // namespace tideplot
