#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <memory>

class QSettings;

// What the program keeps between runs: the set-up window's place and size, and the
// memory a replay may use.
namespace tideplot {

inline constexpr const char* kProgramTitle = "Tideplot1";
inline constexpr const char* kSettingsGroup = "Settings";

// One stored value: its key and the value taken when it is missing or no number.
struct SettingKey {
    const char* Key;
    float Default;
};

// The set-up window's outer frame in twips: left and top on the screen, width and
// height with frame and title bar.
struct WindowPlacement {
    float Left = 1000;
    float Top = 1000;
    float Width = 6500;
    float Height = 6500;
};

inline constexpr std::array<SettingKey, 4> kMainPlacementKeys{{
    {"MainLeft", 1000},
    {"MainTop", 1000},
    {"MainWidth", 6500},
    {"MainHeight", 6500},
}};

// The window system's own record of the set-up window's place, size and state
// (QWidget::saveGeometry), kept beside the four values: it restores the window exactly,
// frame and all, so that it opens the same however often the program starts.
inline constexpr const char* kMainGeometryKey = "MainGeometry";

// The most memory a replay's timeline may hold, in megabytes (a race whose steps need
// more at the chosen resolution is refused at Play): a whole number from 16 to 65536, 256
// when missing. A value out of that range, or no whole number, also gives 256, and
// `Warning` says so ("The setting Replay/MemoryMB is 15, ..."); empty otherwise.
inline constexpr const char* kReplayMemoryKey = "Replay/MemoryMB";
inline constexpr int kDefaultReplayMemoryMB = 256;
inline constexpr int kMinReplayMemoryMB = 16;
inline constexpr int kMaxReplayMemoryMB = 65536;
struct ReplayMemorySetting {
    std::size_t Bytes = std::size_t{kDefaultReplayMemoryMB} << 20;
    QString Warning;
};
ReplayMemorySetting ReadReplayMemory(QSettings& settings);

// The user's own settings store (application "Tideplot1").
std::unique_ptr<QSettings> OpenUserSettings();

// Reads the four values from the group "Settings"; a missing value or one that is no
// number gives its default.
WindowPlacement ReadMainPlacement(QSettings& settings);
// Whether the store holds a width and a height of the window (not so on a first start).
bool HasStoredMainSize(QSettings& settings);
// The stored window record; empty when there is none.
QByteArray ReadMainGeometry(QSettings& settings);

// Writes the four values to the group "Settings" as the text of single-precision numbers,
// and the window record beside them, then writes the store to disk. Returns what went
// wrong when the store could not be written (a read-only or full disk), else an empty text.
QString WriteMainPlacement(QSettings& settings, const WindowPlacement& placement, const QByteArray& geometry = {});

// Writes `settings` to disk and says what went wrong, or an empty text when all went well.
QString SyncSettings(QSettings& settings);

// The text of a stored value: plain digits for whole numbers ("1000", "-15"), otherwise
// the shortest text that reads back as the same single-precision number.
QString SettingText(float value);

} // namespace tideplot
