#pragma once

#include "analysis/raceanalysis.h"

#include <string>
#include <vector>

// The tables `tideplot analyse` prints: columns as wide as their widest text (counted in
// characters), the first `left` columns aligned left and the others right, two blanks apart.
namespace tideplot {

std::string TextTable(const std::vector<std::vector<std::string>>& rows, std::size_t left);

// The start: the line against the wind at the gun, then a row per boat (its distance to the
// line, where along it, its speed, the seconds late, OCS); nothing without a start line.
std::string StartTable(const RaceAnalysis& race);

// The legs: a row per boat and leg (times from the boat's gun); nothing without a course.
std::string LegsTable(const RaceAnalysis& race);

} // namespace tideplot
