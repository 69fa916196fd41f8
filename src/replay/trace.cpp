#include "replay/trace.h"

#include "core/error.h"

#include <algorithm>
#include <cstdarg>

namespace tideplot {

namespace {
constexpr std::size_t kTraceChunkBytes = 64 * 1024;
} // namespace

void TraceWriter::put(std::string_view text)
{
    buffer_ += text;
    if (buffer_.size() >= kTraceChunkBytes)
        flush();
}

void TraceWriter::putLine(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    put(std::string_view(line, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1))));
}

void TraceWriter::flush()
{
    out_.Write(buffer_);
    buffer_.clear();
}

void TraceWriter::legend(int row, std::uint32_t colour, const std::string& caption)
{
    putLine("legend %d %u ", row, colour);
    put(caption);
    put("\n");
}

void TraceWriter::step(const std::string& raceTime)
{
    putLine("step %ld ", ++steps_);
    put(raceTime);
    put("\n");
}

void TraceWriter::distance(int row, const std::string& text)
{
    putLine("dst %d ", row);
    put(text);
    put("\n");
}

void TraceWriter::kml(const std::string& document)
{
    put("kml ");
    put(document);
    put("\n");
}

void TraceWriter::camera(const CameraInfoGE& c, double speed)
{
    putLine("camera %.17g %.17g %.17g %.17g %.17g %.17g\n", c.FocusPointLatitude, c.FocusPointLongitude, c.Range,
            c.Tilt, c.Azimuth, speed);
}

void TracingApplication::LoadKmlData(const std::string& kmlText)
{
    trace_.kml(kmlText);
    inner_.LoadKmlData(kmlText);
}

void TracingApplication::SetCamera(const CameraInfoGE& camera, double speed)
{
    trace_.camera(camera, speed);
    inner_.SetCamera(camera, speed);
}

} // namespace tideplot
