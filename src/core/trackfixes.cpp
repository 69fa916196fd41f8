#include "trackfixes.h"

#include "error.h"
#include "text.h"

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

} // namespace tideplot
