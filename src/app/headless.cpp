#include "app/headless.h"

#include "core/error.h"

namespace tideplot {

namespace {
void CheckRow(int row)
{
    if (row < 0 || row >= kMaxBoats)
        throw Error("the control window has no legend row " + std::to_string(row));
}
} // namespace

std::string HeadlessControlPanel::TrackInfoCaption(int row)
{
    CheckRow(row);
    return trackInfo[static_cast<std::size_t>(row)];
}

void HeadlessControlPanel::SetTrackInfo(int row, const std::string& caption, std::uint32_t windowColour)
{
    CheckRow(row);
    trackInfo[static_cast<std::size_t>(row)] = caption;
    trackColour[static_cast<std::size_t>(row)] = windowColour;
}

void HeadlessControlPanel::SetDistance(int row, const std::string& text)
{
    if (row < 1 || row >= kMaxBoats)
        throw Error("the control window has no distance row " + std::to_string(row));
    distance[static_cast<std::size_t>(row)] = text;
}

void TraceWriter::legend(int row, std::uint32_t colour, const std::string& caption)
{
    std::fprintf(out_, "legend %d %u %s\n", row, colour, caption.c_str());
}

void TraceWriter::step(const std::string& raceTime)
{
    std::fprintf(out_, "step %ld %s\n", ++steps_, raceTime.c_str());
}

void TraceWriter::distance(int row, const std::string& text)
{
    std::fprintf(out_, "dst %d %s\n", row, text.c_str());
}

void TraceWriter::kml(const std::string& document)
{
    std::fputs("kml ", out_);
    std::fwrite(document.data(), 1, document.size(), out_);
    std::fputc('\n', out_);
}

void TraceWriter::camera(const CameraInfoGE& c, double speed)
{
    std::fprintf(out_, "camera %.17g %.17g %.17g %.17g %.17g %.17g\n", c.FocusPointLatitude, c.FocusPointLongitude,
                 c.Range, c.Tilt, c.Azimuth, speed);
}

void TracingControlPanel::SetTrackInfo(int row, const std::string& caption, std::uint32_t windowColour)
{
    inner_.SetTrackInfo(row, caption, windowColour);
    trace_.legend(row, windowColour, caption);
}

void TracingControlPanel::SetRaceTime(const std::string& text)
{
    inner_.SetRaceTime(text);
    trace_.step(text);
}

void TracingControlPanel::SetDistance(int row, const std::string& text)
{
    inner_.SetDistance(row, text);
    trace_.distance(row, text);
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
