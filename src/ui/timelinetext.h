#pragma once

#include "replay/timelinebudget.h"

#include <QString>

#include <cstddef>
#include <exception>
#include <string>

// What the windows say of the replay's timeline against its memory budget.
namespace tideplot {

// "12.3 MB", "256 MB".
std::string MegabytesText(std::size_t bytes);

// Why a timeline does not fit its budget: the steps, the bytes and the finest resolution that
// fits ("the race takes 1201 steps at a resolution of 3 s, and its timeline would need ...").
QString OverBudgetText(const TimelineVerdict& verdict);

// What a failure of the replay says: the verdict of a timeline beyond its budget, or what().
QString ReplayFailureText(const std::exception& failure);

} // namespace tideplot
