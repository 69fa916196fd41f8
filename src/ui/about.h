#pragma once

#include <QString>

// What Help > About says: the version and where the README and the FAQ are.
namespace tideplot {

// "Version 1.0.10", then the README's and the FAQ's addresses where the program finds them
// on this computer (or that the documentation is not installed).
QString AboutText();

} // namespace tideplot
