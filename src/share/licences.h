#pragma once

#include <QString>

namespace tideplot {

// The licence of Tideplot ("GNU General Public License, version 3 or later") and the
// third-party libraries with their licences, as docs/third-party-licences.md says, plus
// the FFmpeg this copy runs with (its libavcodec's licence and H.264 encoder): the text of
// the About box's details.
QString ThirdPartyLicencesText();

} // namespace tideplot
