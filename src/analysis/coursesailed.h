#pragma once

#include "motion.h"

#include <memory>
#include <optional>
#include <vector>

// A boat on the race's course, from the fixes the analysis took: its start, its roundings and
// its finish by the course's rules (courseprogress.h), and how much of the course it still had
// to sail as the race went on, for the gap to the leader (gapseries.h).
namespace tideplot {

class CourseGeometry;

// The distance still to sail is kept every this many seconds from the boat's gun.
inline constexpr double kToSailStepSeconds = 10;

struct CourseSailed {
    bool Started = false;
    std::optional<double> StartSeconds;  // the start crossing, seconds after the gun, with a start line
    bool Ocs = false;                    // on the course side of the start line at the gun
    std::vector<double> RoundingSeconds; // each place of the course's sequence rounded, in order
    std::optional<double> FinishSeconds;
    // Nautical miles still to sail (CourseProgress::RemainingNm, never more than before) at
    // every kToSailStepSeconds from the gun to the last fix; infinite before the first position.
    std::vector<float> ToSailNm;
};

// The boat of `samples` (seconds from its gun) sailing `course`.
CourseSailed SailCourse(const std::shared_ptr<const CourseGeometry>& course, const std::vector<MotionSample>& samples);

} // namespace tideplot
