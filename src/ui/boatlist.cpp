#include "ui/boatlist.h"

#include "core/colour.h"
#include "core/datetime.h"
#include "core/error.h"
#include "core/records.h"
#include "core/text.h"

namespace tideplot {

int BoatList::highlightedRow() const
{
    return selectedIndex_ >= 0 && selectedIndex_ < size() ? selectedIndex_ : -1;
}

bool BoatList::select(int row, EntryBoxes& shown)
{
    selectedIndex_ = row >= 0 && row < size() ? row : -1;
    if (selectedIndex_ < 0)
        return false;
    shown = BoxesOfRow(rows_[static_cast<std::size_t>(selectedIndex_)]);
    return true;
}

bool BoatList::add(std::string_view folder, std::string_view fileName, char separator, const EntryBoxes& boxes)
{
    if (folder.empty() || fileName.empty())
        return false;
    std::string path(folder);
    path += separator;
    path += fileName;
    rows_.push_back(BoatEntryLine(path, boxes.StartTime, boxes.Lys, boxes.Colour, boxes.SepChar));
    return true;
}

bool BoatList::change(const EntryBoxes& boxes)
{
    const int row = highlightedRow();
    if (row < 0)
        return false;
    // The track file without the blank that stood before its ",": the entry keeps its
    // path however often it is changed.
    const std::string trackFile(TrimTrailingSpaces(GetField(rows_[static_cast<std::size_t>(row)], 0, ',')));
    rows_.erase(rows_.begin() + row);
    rows_.push_back(BoatEntryLine(trackFile, boxes.StartTime, boxes.Lys, boxes.Colour, boxes.SepChar));
    return true;
}

bool BoatList::remove()
{
    if (rows_.empty() || selectedIndex_ < 0 || selectedIndex_ >= size())
        return false;
    rows_.erase(rows_.begin() + selectedIndex_);
    return true;
}

EntryBoxes BoxesOfRow(std::string_view row)
{
    EntryBoxes boxes;
    const std::string_view start = GetField(row, 1, ',');
    double date = 0;
    boxes.StartTime = TryDateValueFromText(start, date) ? DateText(date) : std::string(start);
    boxes.Lys = GetField(row, 2, ',');
    boxes.Colour = GetField(row, 3, ',');
    // The separator is the row's last character, as the replay reads it: a blank too.
    boxes.SepChar = row.empty() ? std::string() : std::string(1, row.back());
    return boxes;
}

std::uint32_t SwatchColour(std::string_view colourText)
{
    std::int32_t number = -1; // off the scale: white
    try {
        number = RoundToInt32(LeadingNumber(colourText));
    } catch (const Error&) {
    }
    return WindowColour(ColourHex(number));
}

} // namespace tideplot
