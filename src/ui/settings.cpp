#include "ui/settings.h"

#include <QSettings>

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

void WriteMainPlacement(QSettings& settings, const WindowPlacement& placement)
{
    settings.beginGroup(QString::fromLatin1(kSettingsGroup));
    const float values[] = {placement.Left, placement.Top, placement.Width, placement.Height};
    for (std::size_t i = 0; i < kMainPlacementKeys.size(); ++i)
        settings.setValue(QString::fromLatin1(kMainPlacementKeys[i].Key), SettingText(values[i]));
    settings.endGroup();
    settings.sync();
}

} // namespace tideplot
