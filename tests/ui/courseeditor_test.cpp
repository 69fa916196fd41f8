// Chart > Course... as a user meets it: the table typed into with the keyboard and saved into
// the course file, its faults said, marks dragged and placed on the chart and put back with
// Undo, a proposal filling the table, every control reached by the keyboard.
#include "core/coursefile.h"
#include "core/error.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "support/racefiles.h"
#include "ui/courseeditor.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace tideplot::testing {
namespace {

class QuietDialogs : public UserDialogs {
public:
    QString askFileName(const QString&, const QString&, FileQuestion, const QString&) override { return {}; }
    std::optional<QStringList> askTexts(const QString&, const QString&, const QStringList&, const QStringList&) override
    {
        return std::nullopt;
    }
    SaveAnswer askToSave(const QString& question) override
    {
        asked.push_back(question);
        return answer;
    }
    bool askYesNo(const QString&, const QString&, const QString&) override { return false; }
    void tell(const QString& text, MessageKind) override { told.push_back(text); }
    std::unique_ptr<ProgressReport> showProgress(const QString&, ProgressKind) override { return nullptr; }

    SaveAnswer answer = SaveAnswer::Discard;
    QStringList asked, told;
};

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* const kCourseFile = "# club race\r\nwind 225\r\nmark W 57.61 11.51 starboard\r\nfinish 57.6 11.5 57.6 11.52\r\n";

// A race folder with its course file, the chart that draws the course, and the Course window.
struct Editing {
    TempDir dir;
    std::string race = dir.write("race.TP1", {"Elsa.txt"});
    ChartApplication chart;
    QuietDialogs dialogs;
    std::vector<Course> saved;
    std::unique_ptr<CourseEditor> editor;

    explicit Editing(std::function<Course()> propose = {})
    {
        dir.writeBytes("race.TP1.course", kCourseFile);
        chart.window()->resize(500, 400);
        chart.window()->show();
        chart.SetCamera(chart.cameraShowing(57.595, 11.495, 57.615, 11.525, chart.widget()->size()), 10);
        CourseEditor::Hooks hooks{std::move(propose), [this](const Course& c) { saved.push_back(c); }};
        editor = std::make_unique<CourseEditor>(race, ReadCourse(race), &chart, dialogs, std::move(hooks));
        editor->show();
        editor->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    }
    QTableWidget* table() const { return editor->findChild<QTableWidget*>("tblCourse"); }
    QString cell(int row, int column) const { return table()->item(row, column)->text(); }
    QString status() const { return editor->findChild<QLabel*>("lblStatus")->text(); }
    void click(const char* button) const { QTest::mouseClick(editor->findChild<QPushButton*>(button), Qt::LeftButton); }
    std::string courseFile() const { return Slurp(dir.file("race.TP1.course")); }

    // Clicks the cell, F2, its text replaced by `text` (a list box's item chosen by typing), Return.
    void type(int row, int column, const QString& text) const
    {
        QTableWidget* t = table();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualRect(t->model()->index(row, column)).center());
        QTest::keyClick(t, Qt::Key_F2);
        QWidget* box = QApplication::focusWidget();
        ASSERT_NE(box, t) << "no editor opened in row " << row << ", column " << column;
        if (!qobject_cast<QComboBox*>(box)) { // a list box would take Ctrl+A for a letter to look for
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            if (text.isEmpty())
                QTest::keyClick(box, Qt::Key_Delete);
        }
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
        QCoreApplication::processEvents(); // the table takes the text on its next turn
    }
    // Where the chart shows a position.
    QPoint onChart(double lat, double lon) const
    {
        const ChartWidget* w = chart.widget();
        return w->viewport(w->size()).projectedToScreen().map(ProjectLatLon(lat, lon)).toPoint();
    }
};

// A mark and a gate added, a start line and the laps typed: Save writes them into the course
// file in place of its course lines, the note and the unknown line kept; the chart draws it.
TEST(CourseEditor, ATypedCourseIsSavedKeepingTheFilesOtherLines)
{
    Editing e;
    ASSERT_EQ(e.table()->rowCount(), 3) << "start line, W, finish line";
    EXPECT_EQ(e.cell(1, kCourseName), "W");
    EXPECT_EQ(e.cell(2, kCourseLon2), "11.52");
    e.table()->setCurrentCell(1, kCourseName);
    e.click("cmdAddGate");
    e.click("cmdAddMark");
    ASSERT_EQ(e.table()->rowCount(), 5);
    EXPECT_EQ(e.cell(2, kCourseName), "G1");
    EXPECT_EQ(e.cell(3, kCourseName), "M1");
    const struct {
        int row, column;
        const char* text;
    } typed[] = {
        {0, kCourseLat1, "57.6"}, {0, kCourseLon1, "11.52"},  {0, kCourseLat2, "57.6"},  {0, kCourseLon2, "11.5"},
        {2, kCourseLat1, "57.59"}, {2, kCourseLon1, "11.5"},  {2, kCourseLat2, "57.59"}, {2, kCourseLon2, "11.502"},
        {3, kCourseName, "L"},     {3, kCourseLat1, "57.595"}, {3, kCourseLon1, "11.51"}, {3, kCourseSide, "starboard"},
    };
    for (const auto& t : typed)
        e.type(t.row, t.column, QString::fromLatin1(t.text));
    EXPECT_EQ(e.cell(3, kCourseSide), "starboard");
    QSpinBox* laps = e.editor->findChild<QSpinBox*>("spnLaps");
    laps->setFocus();
    QTest::keyClick(laps, Qt::Key_Up);
    EXPECT_EQ(e.courseFile(), kCourseFile) << "nothing is written before Save";
    e.click("cmdSave");
    EXPECT_EQ(e.courseFile(), "# club race\r\nwind 225\r\nstart 57.6 11.52 57.6 11.5\r\nmark W 57.61 11.51 starboard\r\n"
                              "gate G1 57.59 11.5 57.59 11.502\r\nmark L 57.595 11.51 starboard\r\nlaps 2\r\n"
                              "finish 57.6 11.5 57.6 11.52\r\n")
        << e.status().toStdString();
    ASSERT_EQ(e.saved.size(), 1u);
    EXPECT_EQ(e.saved[0], ReadCourse(e.race));
    EXPECT_EQ(e.chart.widget()->course(), e.saved[0]) << "the chart draws the saved course";

    // Moved up, L is sailed before the gate.
    e.table()->setCurrentCell(3, kCourseName);
    e.click("cmdMoveUp");
    e.click("cmdSave");
    EXPECT_EQ(ReadCourse(e.race).Sequence().size(), 6u);
    EXPECT_EQ(ReadCourse(e.race).Marks[ReadCourse(e.race).Lap()[1]].Name, "L") << e.courseFile();
}

// A fault typed in a cell is said in the status line naming the row, and Save writes nothing.
TEST(CourseEditor, TypedFaultsAreSaidAndNothingIsSaved)
{
    const struct {
        int row, column;
        const char* text;
        const char* said;
    } cases[] = {
        {1, kCourseLat1, "57,61", "Row 2 (W): \"57,61\" is no latitude: type decimal degrees with \".\" as the decimal point"},
        {1, kCourseLon1, "191", "Row 2 (W): the longitude 191 is off the globe (-180 to 180, east positive)"},
        {1, kCourseLat1, "", "Row 2 (W): its latitude is missing"},
        {1, kCourseName, "two words", "Row 2 (two words): a mark's name is one word"},
        {0, kCourseLat1, "57.7", "The start line: its longitude is missing"},
        {2, kCourseLon2, "11.5", "The finish line has zero length"},
        {2, kCourseLon1, "", "The finish line: its longitude is missing"},
    };
    for (const auto& c : cases) {
        Editing e;
        e.type(c.row, c.column, QString::fromLatin1(c.text));
        EXPECT_TRUE(e.status().contains(QString::fromLatin1(c.said))) << c.said << "\n" << e.status().toStdString();
        e.click("cmdSave");
        EXPECT_EQ(e.courseFile(), kCourseFile) << c.said;
        EXPECT_TRUE(e.saved.empty());
        EXPECT_EQ(e.table()->currentRow(), c.row) << "Save goes to the faulty cell: " << c.said;
    }
}

// W dragged on the chart and placed by a click: the table takes each new position, Undo puts
// it back on the table and the chart; the buoys are drawn in their side's colour.
TEST(CourseEditor, MarksDraggedAndPlacedOnTheChartAreUndone)
{
    Editing e;
    ChartWidget* w = e.chart.widget();
    const QPoint w0 = e.onChart(57.61, 11.51);
    EXPECT_EQ(w->renderImage(w->size()).pixelColor(w0), QColor(0x16, 0xa3, 0x4a)) << "W is left to starboard: green";
    e.type(1, kCourseSide, QStringLiteral("port"));
    EXPECT_EQ(w->renderImage(w->size()).pixelColor(w0), QColor(0xd8, 0x23, 0x2a)) << "to port: red";

    QTest::mousePress(w, Qt::LeftButton, {}, w0 + QPoint(2, 1));
    QTest::mouseMove(w, w0 + QPoint(30, 20));
    QTest::mouseRelease(w, Qt::LeftButton, {}, w0 + QPoint(42, 21));
    EXPECT_NE(e.cell(1, kCourseLat1), "57.61");
    EXPECT_NE(e.cell(1, kCourseLon1), "11.51");
    ASSERT_TRUE(w->course());
    EXPECT_LT(w->course()->Marks[0].Lat, 57.61) << "dragged down the chart";
    EXPECT_LE((e.onChart(w->course()->Marks[0].Lat, w->course()->Marks[0].Lon) - w0 - QPoint(42, 21)).manhattanLength(), 1)
        << "where it was let go";
    e.editor->activateWindow();
    QTest::keyClick(e.editor.get(), Qt::Key_N, Qt::AltModifier); // Undo's mnemonic
    EXPECT_TRUE(QTest::qWaitFor([&] { return e.cell(1, kCourseLat1) == "57.61"; }, 2000));
    EXPECT_EQ(e.cell(1, kCourseLon1), "11.51");
    EXPECT_EQ(w->course()->Marks[0].Lat, 57.61);
    EXPECT_FALSE(e.editor->findChild<QPushButton*>("cmdUndo")->isEnabled()) << "nothing more to undo";

    e.table()->setCurrentCell(1, kCourseName);
    e.click("cmdPlace");
    QTest::mouseClick(w, Qt::LeftButton, {}, e.onChart(57.605, 11.505));
    EXPECT_NEAR(e.cell(1, kCourseLat1).toDouble(), 57.605, 1e-4);
    EXPECT_NEAR(e.cell(1, kCourseLon1).toDouble(), 11.505, 1e-4);
    e.editor->activateWindow();
    QTest::keyClick(e.editor.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e.cell(1, kCourseLat1), "57.61") << "Ctrl+Z takes the placing back";

    // Closed unsaved (the changes discarded when asked): the chart draws the saved course again.
    QTest::keyClick(e.editor.get(), Qt::Key_Escape);
    EXPECT_EQ(e.dialogs.asked.size(), 1);
    EXPECT_FALSE(e.editor->isVisible());
    EXPECT_EQ(w->course(), ReadCourse(e.race));
    EXPECT_EQ(e.courseFile(), kCourseFile);
}

// Propose from tracks fills the table (the finish line kept) and nothing reaches the file
// until Save; a proposal that cannot be made is said.
TEST(CourseEditor, AProposalFillsTheTableAndOnlySaveKeepsIt)
{
    bool fails = true;
    Editing e([&] {
        if (fails)
            throw Error("The tracks are still being analysed: try again in a moment.");
        Course c;
        c.Start = FinishLine{57.6, 11.52, 57.6, 11.5};
        c.Marks = {{"P1", false, MarkSide::Port, 57.62, 11.51}, {"P2", false, MarkSide::Port, 57.597, 11.512}};
        c.Laps = 3;
        return c;
    });
    e.click("cmdPropose");
    EXPECT_EQ(e.status(), "The tracks are still being analysed: try again in a moment.");
    EXPECT_EQ(e.table()->rowCount(), 3);
    fails = false;
    e.click("cmdPropose");
    ASSERT_EQ(e.table()->rowCount(), 4);
    EXPECT_EQ(e.cell(1, kCourseName), "P1");
    EXPECT_EQ(e.cell(3, kCourseLat1), "57.6") << "the finish line stays";
    EXPECT_EQ(e.editor->findChild<QSpinBox*>("spnLaps")->value(), 3);
    EXPECT_TRUE(e.status().startsWith("Proposed from the tracks")) << e.status().toStdString();
    EXPECT_EQ(e.courseFile(), kCourseFile);
    e.click("cmdSave");
    EXPECT_EQ(e.courseFile(), "# club race\r\nwind 225\r\nstart 57.6 11.52 57.6 11.5\r\nmark P1 57.62 11.51 port\r\n"
                              "mark P2 57.597 11.512 port\r\nlaps 3\r\nfinish 57.6 11.5 57.6 11.52\r\n");
}

// Tab goes from control to control and reaches every one, each with an accessible name.
TEST(CourseEditor, TheKeyboardReachesEveryNamedControl)
{
    Editing e;
    e.table()->setCurrentCell(1, kCourseName); // a mark's row: every button can act
    std::set<QWidget*> controls;
    for (QWidget* w : e.editor->findChildren<QWidget*>())
        if (qobject_cast<QPushButton*>(w) || qobject_cast<QSpinBox*>(w) || qobject_cast<QTableWidget*>(w)) {
            controls.insert(w);
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    e.table()->setFocus();
    std::set<QWidget*> reached;
    for (int i = 0; i < 40; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        reached.insert(focus);
        if (auto* spin = qobject_cast<QSpinBox*>(focus->parentWidget()))
            reached.insert(spin);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    for (QWidget* w : controls) {
        if (w->isEnabled()) {
            EXPECT_TRUE(reached.count(w)) << w->objectName().toStdString() << " is not reached by Tab";
        }
    }
}

} // namespace
} // namespace tideplot::testing
