#include "trackfixes.h"

#include "error.h"
#include "text.h"

#include <algorithm>

namespace tideplot {

TrackFixReader::TrackFixReader(const std::string& path, char sep) : file_(path), sep_(sep) {}

bool TrackFixReader::next(TrackFix& fix)
{
    if (!headerSkipped_) {
        headerSkipped_ = true;
        // Header lines hold "#"; the first line without one goes with them.
        while (!file_.AtEnd() && file_.ReadLine().find('#') != std::string_view::npos) {
        }
    }
    while (!file_.AtEnd()) {
        const std::string_view line = file_.ReadLine();
        if (line.empty())
            continue;
        try {
            const TrackLineFields fields = SplitTrackLine(line, sep_);
            const double lat = LeadingNumber(fields.Lat);
            if (lat == 0)
                continue;
            const double lon = LeadingNumber(fields.Lon);
            CheckOnGlobe(fields, lat, lon);
            double time = 0;
            if (!times_.read(fields.Date, fields.Time, time))
                TrackFieldsTime(fields.Date, fields.Time); // throws with the reason
            if (haveLast_ && time == lastTime_)
                continue;
            haveLast_ = true;
            lastTime_ = time;
            fix = TrackFix{lat, lon, time, file_.LineNumber(), fields.Lat, fields.Lon};
            return true;
        } catch (const Error& e) {
            ThrowAt(FileLabel(file_.Path()), file_.LineNumber(), e.what());
        }
    }
    return false;
}

void FixBox::add(double lat, double lon)
{
    if (!empty()) {
        // The longitude nearest the box's middle: the short way across the 180-degree meridian.
        const double middle = (WestLon + EastLon) / 2;
        while (lon - middle > 180)
            lon -= 360;
        while (lon - middle < -180)
            lon += 360;
    }
    SouthLat = std::min(SouthLat, lat);
    NorthLat = std::max(NorthLat, lat);
    WestLon = std::min(WestLon, lon);
    EastLon = std::max(EastLon, lon);
}

void FixBox::add(const FixBox& other)
{
    if (other.empty())
        return;
    add(other.SouthLat, other.WestLon);
    add(other.NorthLat, other.EastLon);
}

FixBox TrackFixesBox(const std::string& path, char sep)
{
    TrackFixReader reader(path, sep);
    FixBox box;
    TrackFix fix;
    while (reader.next(fix))
        box.add(fix.Lat, fix.Lon);
    return box;
}

} // namespace tideplot
