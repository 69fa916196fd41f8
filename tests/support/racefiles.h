#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace tideplot::testing {

// A folder of its own for one test's files, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("tideplot-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Writes `lines`, each followed by `eol`.
    std::string write(const std::string& name, const std::vector<std::string>& lines,
                      const std::string& eol = "\r\n") const
    {
        std::string bytes;
        for (const auto& l : lines)
            bytes += l + eol;
        return writeBytes(name, bytes);
    }
    std::string writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The whole content of a file ("" when it cannot be read).
inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "hh:mm:ss" of a number of seconds into the day, as a track line's time field.
inline std::string Hms(int seconds)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d%02d%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buffer;
}

// The names of the files in a folder, sorted.
inline std::vector<std::string> FilesIn(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
inline std::vector<std::string> FilesIn(const TempDir& dir)
{
    return FilesIn(dir.path());
}

} // namespace tideplot::testing
