#include "racegenfile.h"

#include "core/datetime.h"
#include "core/error.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace tideplot::racegen {

void AppendFixed7(std::string& out, double value)
{
    long long n = std::llround(value * 1e7);
    if (n < 0) {
        out += '-';
        n = -n;
    }
    char buffer[32];
    int len = 0;
    long long whole = n / 10000000;
    long long fraction = n % 10000000;
    for (int i = 0; i < 7; ++i) {
        buffer[len++] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    buffer[len++] = '.';
    do {
        buffer[len++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    while (len > 0)
        out += buffer[--len];
}

void AppendTwoDigits(std::string& out, long long value)
{
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

OutFile::OutFile(const std::filesystem::path& path) : path_(path)
{
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        throw Error("cannot create " + path.string() + ": " + std::strerror(errno));
    buffer.reserve(kFlushAt + 256);
}

OutFile::~OutFile()
{
    if (file_)
        std::fclose(file_);
}

void OutFile::FlushIfFull()
{
    if (buffer.size() >= kFlushAt)
        Flush();
}

void OutFile::Close()
{
    Flush();
    const int status = std::fclose(file_);
    file_ = nullptr;
    if (status != 0)
        throw Error("cannot write " + path_.string() + ": " + std::strerror(errno));
}

void OutFile::Flush()
{
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file_) != buffer.size())
        throw Error("cannot write " + path_.string() + ": " + std::strerror(errno));
    buffer.clear();
}

void AppendTrackFix(std::string& out, char sep, double lat, double lon, const std::string& dateDigits, long long second)
{
    AppendFixed7(out, lat);
    out += sep;
    AppendFixed7(out, lon);
    out += sep;
    out += dateDigits;
    out += sep;
    AppendTwoDigits(out, second / 3600);
    AppendTwoDigits(out, second / 60 % 60);
    AppendTwoDigits(out, second % 60);
    out += "\r\n";
}

void AppendUnicsvFix(std::string& out, double lat, double lon, const std::string& dateSlashed, long long second)
{
    AppendFixed7(out, lat);
    out += ',';
    AppendFixed7(out, lon);
    out += ',';
    out += dateSlashed;
    out += ',';
    AppendTwoDigits(out, second / 3600);
    out += ':';
    AppendTwoDigits(out, second / 60 % 60);
    out += ':';
    AppendTwoDigits(out, second % 60);
    out += "\r\n";
}

long long SecondsOfDateValue(double dateValue)
{
    return std::llround(dateValue * kSecondsPerDay);
}

std::string DateTextOfSeconds(long long seconds)
{
    return DateText(static_cast<double>(seconds) / kSecondsPerDay);
}

} // namespace tideplot::racegen
