// The handicap in the windows, as a user meets it: the set-up window's system, each row's
// rating and name kept through Change and Save into the course file (its other lines kept),
// refused ratings told, and the Results window saying the system and showing the names.
#include "core/course.h"
#include "core/coursefile.h"
#include "support/racefiles.h"
#include "ui/dialogs.h"
#include "ui/frmmain.h"
#include "ui/frmresults.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tideplot::testing {
namespace {

// Keeps what the windows tell; answers file names and save questions from a script.
class NotedDialogs : public UserDialogs {
public:
    QString askFileName(const QString&, const QString&, FileQuestion, const QString&) override
    {
        if (answers.empty())
            return {};
        const QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<QStringList> askTexts(const QString&, const QString&, const QStringList&, const QStringList&) override
    {
        return std::nullopt;
    }
    SaveAnswer askToSave(const QString&) override { return SaveAnswer::Discard; }
    bool askYesNo(const QString&, const QString&, const QString&) override { return false; }
    void tell(const QString& text, MessageKind) override { told.push_back(text); }
    std::unique_ptr<ProgressReport> showProgress(const QString&, ProgressKind) override
    {
        struct Silent : ProgressReport {
            void setProgress(std::int64_t, std::int64_t) override {}
        };
        return std::make_unique<Silent>();
    }
    std::deque<QString> answers;
    std::vector<QString> told;
};

// A track line at `seconds` after 12:00 on 2008-06-21, at 57.61 N.
std::string Fix(double lon, int seconds)
{
    char line[96];
    std::snprintf(line, sizeof line, "57.6100000,%.7f,20080621,%s", lon, Hms(12 * 3600 + seconds).c_str());
    return line;
}

class HandicapWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& [name, elapsed] : {std::pair{"elsa.txt", 3600}, std::pair{"saga.txt", 3700}})
            dir.write(name, {"lat,lon,date,time", Fix(11.49, 0), Fix(11.499, elapsed - 10), Fix(11.501, elapsed + 10)});
        race = dir.write(
            "race.TP1", {"elsa.txt , 2008-06-21 12:00:00 , 1 , 0 , ,", "saga.txt , 2008-06-21 12:00:00 , 1 , 100 , ,"});
        dir.write("race.TP1.course",
                  {"# our club", "handicap portsmouth", "rating elsa.txt 1100", "name elsa.txt SWE 1 <b>Elsa</b>",
                   "rating saga.txt 1000", "finish 57.60 11.50 57.62 11.50"});
        FrmMain::Options options;
        options.settings = &settings;
        options.dialogs = &dialogs;
        main = std::make_unique<FrmMain>(std::move(options));
        main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        ASSERT_TRUE(main->openRaceFile(QString::fromStdString(race)));
    }
    template <class W> W* find(const char* name) const
    {
        W* w = main->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void clickRow(int row)
    {
        auto* list = find<QListWidget>("lstBoats");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    void type(const char* name, const QString& text)
    {
        auto* box = find<QLineEdit>(name);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }

    TempDir dir;
    QSettings settings{QString::fromStdString(dir.file("settings.ini")), QSettings::IniFormat};
    NotedDialogs dialogs;
    std::unique_ptr<FrmMain> main;
    std::string race;
};

TEST_F(HandicapWindows, RatingsAndNamesGoThroughChangeAndSaveIntoTheCourseFile)
{
    auto* system = find<QComboBox>("cboHandicap");
    EXPECT_EQ(system->currentText(), "Portsmouth Yardstick");
    auto* list = find<QListWidget>("lstBoats");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(0)->text().endsWith("SWE 1 <b>Elsa</b>")) << list->item(0)->text().toStdString();
    clickRow(0);
    EXPECT_EQ(find<QLineEdit>("txtRating")->text(), "1100");
    EXPECT_EQ(find<QLineEdit>("txtName")->text(), "SWE 1 <b>Elsa</b>");

    // A rating outside the yardstick's range is told and changes nothing.
    type("txtRating", "3000");
    click("cmdChange");
    ASSERT_FALSE(dialogs.told.empty());
    EXPECT_TRUE(dialogs.told.back().contains("outside 500 to 2000")) << dialogs.told.back().toStdString();
    EXPECT_TRUE(list->item(0)->text().endsWith("SWE 1 <b>Elsa</b>"));

    // Change moves the row to the end; its rating and name go with it.
    type("txtRating", "1050");
    type("txtName", QStringLiteral("SWE 1 Elsa Ö"));
    click("cmdChange");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(1)->text().endsWith(QStringLiteral("SWE 1 Elsa Ö")));
    clickRow(0);
    EXPECT_EQ(find<QLineEdit>("txtRating")->text(), "1000");
    EXPECT_EQ(find<QLineEdit>("txtName")->text(), "");

    // The system chosen by keyboard, then File > Save.
    system->setFocus();
    QTest::keyClick(system, Qt::Key_Up); // PHRF time-on-time
    QTest::keyClick(system, Qt::Key_Up); // TCF
    EXPECT_EQ(system->currentText().left(3), "TCF");
    EXPECT_TRUE(dialogs.told.back().contains("do not fit")) << dialogs.told.back().toStdString();
    QTest::keyClick(system, Qt::Key_Down);
    QTest::keyClick(system, Qt::Key_Down); // back to Portsmouth
    main->findChild<QAction*>(QStringLiteral("mnuFileSave"))->trigger();
    const std::string course = Slurp(race + ".course");
    EXPECT_EQ(course, "# our club\r\nhandicap portsmouth\r\nrating saga.txt 1000\r\nrating elsa.txt 1050\r\n"
                      "name elsa.txt SWE 1 Elsa Ö\r\nfinish 57.60 11.50 57.62 11.50\r\n");
    EXPECT_FALSE(main->hasUnsavedChanges());

    // Opened again, the window shows what was saved.
    ASSERT_TRUE(main->openRaceFile(QString::fromStdString(race)));
    clickRow(1);
    EXPECT_EQ(find<QLineEdit>("txtRating")->text(), "1050");
    EXPECT_EQ(find<QLineEdit>("txtName")->text(), QStringLiteral("SWE 1 Elsa Ö"));
}

TEST_F(HandicapWindows, EveryControlHasANameAndTheLysBoxStaysForLys)
{
    for (const char* name : {"cboHandicap", "txtRating", "txtName"})
        EXPECT_FALSE(find<QWidget>(name)->accessibleName().isEmpty()) << name;
    auto* system = find<QComboBox>("cboHandicap");
    system->setFocus();
    QTest::keyClick(system, Qt::Key_Home); // LYS: the LYS box is the rating
    EXPECT_EQ(system->currentText(), "LYS");
    EXPECT_FALSE(find<QLineEdit>("txtRating")->isEnabled());
    EXPECT_TRUE(find<QLineEdit>("txtLYStal")->isEnabled());
    EXPECT_TRUE(main->hasUnsavedChanges());
}

TEST_F(HandicapWindows, ResultsSayTheSystemAndShowNamesAsText)
{
    FrmResults results(dialogs);
    Course course;
    course.Finish = FinishLine{57.60, 11.50, 57.62, 11.50};
    results.showResults(race, course, QStringLiteral("the course file"));
    auto* line = results.findChild<QLabel*>(QStringLiteral("lblLine"));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->text().contains("Handicap: Portsmouth Yardstick")) << line->text().toStdString();
    EXPECT_EQ(line->textFormat(), Qt::PlainText);
    auto* table = results.findChild<QTableView*>(QStringLiteral("lstResults"));
    ASSERT_NE(table, nullptr);
    QAbstractItemModel* model = table->model();
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Rating");
    // Saga: 3700 s at 1000 is 1:01:40; Elsa: 3600 s at 1100 is 0:54:33, first.
    EXPECT_EQ(model->index(0, 1).data().toString(), "SWE 1 <b>Elsa</b>");
    EXPECT_EQ(model->index(0, 2).data().toString(), "1100");
    EXPECT_EQ(model->index(0, 6).data().toString(), "0:54:33");
    EXPECT_EQ(model->index(1, 6).data().toString(), "1:01:40");
}

} // namespace
} // namespace tideplot::testing
