#include "ui/settings.h"

#include <QSettings>
#include <QString>

#include <charconv>
#include <cmath>

namespace tideplot {

std::unique_ptr<QSettings> OpenUserSettings()
{
    return std::make_unique<QSettings>(QSettings::UserScope, QString::fromLatin1(kProgramTitle),
                                       QString::fromLatin1(kProgramTitle));
}

namespace {

float ReadValue(QSettings& settings, const SettingKey& key)
{
    const QVariant value = settings.value(QString::fromLatin1(key.Key));
    if (!value.isValid())
        return key.Default;
    bool ok = false;
    const float number = value.toString().trimmed().toFloat(&ok);
    return ok && std::isfinite(number) ? number : key.Default;
}

} // namespace

WindowPlacement ReadMainPlacement(QSettings& settings)
{
    settings.beginGroup(QString::fromLatin1(kSettingsGroup));
    WindowPlacement p;
    p.Left = ReadValue(settings, kMainPlacementKeys[0]);
    p.Top = ReadValue(settings, kMainPlacementKeys[1]);
    p.Width = ReadValue(settings, kMainPlacementKeys[2]);
    p.Height = ReadValue(settings, kMainPlacementKeys[3]);
    settings.endGroup();
    return p;
}

QString SettingText(float value)
{
    if (value == std::trunc(value) && std::fabs(value) < 1e9f)
        return QString::number(static_cast<long long>(value));
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QString::fromLatin1(text, end - text);
}

bool HasStoredMainSize(QSettings& settings)
{
    settings.beginGroup(QString::fromLatin1(kSettingsGroup));
    const bool stored = settings.contains(QString::fromLatin1(kMainPlacementKeys[2].Key)) &&
                        settings.contains(QString::fromLatin1(kMainPlacementKeys[3].Key));
    settings.endGroup();
    return stored;
}

QByteArray ReadMainGeometry(QSettings& settings)
{
    settings.beginGroup(QString::fromLatin1(kSettingsGroup));
    const QByteArray geometry = settings.value(QString::fromLatin1(kMainGeometryKey)).toByteArray();
    settings.endGroup();
    return geometry;
}

QString WriteMainPlacement(QSettings& settings, const WindowPlacement& placement, const QByteArray& geometry)
{
    settings.beginGroup(QString::fromLatin1(kSettingsGroup));
    const float values[] = {placement.Left, placement.Top, placement.Width, placement.Height};
    for (std::size_t i = 0; i < kMainPlacementKeys.size(); ++i)
        settings.setValue(QString::fromLatin1(kMainPlacementKeys[i].Key), SettingText(values[i]));
    if (!geometry.isEmpty())
        settings.setValue(QString::fromLatin1(kMainGeometryKey), geometry);
    settings.endGroup();
    return SyncSettings(settings);
}

QString SyncSettings(QSettings& settings)
{
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("The settings cannot be written to %1 (no permission, a read-only or full disk): "
                              "the window's place and size are not kept for the next start.")
            .arg(settings.fileName());
    case QSettings::FormatError:
        return QStringLiteral("The settings file %1 is damaged and cannot be read or written: the window's place "
                              "and size are not kept for the next start.")
            .arg(settings.fileName());
    }
    return {};
}

ReplayMemorySetting ReadReplayMemory(QSettings& settings)
{
    const QVariant value = settings.value(QString::fromLatin1(kReplayMemoryKey));
    if (!value.isValid())
        return {};
    const QString text = value.toString().trimmed();
    bool ok = false;
    const int megabytes = text.toInt(&ok);
    if (ok && megabytes >= kMinReplayMemoryMB && megabytes <= kMaxReplayMemoryMB)
        return {static_cast<std::size_t>(megabytes) << 20, {}};
    ReplayMemorySetting fallback;
    const QString range = QStringLiteral("%1 to %2").arg(kMinReplayMemoryMB).arg(kMaxReplayMemoryMB);
    fallback.Warning =
        QStringLiteral("The setting %1 is %2: the replay uses %3 MB.")
            .arg(QString::fromLatin1(kReplayMemoryKey),
                 ok ? QStringLiteral("%1, out of its range of %2 megabytes").arg(megabytes).arg(range)
                    : QStringLiteral("\"%1\", not a whole number of megabytes from %2").arg(text, range))
            .arg(kDefaultReplayMemoryMB);
    return fallback;
}

} // namespace tideplot
