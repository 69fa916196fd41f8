// The race analysis on simulated races whose wind and manoeuvres are known (tools/racesim.h).
#include "analysis/raceanalysis.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "racesim.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using testing::TempDir;

struct Scores {
    int trueCount = 0, foundCount = 0, matched = 0;
    double windError = 0;
    double medianLoss = 0, medianLossError = 0;
    double speedP95 = 0, courseP95 = 0, speedMax = 0, courseMax = 0;
    bool windKnown = false;
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

RaceAnalysis Analyse(const racesim::TrueRace& truth, std::optional<double> wind = std::nullopt)
{
    RaceState state;
    state.RaceFileName = truth.RaceFile.string();
    StartReplay(state);
    const auto boats = BoatSources(state);
    CloseTrackFiles(state);
    AnalysisOptions options;
    options.WindFromDeg = wind;
    return AnalyseRace(boats, options);
}

Scores Score(const racesim::TrueRace& truth, const RaceAnalysis& race)
{
    Scores s;
    s.windKnown = race.Wind.Known;
    s.windError = std::fabs(AngleDifference(race.Wind.FromDeg, truth.WindFromDeg));
    std::vector<double> losses, lossErrors, speedErrors, courseErrors;
    for (std::size_t k = 0; k < truth.Boats.size(); ++k) {
        const auto& trueBoat = truth.Boats[k];
        const auto& boat = race.Boats[k];
        std::vector<bool> used(boat.Manoeuvres.size(), false);
        for (const auto& m : boat.Manoeuvres)
            if (m.Kind != ManoeuvreKind::Turn)
                ++s.foundCount;
        for (const auto& t : trueBoat.Manoeuvres) {
            if (t.Kind == "turn")
                continue;
            ++s.trueCount;
            const ManoeuvreKind kind = t.Kind == "tack" ? ManoeuvreKind::Tack : ManoeuvreKind::Gybe;
            std::size_t best = used.size();
            for (std::size_t i = 0; i < boat.Manoeuvres.size(); ++i) {
                const auto& m = boat.Manoeuvres[i];
                if (!used[i] && m.Kind == kind && std::fabs(m.MiddleSeconds - t.MiddleSeconds) <= 10 &&
                    (best == used.size() || std::fabs(m.MiddleSeconds - t.MiddleSeconds) <
                                                std::fabs(boat.Manoeuvres[best].MiddleSeconds - t.MiddleSeconds)))
                    best = i;
            }
            if (best == used.size()) {
                if (std::getenv("ANALYSIS_DEBUG")) {
                    std::printf("  missed boat %zu %s at %.1f (turn %.1f, start %.1f end %.1f):", k + 1, t.Kind.c_str(),
                                t.MiddleSeconds, t.TurnDeg, t.StartSeconds, t.EndSeconds);
                    for (const auto& m : boat.Manoeuvres)
                        if (std::fabs(m.MiddleSeconds - t.MiddleSeconds) < 60)
                            std::printf(" [%s %.1f turn %.1f %.0f->%.0f]",
                                        std::string(ManoeuvreKindName(m.Kind)).c_str(), m.MiddleSeconds,
                                        boat.Motion.Turns[m.TurnIndex].TurnDeg, m.CourseBeforeDeg, m.CourseAfterDeg);
                    for (const auto& u : trueBoat.Manoeuvres)
                        if (&u != &t && std::fabs(u.MiddleSeconds - t.MiddleSeconds) < 90)
                            std::printf(" {true %s %.1f turn %.1f}", u.Kind.c_str(), u.MiddleSeconds, u.TurnDeg);
                    std::printf("\n");
                }
                continue;
            }
            used[best] = true;
            ++s.matched;
            if (kind == ManoeuvreKind::Tack && std::getenv("LOSS_DEBUG")) {
                const auto& m = boat.Manoeuvres[best];
                const auto& u = boat.Motion.Turns[m.TurnIndex];
                std::printf("  loss true %5.1f est %5.1f | start true %.1f est %.1f | end true %.1f est %.1f rec %.1f "
                            "| mid %.1f/%.1f\n",
                            t.LossMetres, m.LossMetres, t.StartSeconds, u.StartSeconds, t.EndSeconds, u.EndSeconds,
                            u.RecoveredSeconds, t.MiddleSeconds, m.MiddleSeconds);
            }
            if (kind == ManoeuvreKind::Tack) {
                losses.push_back(t.LossMetres);
                lossErrors.push_back(std::fabs(boat.Manoeuvres[best].LossMetres - t.LossMetres));
            }
        }
        // Steady stretches: 30 s from any manoeuvre's start to a minute after its end.
        const auto& samples = boat.Motion.Samples;
        std::size_t j = 0;
        for (const auto& f : trueBoat.Fixes) {
            bool steady = f.Seconds > -100;
            for (const auto& t : trueBoat.Manoeuvres)
                if (f.Seconds > t.StartSeconds - 30 && f.Seconds < t.EndSeconds + 60)
                    steady = false;
            while (j < samples.size() && samples[j].Seconds < f.Seconds)
                ++j;
            if (!steady || j >= samples.size() || samples[j].Seconds != f.Seconds)
                continue;
            speedErrors.push_back(std::fabs(samples[j].SpeedKn - f.SpeedKn));
            if (std::getenv("ANALYSIS_DEBUG") &&
                (speedErrors.back() > 0.45 || std::fabs(AngleDifference(samples[j].CourseDeg, f.CourseDeg)) > 6)) {
                double nearest = 1e9;
                const char* kind = "";
                for (const auto& t : trueBoat.Manoeuvres)
                    if (std::fabs(t.MiddleSeconds - f.Seconds) < std::fabs(nearest)) {
                        nearest = f.Seconds - t.MiddleSeconds;
                        kind = t.Kind.c_str();
                    }
                std::printf("  steady boat %zu t=%d sog %.2f true %.2f cog %.1f true %.1f; nearest %s %+.0f s", k + 1,
                            f.Seconds, samples[j].SpeedKn, f.SpeedKn, samples[j].CourseDeg, f.CourseDeg, kind, nearest);
                for (const auto& u : boat.Motion.Turns)
                    if (std::fabs(u.HalfSeconds - f.Seconds) < 120)
                        std::printf(" [turn %.0f..%.0f rec %.0f %.0f deg]", u.StartSeconds, u.EndSeconds,
                                    u.RecoveredSeconds, u.TurnDeg);
                std::printf("\n");
            }
            courseErrors.push_back(std::fabs(AngleDifference(samples[j].CourseDeg, f.CourseDeg)));
        }
    }
    s.medianLoss = Percentile(losses, 0.5);
    s.medianLossError = Percentile(lossErrors, 0.5);
    s.speedP95 = Percentile(speedErrors, 0.95);
    s.courseP95 = Percentile(courseErrors, 0.95);
    s.speedMax = Percentile(speedErrors, 1);
    s.courseMax = Percentile(courseErrors, 1);
    return s;
}

struct Case {
    const char* name;
    racesim::RaceOptions options;
};

TEST(AnalysisExplore, Scores)
{
    std::vector<Case> cases;
    auto add = [&](const char* name, auto change) {
        racesim::RaceOptions o;
        o.Boats = 6;
        o.Hours = 1.5;
        change(o);
        cases.push_back({name, o});
    };
    add("1s", [](auto&) {});
    add("1s clean", [](auto& o) {
        o.NoiseMetres = 0;
        o.DriftMetres = 0;
    });
    add("1s white2", [](auto& o) { o.DriftMetres = 0; });
    add("1s drift2", [](auto& o) { o.NoiseMetres = 0.3; });
    add("1s white3", [](auto& o) {
        o.DriftMetres = 0;
        o.NoiseMetres = 3;
        o.Seed = 7;
    });
    add("2s wind 40", [](auto& o) {
        o.IntervalMin = o.IntervalMax = 2;
        o.WindFromDeg = 40;
        o.Seed = 2;
    });
    add("1s noise3 fast", [](auto& o) {
        o.NoiseMetres = 3;
        o.SpeedScale = 1.5;
        o.WindFromDeg = 310;
        o.Seed = 3;
    });
    add("1s slow wing", [](auto& o) {
        o.SpeedScale = 0.6;
        o.WingMark = true;
        o.WindFromDeg = 100;
        o.Seed = 4;
    });
    add("5-7s lost", [](auto& o) {
        o.IntervalMin = 5;
        o.IntervalMax = 7;
        o.LostShare = 0.1;
        o.WindFromDeg = 170;
        o.Seed = 5;
    });
    add("deep runners", [](auto& o) {
        o.DownwindMinDeg = 8;
        o.DownwindMaxDeg = 15;
        o.WindFromDeg = 75;
        o.Seed = 8;
    });
    add("asymmetric", [](auto& o) {
        o.DownwindMinDeg = 35;
        o.DownwindMaxDeg = 50;
        o.WindFromDeg = 130;
        o.Seed = 9;
    });
    add("slow tacks", [](auto& o) {
        o.TurnRateMin = 3;
        o.TurnRateMax = 4;
        o.WindFromDeg = 290;
        o.Seed = 10;
    });
    add("fast tacks 2s", [](auto& o) {
        o.TurnRateMin = 15;
        o.TurnRateMax = 25;
        o.IntervalMin = o.IntervalMax = 2;
        o.Seed = 11;
    });
    add("fast clean 1s", [](auto& o) {
        o.TurnRateMin = 15;
        o.TurnRateMax = 25;
        o.NoiseMetres = 0;
        o.DriftMetres = 0;
        o.Seed = 11;
    });
    add("fast white 1s", [](auto& o) {
        o.TurnRateMin = 15;
        o.TurnRateMax = 25;
        o.DriftMetres = 0;
        o.Seed = 11;
    });
    add("fast drift 1s", [](auto& o) {
        o.TurnRateMin = 15;
        o.TurnRateMax = 25;
        o.NoiseMetres = 0.3;
        o.Seed = 11;
    });
    add("fast white3 2s", [](auto& o) {
        o.TurnRateMin = 10;
        o.TurnRateMax = 15;
        o.DriftMetres = 0;
        o.NoiseMetres = 3;
        o.IntervalMin = o.IntervalMax = 2;
        o.Seed = 14;
    });
    add("racegen noise 1s", [](auto& o) {
        o.TurnRateMin = 10;
        o.TurnRateMax = 10;
        o.DriftMetres = 3;
        o.NoiseMetres = 0.25;
        o.Seed = 15;
    });
    add("racegen noise 2s", [](auto& o) {
        o.TurnRateMin = 10;
        o.TurnRateMax = 10;
        o.DriftMetres = 3;
        o.NoiseMetres = 0.25;
        o.IntervalMin = o.IntervalMax = 2;
        o.Seed = 16;
    });
    add("no swing 3 boats", [](auto& o) {
        o.WindSwingDeg = 0;
        o.Boats = 3;
        o.Hours = 0.5;
        o.Seed = 12;
    });
    add("wide angles", [](auto& o) {
        o.UpwindMinDeg = 45;
        o.UpwindMaxDeg = 52;
        o.Seed = 13;
        o.WindFromDeg = 181;
    });
    add("10s", [](auto& o) {
        o.IntervalMin = o.IntervalMax = 10;
        o.WindFromDeg = 0;
        o.Seed = 6;
    });
    for (const Case& c : cases) {
        TempDir dir;
        racesim::RaceOptions o = c.options;
        o.Out = dir.path();
        const auto truth = racesim::WriteRace(o);
        const auto race = Analyse(truth);
        const Scores s = Score(truth, race);
        const auto given = Score(truth, Analyse(truth, truth.WindFromDeg));
        std::printf(
            "%-16s wind %s %5.1f (err %4.1f, %d+%d) | recall %5.3f precision %5.3f (%d true %d found) | "
            "loss med %5.1f err %4.1f (given wind: recall %5.3f prec %5.3f err %4.1f) | sog p95 %4.2f max %4.2f "
            "cog p95 %4.1f max %4.1f\n",
            c.name, s.windKnown ? "est" : "unk", race.Wind.FromDeg, s.windError, race.Wind.Tacks, race.Wind.Gybes,
            s.trueCount ? double(s.matched) / s.trueCount : 0, s.foundCount ? double(s.matched) / s.foundCount : 0,
            s.trueCount, s.foundCount, s.medianLoss, s.medianLossError,
            given.trueCount ? double(given.matched) / given.trueCount : 0,
            given.foundCount ? double(given.matched) / given.foundCount : 0, given.medianLossError, s.speedP95,
            s.speedMax, s.courseP95, s.courseMax);
    }
}

} // namespace
} // namespace tideplot
