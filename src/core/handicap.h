#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Handicap systems: how a boat's elapsed time becomes its corrected time, the time the boats
// rank by and the replay's clock runs on.
//
//     lys          corrected = elapsed x LYS            the race file's numbers (the default)
//     tcf          corrected = elapsed x rating         a time correction factor: IRC's TCC,
//                                                       ORC's time-on-time, any factor
//     phrf-tot     corrected = elapsed x A / (B + rating)   US Sailing's PHRF time-on-time,
//                                                       A 650 and B 550 unless given
//     portsmouth   corrected = elapsed x 1000 / rating  the RYA's Portsmouth Yardstick (PN)
//     phrf-tod     corrected = elapsed - rating x distance   PHRF time-on-distance, the
//                                                       rating in seconds a nautical mile
//     orc-pl       corrected = PLT x elapsed - PLD x distance  ORC's performance line
//                                                       (the rating is the two numbers PLT PLD)
//
// Times are in seconds, distances in nautical miles. The first four are time-on-time: the
// corrected time is the elapsed time times a factor of the boat's. The last two are
// time-on-distance: they take the course's distance.
namespace tideplot {

enum class HandicapSystem { Lys, Tcf, PhrfTot, Portsmouth, PhrfTod, OrcPl };

// "lys", "tcf", "phrf-tot", "portsmouth", "phrf-tod", "orc-pl": the names the course file,
// the command line and the JSON use.
std::string_view HandicapSystemName(HandicapSystem system);
// The system of a name, in either case; nothing when it is none.
std::optional<HandicapSystem> HandicapSystemOfName(std::string_view name);
// The names, for messages: "lys, tcf, phrf-tot, portsmouth, phrf-tod or orc-pl".
std::string HandicapSystemNames();
// What the windows show: "LYS", "TCF (IRC, ORC time-on-time)", ...
std::string_view HandicapSystemCaption(HandicapSystem system);
inline constexpr HandicapSystem kHandicapSystems[] = {HandicapSystem::Lys,     HandicapSystem::Tcf,
                                                      HandicapSystem::PhrfTot, HandicapSystem::Portsmouth,
                                                      HandicapSystem::PhrfTod, HandicapSystem::OrcPl};

bool IsTimeOnDistance(HandicapSystem system);
// The numbers of a rating: 2 for orc-pl (PLT PLD), 1 for the others.
int RatingValueCount(HandicapSystem system);

// PHRF time-on-time's constants when the handicap line gives none.
inline constexpr double kPhrfTotA = 650;
inline constexpr double kPhrfTotB = 550;
// The longest course distance taken, in nautical miles.
inline constexpr double kMaxCourseDistanceNm = 100000;

// The race's system, with PHRF time-on-time's A and B, and the course distance when the
// course file gives one (a time-on-distance system otherwise takes the course's length).
struct Handicap {
    HandicapSystem System = HandicapSystem::Lys;
    double A = kPhrfTotA;
    double B = kPhrfTotB;
    std::optional<double> DistanceNm;

    bool operator==(const Handicap&) const = default;
};

// A boat's rating: one number, or PLT and PLD for orc-pl.
struct Rating {
    std::array<double, 2> Values{};
    int Count = 0; // 0: no rating

    bool operator==(const Rating&) const = default;
};

// The rating as the course file writes it: "1.025", "1.0377 623.4".
std::string RatingText(const Rating& rating);

// What is wrong with a rating under a system, or "" when nothing is: a count of numbers the
// system does not take, a number outside the system's range (LYS 0.01 to 100, factors 0.2 to
// 5, PHRF -100 to 400 seconds a mile, Portsmouth 500 to 2000, ORC's PLT 0.2 to 5 and PLD 0 to
// 3600 seconds a mile), B + rating not above 0 for phrf-tot.
std::string RatingProblem(const Handicap& handicap, const Rating& rating);

// What is wrong with a handicap's own numbers (A and B above 0, a distance above 0 and at
// most kMaxCourseDistanceNm), or "".
std::string HandicapProblem(const Handicap& handicap);

// A time-on-time system's factor for a rating: corrected = elapsed x factor (the rating's
// first number under lys and tcf, A / (B + rating), 1000 / rating).
double TimeFactor(const Handicap& handicap, const Rating& rating);

// The corrected time of `elapsedSeconds` sailed over `distanceNm` of the course (the
// course's distance at the finish; time-on-time systems do not take it).
double CorrectedSeconds(const Handicap& handicap, const Rating& rating, double elapsedSeconds, double distanceNm);

// A time-on-distance system's parts: corrected = TimeScale x elapsed - AllowancePerNm x
// distance (1 and the rating for phrf-tod, PLT and PLD for orc-pl).
double TimeScale(const Handicap& handicap, const Rating& rating);
double AllowancePerNm(const Handicap& handicap, const Rating& rating);

// The "handicap ..." line of a handicap: "handicap portsmouth", "handicap phrf-tot 650 550"
// (A and B written only when either differs from the usual ones).
std::string HandicapLine(const Handicap& handicap);

} // namespace tideplot
