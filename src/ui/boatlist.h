#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The boat list of the set-up window as a model: its rows (boat entry lines, bytes in
// the system's 8-bit code page) and the remembered position that Delete removes. The
// window shows it; the rules live here.
namespace tideplot {

// The texts of the four edit boxes: start time, LYS number, colour number, separator.
struct EntryBoxes {
    std::string StartTime;
    std::string Lys;
    std::string Colour;
    std::string SepChar;
};

class BoatList {
public:
    const std::vector<std::string>& rows() const { return rows_; }
    int size() const { return static_cast<int>(rows_.size()); }

    // The row the list highlights: the position last selected in the list (0 at start, -1
    // when the selection was cleared) when it points at a row, else -1. Add, Change, Delete
    // and the race file do not reset the position.
    int highlightedRow() const;

    // The user selected `row` (-1: none). Returns the boxes to show, or false for -1.
    bool select(int row, EntryBoxes& shown);

    // Appends "FOLDER<sep>FILE , START , LYS , COLOUR , SEP", the boxes as typed, where
    // <sep> is `separator` (the folder of a root already ends in it and so gives it twice).
    // Does nothing and returns false when the folder or the file name is empty.
    bool add(std::string_view folder, std::string_view fileName, char separator, const EntryBoxes& boxes);

    // Replaces the highlighted row by its track file joined with the boxes, moved to the
    // end of the list. Returns false when no row is highlighted.
    bool change(const EntryBoxes& boxes);

    // Removes the row at SelectedIndex when it points at one; returns whether it did.
    bool remove();

    void setRows(std::vector<std::string> rows) { rows_ = std::move(rows); }

private:
    std::vector<std::string> rows_;
    int selectedIndex_ = 0;
};

// The boxes that show a row: field 1 as "YYYY-MM-DD hh:mm:ss" when it reads as a date
// and time (unchanged otherwise), fields 2 and 3 unchanged with their blanks, and the
// last character of the row as the separator (a blank too, so that Change keeps it).
EntryBoxes BoxesOfRow(std::string_view row);

// The window colour (0x00BBGGRR) of the colour swatch for a colour text: the colour of
// its leading number rounded to a whole number; white off the scale.
std::uint32_t SwatchColour(std::string_view colourText);

} // namespace tideplot
