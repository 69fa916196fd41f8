#include "share/licences.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tideplot {

QString ThirdPartyLicencesText()
{
    QFile file(QStringLiteral(":/tideplot/third-party-licences.md"));
    QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                  : QStringLiteral("Tideplot is free software under the GNU General "
                                                                   "Public License, version 3 or later.\n");
    const unsigned version = avcodec_version();
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    const AVCodec* openh264 = avcodec_find_encoder_by_name("libopenh264");
    text += QStringLiteral("\nThis copy runs with libavcodec %1.%2.%3 (%4); its H.264 encoder: %5.\n")
                .arg(AV_VERSION_MAJOR(version))
                .arg(AV_VERSION_MINOR(version))
                .arg(AV_VERSION_MICRO(version))
                .arg(QString::fromUtf8(avcodec_license()))
                .arg(x264       ? QStringLiteral("libx264 (GNU GPL version 2 or later)")
                     : openh264 ? QStringLiteral("libopenh264 (BSD 2-clause)")
                                : QStringLiteral("none"));
    return text;
}

} // namespace tideplot
