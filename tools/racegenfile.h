#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

// How tideplot-racegen writes its files: numbers and dates as the track files hold them,
// whatever the locale, through a buffer.
namespace tideplot::racegen {

// Writes `value` with exactly seven decimals and "." as decimal point, whatever the locale.
void AppendFixed7(std::string& out, double value);
// Writes 0 to 99 as two digits.
void AppendTwoDigits(std::string& out, long long value);
// Writes a fix as a track file holds it: "lat,lon,YYYYMMDD,hhmmss" with `sep` between the
// fields, `second` being the second of the day.
void AppendTrackFix(std::string& out, char sep, double lat, double lon, const std::string& dateDigits,
                    long long second);
// Writes a fix as gpsbabel's unicsv reads it: "lat,lon,YYYY/MM/DD,hh:mm:ss".
void AppendUnicsvFix(std::string& out, double lat, double lon, const std::string& dateSlashed, long long second);

// A file written through a buffer, so that a day's track costs few system calls. Throws
// Error when it cannot be created or written.
class OutFile {
public:
    explicit OutFile(const std::filesystem::path& path);
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    ~OutFile();

    void FlushIfFull();
    void Close();

    std::string buffer;

private:
    static constexpr std::size_t kFlushAt = 1 << 20;

    void Flush();

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
};

// Seconds since 1899-12-30 00:00:00, the base of the program's date values.
long long SecondsOfDateValue(double dateValue);
// The date text ("YYYY-MM-DD hh:mm:ss") of such seconds.
std::string DateTextOfSeconds(long long seconds);

} // namespace tideplot::racegen
