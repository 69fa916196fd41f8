#pragma once

#include "ui/formlayout.h"

#include <QString>

#include <span>
#include <string>

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QWidget;

// The track browser of the set-up window: the drives (the roots of the mounted volumes),
// the folder list (the path from the root down to the current folder, then that folder's
// subfolders, opened with a double click) and the files of that folder matching "*.txt"
// in any case. Selecting a file shows its first lines in the preview.
namespace tideplot {

class UserDialogs;

inline constexpr int kPreviewLines = 41;

// The first `maxLines` lines of the file at `path` (bytes, as the system names it), each
// followed by CR LF; lines may end in CR LF, LF or CR. Throws Error naming the file when
// it cannot be read.
std::string TrackPreview(const std::string& path, int maxLines = kPreviewLines);

class TrackBrowser {
public:
    // Makes the three lists as children of `form`, showing the process's current folder.
    TrackBrowser(QWidget* form, QPlainTextEdit* preview, UserDialogs& dialogs);

    // The rows of the three lists for the window's layout table.
    static std::span<const ControlRow> Layout();

    // The current folder as the system writes it ("/" for the root), and the name alone of
    // the selected file (empty when none is selected).
    QString folderPath() const;
    QString selectedFileName() const;

    // Opens `path` in the folder list, as a double click does. Tells the user and returns
    // false when the folder cannot be read.
    bool openFolder(const QString& path);
    // Opens the folder of the file at `path` and selects the file there, which shows it in
    // the preview; false when the folder cannot be read or does not list the file.
    bool showFile(const QString& path);

    QComboBox* Drive1;
    QListWidget* File1;
    QListWidget* Dir1;

private:
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void fillDrives();
    void showDriveOf(const QString& path);

    QPlainTextEdit* preview_;
    UserDialogs& dialogs_;
    QString folder_;
};

} // namespace tideplot
