#pragma once

#include "core/handicapfile.h"
#include "ui/formlayout.h"

#include <QString>

#include <span>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

// The set-up window's handicap: the race's system (a choice above the boat list) and, for the
// highlighted row, its rating and its name (boxes beside the LYS box). They are kept by the
// row's track file, so Change, which moves a row, keeps them, and they are saved in the race's
// course file with the race file (the handicap's lines replaced, every other line kept).
namespace tideplot {

class UserDialogs;

class HandicapPanel {
public:
    HandicapPanel(QWidget* form, UserDialogs& dialogs);

    // The controls as designed, for the window's layout table.
    static std::span<const ControlRow> Layout();

    // The handicap lines of the race file's course file, or none for an empty name; a course
    // file whose lines cannot be read is told, and its handicap is taken as none (its lines
    // are kept when saving only when they read).
    void load(const std::string& raceFile);
    const std::string& loadedRace() const { return race_; }

    // The rating and name of the row's track file in their boxes.
    void showRow(const std::string& row);
    // The same for row `row` of `rows` (nothing for a row that is not there).
    void showRow(const std::vector<std::string>& rows, int row)
    {
        if (row >= 0 && static_cast<std::size_t>(row) < rows.size())
            showRow(rows[static_cast<std::size_t>(row)]);
    }
    // The typed rating and name taken for the row's track file. Tells what is wrong and
    // returns false when the rating is no rating of the system.
    bool takeRow(const std::string& row);
    // Whether the boxes hold a rating the system takes (or none), told when not.
    bool checkTyped();

    // Saves the lines into the course file of the race file `path`, each row's lines by its
    // track file as `newRows` write it (`oldRows`, the same rows before they were saved, name
    // the track files as the panel knows them). Tells and returns false when it cannot.
    bool save(const std::string& path, const std::vector<std::string>& oldRows,
              const std::vector<std::string>& newRows);
    // Whether the system, a rating or a name differs from the course file as last read or
    // written.
    bool modified() const;

    // The text of a row in the boat list: the row, and its name after it when it has one.
    QString rowText(const std::string& row) const;

    QComboBox* cboHandicap = nullptr;
    QLineEdit* txtRating = nullptr;
    QLineEdit* txtName = nullptr;
    QLabel* lblHandicap = nullptr;
    QLabel* lblRating = nullptr;
    QLabel* lblName = nullptr;

private:
    void systemChosen();
    Handicap chosen() const;

    UserDialogs& dialogs_;
    std::string race_;
    HandicapLines lines_;
    HandicapLines saved_;
};

// The track file of a boat list row, as the race file writes it (its first field, blanks
// trimmed).
std::string RowTrackFile(const std::string& row);

} // namespace tideplot
