#pragma once

#include "ui/boatlist.h"
#include "ui/dialogs.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

// The File menu of the set-up window: which race file the boat list belongs to, New, Open,
// Close, Save and Save As, and the question before unsaved rows are dropped. The window
// shows the list and the title; the rules of the race file live here.
namespace tideplot {

class RaceFileMenu {
public:
    // What the menu asks of the window.
    struct Window {
        std::function<void()> showRows;            // the list, its highlighted row and the title, anew
        std::function<void(bool)> setStartEnabled; // Start
        std::function<QString()> browserFolder;    // the folder the track browser shows
        std::function<void()> rowsSaved;           // saving selects the last row, which the boxes then show
        std::function<void()> rowsOpened;          // the highlighted row of a race opened shows its fields
        // Saves what the race keeps beside the race file (its course file's handicap) for the
        // race file `path`, its rows before and as saved; false when it could not (told).
        std::function<bool(const std::string& path, const std::vector<std::string>& before,
                           const std::vector<std::string>& saved)>
            saveBeside;
        std::function<bool()> besideModified; // whether that differs from what was read or saved
    };

    RaceFileMenu(BoatList& boats, UserDialogs& dialogs, Window window);

    // The race file of the list (bytes; empty before New, Open or Save).
    const std::string& raceFile() const { return raceFile_; }
    QString raceFileName() const;
    // Whether the rows differ from those last read or written.
    bool modified() const
    {
        return boats_.rows() != savedRows_ || (window_.besideModified && window_.besideModified());
    }
    // Whether the boat list differs from the race file on disk (or holds rows that were
    // never saved).
    bool hasUnsavedChanges() const;
    // Asks "Save the changes to RACE?" when the list differs from the race file; true when
    // the operation that asked may go on (saved, discarded, or nothing to save).
    bool maybeSave();

    void newRace();
    void open();
    // Opens the race file at `path`; tells the user and changes nothing when it cannot be
    // read. Rows that will not replay are shown all the same, and one message names them.
    bool openFile(const QString& path);
    void close();
    void save();
    void saveAs();

private:
    QString askRaceFileName(const QString& title, FileQuestion question);
    void setRaceFile(const std::string& path, std::vector<std::string> rows);
    bool saveRaceFile(const std::string& path);
    // The rows that will not replay, told in one message; false when there are such rows.
    bool checkRows();
    void enableStart();

    BoatList& boats_;
    UserDialogs& dialogs_;
    Window window_;
    std::string raceFile_;
    std::vector<std::string> savedRows_; // the race file's rows as last read or written
};

} // namespace tideplot
