#include "racehandicap.h"

#include "course.h"
#include "coursefile.h"
#include "courseprogress.h"
#include "datetime.h"
#include "error.h"
#include "replay.h"
#include "results.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <system_error>

namespace tideplot {

namespace {

// Two entries of one track file cannot be told apart by their lines: refused.
void RefuseTrackNamedTwice(const RaceState& state)
{
    std::map<std::string, long, std::less<>> seen;
    for (int k = 0; k < state.BoatCount; ++k) {
        const std::string track(TrimSpaces(state.EntryTrackFile[k]));
        const auto [it, added] = seen.emplace(track, state.EntryLine[k]);
        if (!added)
            ThrowAt(FileLabel(state.RaceFileName), state.EntryLine[k],
                    "the track file " + QuotedText(track) + " is named twice in the race (also on line " +
                        std::to_string(it->second) +
                        "): the course file's ratings and names go by track file, so each boat needs a track of "
                        "its own");
    }
}

// The course distance time-on-distance takes: the distance line's, or the course's legs.
double TimeOnDistanceNm(const RaceState& state, const Handicap& rule, const Course* course)
{
    if (rule.DistanceNm)
        return *rule.DistanceNm;
    std::optional<Course> read;
    if (!course) {
        const std::string path = CourseFilePath(state.RaceFileName);
        std::error_code error;
        if (std::filesystem::exists(path, error))
            read = ReadCourseFile(path).Plan;
        course = read ? &*read : nullptr;
    }
    const double distance = course ? CourseDistanceNm(*course) : 0;
    if (!(distance > 0))
        throw Error(std::string(HandicapSystemName(rule.System)) + " is time-on-distance: it needs the course's " +
                    "distance, a line \"distance NM\" in the course file " +
                    QuotedText(FileLabel(CourseFilePath(state.RaceFileName))) +
                    " or a course of marks to measure it by; it has neither");
    return distance;
}

} // namespace

double RaceHandicap::Corrected(int k, double elapsedSeconds, double fraction) const
{
    const BoatHandicap& boat = Boats[static_cast<std::size_t>(k)];
    if (IsTimeOnDistance(Rule.System))
        return boat.Scale * elapsedSeconds - boat.Allowance * fraction;
    return elapsedSeconds * boat.Factor;
}

double RaceHandicap::ElapsedAtClock(int k, double clockDays) const
{
    const BoatHandicap& boat = Boats[static_cast<std::size_t>(k)];
    if (!IsTimeOnDistance(Rule.System))
        return clockDays / boat.Factor;
    // R(h) = S h + G q(h), G the allowance the boat gives the fleet's largest, in days.
    const double give = (LargestAllowance - boat.Allowance) / kSecondsPerDay;
    const auto clockAt = [&](const std::array<double, 2>& knot) { return boat.Scale * knot[0] + give * knot[1]; };
    const auto& knots = boat.Progress;
    if (knots.empty() || clockDays <= 0)
        return clockDays / boat.Scale;
    // The first knot whose clock lies beyond `clockDays`: the boat is on the piece before it.
    const auto after = std::upper_bound(knots.begin(), knots.end(), clockDays,
                                        [&](double c, const std::array<double, 2>& knot) { return c < clockAt(knot); });
    const std::array<double, 2>& from = *(after - 1);
    if (after == knots.end())
        return from[0] + (clockDays - clockAt(from)) / boat.Scale;
    const double slope = (clockAt(*after) - clockAt(from)) / ((*after)[0] - from[0]);
    return from[0] + (clockDays - clockAt(from)) / slope;
}

double RaceHandicap::ClockAtElapsed(int k, double elapsedDays) const
{
    const BoatHandicap& boat = Boats[static_cast<std::size_t>(k)];
    if (!IsTimeOnDistance(Rule.System))
        return elapsedDays * boat.Factor;
    const auto& knots = boat.Progress;
    double fraction = 0;
    if (!knots.empty() && elapsedDays > 0) {
        const auto after = std::upper_bound(knots.begin(), knots.end(), elapsedDays,
                                            [](double h, const std::array<double, 2>& knot) { return h < knot[0]; });
        const std::array<double, 2>& from = *(after - 1);
        fraction = after == knots.end()
                       ? from[1]
                       : from[1] + ((*after)[1] - from[1]) * (elapsedDays - from[0]) / ((*after)[0] - from[0]);
    }
    return boat.Scale * elapsedDays + (LargestAllowance - boat.Allowance) / kSecondsPerDay * fraction;
}

void ApplyRaceHandicap(RaceState& state, const Course* course)
{
    const HandicapLines lines =
        state.HandicapSource ? *state.HandicapSource : ReadRaceHandicapLines(state.RaceFileName);
    state.Handicap.reset();
    if (lines.Neutral())
        return;
    if (!lines.Boats.empty())
        RefuseTrackNamedTwice(state);
    auto handicap = std::make_shared<RaceHandicap>();
    handicap->Rule = lines.Effective();
    const HandicapSystem system = handicap->Rule.System;
    if (IsTimeOnDistance(system))
        handicap->DistanceNm = TimeOnDistanceNm(state, handicap->Rule, course);
    for (int k = 0; k < state.BoatCount; ++k) {
        BoatHandicap& boat = handicap->Boats[static_cast<std::size_t>(k)];
        const HandicapLines::Boat* line = lines.Find(TrimSpaces(state.EntryTrackFile[k]));
        if (line && line->Name)
            state.BoatName[k] = *line->Name;
        if (line && line->Value.Count != 0) {
            boat.Value = line->Value;
        } else if (system == HandicapSystem::Lys) {
            boat.Value = Rating{{state.BoatLys[k], 0}, 1};
        } else {
            throw Error((lines.Label.empty() ? FileLabel(CourseFilePath(state.RaceFileName)) : lines.Label) +
                        ": boat " + QuotedText(state.BoatName[k]) + " (" +
                        QuotedText(TrimSpaces(state.EntryTrackFile[k])) + ", line " +
                        std::to_string(state.EntryLine[k]) + " of " + FileLabel(state.RaceFileName) +
                        ") has no rating under " + std::string(HandicapSystemName(system)) + ": add a line \"rating " +
                        TrackFileWord(TrimSpaces(state.EntryTrackFile[k])) + " VALUE\"");
        }
        boat.Factor = TimeFactor(handicap->Rule, boat.Value);
        boat.Scale = TimeScale(handicap->Rule, boat.Value);
        boat.Allowance = AllowancePerNm(handicap->Rule, boat.Value) * handicap->DistanceNm;
        if (k == 0 || boat.Allowance > handicap->LargestAllowance)
            handicap->LargestAllowance = boat.Allowance;
    }
    state.Handicap = std::move(handicap);
}

void PrepareReplayHandicap(RaceState& state)
{
    ApplyRaceHandicap(state, nullptr);
    if (!state.Handicap || !IsTimeOnDistance(state.Handicap->Rule.System))
        return;
    auto handicap = std::make_shared<RaceHandicap>(*state.Handicap);
    const std::string path = CourseFilePath(state.RaceFileName);
    std::error_code error;
    const Course course = std::filesystem::exists(path, error) ? ReadCourseFile(path).Plan : Course{};
    if (course.Finish) {
        auto source = state.HandicapSource;
        if (!source)
            source = std::make_shared<const HandicapLines>(ReadRaceHandicapLines(state.RaceFileName));
        std::vector<BoatResult> results = RaceResults(state.RaceFileName, course, {}, source);
        std::stable_sort(results.begin(), results.end(),
                         [](const BoatResult& a, const BoatResult& b) { return a.EntryLine < b.EntryLine; });
        const CourseGeometry geometry(course);
        SetReplayClocks(*handicap, results, &geometry);
    } else {
        SetReplayClocks(*handicap, {}, nullptr);
    }
    state.Handicap = std::move(handicap);
}

std::vector<double> CourseFractions(const CourseGeometry& geometry)
{
    const std::size_t places = geometry.sequence().size();
    std::vector<double> fractions(places, 0.0);
    if (places == 0)
        return fractions;
    const double total = geometry.course().Start ? geometry.LegsFromStartNm() : geometry.LegsAfterNm(0);
    if (!(total > 0))
        return fractions;
    for (std::size_t i = 0; i < places; ++i)
        fractions[i] = std::clamp(1 - geometry.LegsAfterNm(i) / total, 0.0, 1.0);
    return fractions;
}

void SetReplayClocks(RaceHandicap& handicap, const std::vector<BoatResult>& results, const CourseGeometry* geometry)
{
    const std::vector<double> fractions = geometry ? CourseFractions(*geometry) : std::vector<double>{};
    for (auto& boat : handicap.Boats)
        boat.Progress.assign(1, {0.0, 0.0});
    for (std::size_t k = 0; k < results.size() && k < handicap.Boats.size(); ++k) {
        const BoatResult& result = results[k];
        auto& knots = handicap.Boats[k].Progress;
        const auto add = [&](double seconds, double fraction) {
            const double days = seconds / kSecondsPerDay;
            // Strictly later and never a smaller fraction: the clock rises.
            if (days > knots.back()[0])
                knots.push_back({days, std::max(fraction, knots.back()[1])});
        };
        for (const MarkRounding& rounding : result.Roundings)
            add(rounding.ElapsedSeconds, rounding.Place < fractions.size() ? fractions[rounding.Place] : 0.0);
        if (result.Finished)
            add(result.ElapsedSeconds, 1.0);
    }
}

} // namespace tideplot
