#include "coursesailed.h"

#include "core/courseprogress.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

CourseSailed SailCourse(const std::shared_ptr<const CourseGeometry>& course, const std::vector<MotionSample>& samples)
{
    CourseSailed sailed;
    CourseProgress progress(course);
    double least = INFINITY;
    const auto keepUpTo = [&](double seconds) {
        // Every step up to `seconds` holds the least distance to sail so far.
        while (static_cast<double>(sailed.ToSailNm.size()) * kToSailStepSeconds <= seconds)
            sailed.ToSailNm.push_back(static_cast<float>(least));
    };
    for (const MotionSample& s : samples) {
        progress.Observe({s.Lat(), s.Lon(), static_cast<double>(s.Seconds)});
        // The distance to sail is measured at the fixes about each step only: a fix a second
        // costs a tenth of the work.
        const double next = static_cast<double>(sailed.ToSailNm.size()) * kToSailStepSeconds;
        if (s.Seconds < next - 1)
            continue;
        if (const double remaining = progress.RemainingNm(); remaining >= 0)
            least = std::min(least, remaining);
        keepUpTo(s.Seconds);
    }
    sailed.Started = progress.Started();
    sailed.StartSeconds = progress.StartCrossing();
    sailed.Ocs = progress.Ocs();
    sailed.RoundingSeconds = progress.Roundings();
    if (progress.Finished())
        sailed.FinishSeconds = progress.FinishTime();
    return sailed;
}

} // namespace tideplot
