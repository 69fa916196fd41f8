#include "ui/handicappanel.h"

#include "core/coursefile.h"
#include "core/error.h"
#include "core/text.h"
#include "ui/dialogs.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>

namespace tideplot {

namespace {

using K = ControlKind;
// The system above the boat list, on the tool bar's strip; the name and rating below the
// start time and LYS boxes, in the tab order after the separator box.
constexpr ControlRow kPanelRows[] = {
    {"lblHandicap", K::Label, 7200, 150, 1000, 255, "Hand&icap", "", 14},
    {"cboHandicap", K::DriveList, 8220, 90, 3300, 315, "", "The handicap system the race is scored by", 14},
    {"lblName", K::Label, 2760, 2880, 2040, 255, "&Name", "", 10},
    {"txtName", K::TextBox, 2760, 3120, 2040, 285, "", "The boat's name as the tables and the legend show it", 10},
    {"lblRating", K::Label, 4860, 2880, 1875, 255, "&Rating", "", 10},
    {"txtRating", K::TextBox, 4860, 3120, 1875, 285, "",
     "The boat's rating under the race's handicap system (PLT PLD under ORC's performance line)", 10},
};

std::string Bytes(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString Text(const std::string& bytes)
{
    return QString::fromUtf8(bytes);
}

// The rating typed: blank-separated numbers ("," taken as a decimal point in a box of one
// number); none for an empty box.
std::optional<Rating> TypedRating(const QString& typed, std::string& problem)
{
    Rating rating;
    const QStringList words = typed.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.size() > 2) {
        problem = "a rating is one number, or two (PLT PLD) under ORC's performance line";
        return std::nullopt;
    }
    for (QString word : words) {
        if (words.size() == 1 && word.count(u',') == 1 && !word.contains(u'.'))
            word.replace(u',', u'.');
        double value = 0;
        if (!TryNumberOfText(Bytes(word), value)) {
            problem = "the rating " + QuotedText(Bytes(word)) + " is no number";
            return std::nullopt;
        }
        rating.Values[static_cast<std::size_t>(rating.Count++)] = value;
    }
    return rating;
}

} // namespace

std::string RowTrackFile(const std::string& row)
{
    return std::string(TrimSpaces(GetField(row, 0, ',')));
}

HandicapPanel::HandicapPanel(QWidget* form, UserDialogs& dialogs)
    : cboHandicap(MakeControl<QComboBox>(form, QStringLiteral("cboHandicap"))),
      txtRating(MakeControl<QLineEdit>(form, QStringLiteral("txtRating"))),
      txtName(MakeControl<QLineEdit>(form, QStringLiteral("txtName"))),
      lblHandicap(MakeControl<QLabel>(form, QStringLiteral("lblHandicap"))),
      lblRating(MakeControl<QLabel>(form, QStringLiteral("lblRating"))),
      lblName(MakeControl<QLabel>(form, QStringLiteral("lblName"))), dialogs_(dialogs)
{
    for (const HandicapSystem system : kHandicapSystems)
        cboHandicap->addItem(Text(std::string(HandicapSystemCaption(system))), static_cast<int>(system));
    cboHandicap->setAccessibleName(QStringLiteral("Handicap system"));
    txtRating->setAccessibleName(QStringLiteral("Rating"));
    txtName->setAccessibleName(QStringLiteral("Name"));
    lblHandicap->setBuddy(cboHandicap);
    lblRating->setBuddy(txtRating);
    lblName->setBuddy(txtName);
    txtRating->setEnabled(false); // LYS: the LYS box is the rating
    QObject::connect(cboHandicap, &QComboBox::activated, cboHandicap, [this] { systemChosen(); });
}

std::span<const ControlRow> HandicapPanel::Layout()
{
    return kPanelRows;
}

Handicap HandicapPanel::chosen() const
{
    Handicap handicap = lines_.Effective();
    handicap.System = static_cast<HandicapSystem>(cboHandicap->currentData().toInt());
    return handicap;
}

void HandicapPanel::load(const std::string& raceFile)
{
    race_ = raceFile;
    lines_ = HandicapLines{};
    if (!raceFile.empty()) {
        try {
            lines_ = ReadRaceHandicapLines(raceFile);
        } catch (const Error& e) {
            dialogs_.tell(QString::fromLocal8Bit(e.what()) +
                              QStringLiteral("\n\nThe race's handicap is shown as none; saving writes the one shown."),
                          MessageKind::Warning);
        }
    }
    saved_ = lines_;
    cboHandicap->setCurrentIndex(static_cast<int>(lines_.Effective().System));
    txtRating->setEnabled(lines_.Effective().System != HandicapSystem::Lys);
    txtRating->clear();
    txtName->clear();
}

void HandicapPanel::systemChosen()
{
    const Handicap handicap = chosen();
    // LYS without a handicap line stays without one, as the file said it.
    if (handicap.System != HandicapSystem::Lys || lines_.Rule)
        lines_.Rule = handicap;
    txtRating->setEnabled(handicap.System != HandicapSystem::Lys);
    QStringList problems;
    for (const HandicapLines::Boat& boat : lines_.Boats)
        if (boat.Value.Count != 0)
            if (const std::string problem = RatingProblem(handicap, boat.Value); !problem.empty())
                problems << Text(boat.TrackFile + ": " + problem);
    if (!problems.isEmpty())
        dialogs_.tell(QStringLiteral("These ratings do not fit %1; type each boat's rating under it and press "
                                     "Change:\n\n%2")
                          .arg(cboHandicap->currentText(), problems.join(u'\n')),
                      MessageKind::Warning);
}

void HandicapPanel::showRow(const std::string& row)
{
    const HandicapLines::Boat* boat = lines_.Find(RowTrackFile(row));
    const bool lys = chosen().System == HandicapSystem::Lys;
    txtRating->setText(boat && boat->Value.Count != 0 && !lys ? Text(RatingText(boat->Value)) : QString());
    txtName->setText(boat && boat->Name ? Text(*boat->Name) : QString());
    txtRating->setCursorPosition(0);
    txtName->setCursorPosition(0);
}

bool HandicapPanel::checkTyped()
{
    const Handicap handicap = chosen();
    if (handicap.System == HandicapSystem::Lys)
        return true;
    std::string problem;
    const std::optional<Rating> rating = TypedRating(txtRating->text(), problem);
    if (rating && rating->Count != 0)
        problem = RatingProblem(handicap, *rating);
    if (problem.empty())
        return true;
    dialogs_.tell(QStringLiteral("Rating under %1: %2").arg(cboHandicap->currentText(), Text(problem)),
                  MessageKind::Warning);
    txtRating->setFocus();
    return false;
}

bool HandicapPanel::takeRow(const std::string& row)
{
    const std::string track = RowTrackFile(row);
    if (track.empty())
        return true;
    if (!checkTyped())
        return false;
    std::string problem;
    const std::optional<Rating> rating = TypedRating(txtRating->text(), problem);
    const QString name = txtName->text().simplified();
    HandicapLines::Boat& boat = lines_.Entry(track);
    if (chosen().System != HandicapSystem::Lys) {
        boat.Value = rating.value_or(Rating{});
        boat.RatingLine = 0;
    }
    boat.Name = name.isEmpty() ? std::nullopt : std::optional<std::string>(Bytes(name));
    return true;
}

bool HandicapPanel::save(const std::string& path, const std::vector<std::string>& oldRows,
                         const std::vector<std::string>& newRows)
{
    // Only the boats of the list, by the track files the race file now names.
    HandicapLines out;
    out.Rule = lines_.Rule;
    out.DistanceNm = lines_.DistanceNm;
    for (std::size_t i = 0; i < oldRows.size() && i < newRows.size(); ++i) {
        const HandicapLines::Boat* boat = lines_.Find(RowTrackFile(oldRows[i]));
        if (!boat || (boat->Value.Count == 0 && !boat->Name) || out.Find(RowTrackFile(newRows[i])))
            continue;
        HandicapLines::Boat& into = out.Entry(RowTrackFile(newRows[i]));
        into.Value = boat->Value;
        into.Name = boat->Name;
    }
    try {
        SaveHandicapLines(path, out);
    } catch (const Error& e) {
        dialogs_.tell(QString::fromLocal8Bit(e.what()), MessageKind::Error);
        return false;
    }
    race_ = path;
    lines_ = out;
    saved_ = out;
    return true;
}

bool HandicapPanel::modified() const
{
    return HandicapTextLines(lines_) != HandicapTextLines(saved_);
}

QString HandicapPanel::rowText(const std::string& row) const
{
    const QString text = QString::fromLocal8Bit(row);
    const HandicapLines::Boat* boat = lines_.Find(RowTrackFile(row));
    if (!boat || !boat->Name)
        return text;
    return text + QStringLiteral("    ") + Text(*boat->Name);
}

} // namespace tideplot
