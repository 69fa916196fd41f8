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
        if (s.Seconds >= 0)
            keepUpTo(s.Seconds - 1e-9);
        progress.Observe({s.Lat(), s.Lon(), static_cast<double>(s.Seconds)});
        const double remaining = progress.RemainingNm();
        if (remaining >= 0)
            least = std::min(least, remaining);
    }
    if (!samples.empty() && samples.back().Seconds >= 0)
        keepUpTo(samples.back().Seconds);
    sailed.Started = progress.Started();
    sailed.StartSeconds = progress.StartCrossing();
    sailed.Ocs = progress.Ocs();
    sailed.RoundingSeconds = progress.Roundings();
    if (progress.Finished())
        sailed.FinishSeconds = progress.FinishTime();
    return sailed;
}

} // namespace tideplot
