#include "share/licences.h"

#include "core/error.h"
#include "share/ffmpeglibraries.h"

#include <QFile>

namespace tideplot {

QString ThirdPartyLicencesText()
{
    QFile file(QStringLiteral(":/tideplot/third-party-licences.md"));
    QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                  : QStringLiteral("Tideplot is free software under the GNU General "
                                                                   "Public License, version 3 or later.\n");
    const FFmpegLibraries* av = nullptr;
    try {
        av = &FFmpeg();
    } catch (const Error& e) {
        return text + QStringLiteral("\nThis copy finds no FFmpeg to write videos with: %1.\n")
                          .arg(QString::fromLocal8Bit(e.what()));
    }
    const unsigned version = av->avcodec_version();
    const AVCodec* x264 = av->avcodec_find_encoder_by_name("libx264");
    const AVCodec* openh264 = av->avcodec_find_encoder_by_name("libopenh264");
    text += QStringLiteral("\nThis copy runs with libavcodec %1.%2.%3 (%4); its H.264 encoder: %5.\n")
                .arg(AV_VERSION_MAJOR(version))
                .arg(AV_VERSION_MINOR(version))
                .arg(AV_VERSION_MICRO(version))
                .arg(QString::fromUtf8(av->avcodec_license()))
                .arg(x264       ? QStringLiteral("libx264 (GNU GPL version 2 or later)")
                     : openh264 ? QStringLiteral("libopenh264 (BSD 2-clause)")
                                : QStringLiteral("none"));
    return text;
}

} // namespace tideplot
