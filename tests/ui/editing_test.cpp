// Assembling a race in the set-up window, the race file through the File menu and the tool
// bar, the import button, and a race built by hand replayed as the command line replays it.
#include "core/colour.h"
#include "ui_test_support.h"

#include <QLabel>

#include <csignal>
#include <fstream>

#include <sys/resource.h>

namespace tideplot::testing {
namespace {

const std::string kSample = TIDEPLOT_SOURCE_DIR "/examples/sample-race/";

// A folder whose name holds å, ä and ö, with one track file.
struct RaceFolder {
    TempDir dir;
    std::string folder = dir.file("Seglingar åäö");
    RaceFolder()
    {
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/boat1.txt") << "57.1,11.2,20070101,123000\r\n";
    }
    std::string file(const std::string& name) const { return folder + "/" + name; }
};

QColor Swatch(Window& w)
{
    auto* label = w.find<QLabel>("lblColor");
    return label->autoFillBackground() ? label->palette().color(QPalette::Window) : QColor();
}

QColor Colour(int number)
{
    const std::uint32_t c = WindowColour(ColourHex(number));
    return QColor(WindowColourRed(c), WindowColourGreen(c), WindowColourBlue(c));
}

TEST(Editing, AddSelectChangeAndDeleteAsTheUserSeesThem)
{
    Window w;
    RaceFolder race;
    w.openFolder(Q(race.folder));
    w.click("cmdAdd");
    EXPECT_TRUE(w.listRows().empty()) << "no file selected: nothing added";

    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    const std::string row = race.folder + "/boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,";
    ASSERT_EQ(w.main->boats().rows(), std::vector<std::string>{row});
    EXPECT_EQ(w.highlighted(), 0) << "Delete would remove the first row: it is highlighted";

    // The swatch shows the colour of the number typed, rounded half to even; white off the scale.
    const std::pair<const char*, QColor> swatches[] = {{"300", Colour(300)},   {"abc", Colour(0)},
                                                       {"100.5", Colour(100)}, {"101.5", Colour(102)},
                                                       {"1e20", Qt::white},    {"2000", Qt::white}};
    for (const auto& [text, colour] : swatches) {
        w.type("txtColor", text);
        EXPECT_EQ(Swatch(w), colour) << text;
    }
    w.type("txtLYStal", "1.20");
    w.click("cmdAdd");
    w.type("txtLYStal", "1.30");
    w.click("cmdAdd");
    ASSERT_EQ(w.listRows().size(), 3u);

    // Selecting a row shows its fields; the swatch follows.
    w.clickRow("lstBoats", 0);
    EXPECT_EQ(Swatch(w), Colour(100));

    // Change keeps the track file as it is and moves the row to the end.
    w.type("txtColor", "511");
    w.click("cmdChange");
    w.clickRow("lstBoats", 2);
    w.click("cmdChange");
    EXPECT_EQ(w.main->boats().rows().back(), race.folder + "/boat1.txt , 2007-01-01 12:30:00 ,   1.10   ,  511  , ,");

    // Delete twice removes the highlighted row and then the one that moved up; the boxes stay.
    w.clickRow("lstBoats", 1);
    const QString lys = w.text("txtLYStal");
    w.click("cmdDelete");
    EXPECT_EQ(w.highlighted(), 1);
    EXPECT_EQ(w.text("txtLYStal"), lys);
    w.click("cmdDelete");
    EXPECT_EQ(w.highlighted(), -1);
    w.click("cmdDelete");
    ASSERT_EQ(w.listRows().size(), 1u);
    EXPECT_NE(w.main->boats().rows()[0].find(" 1.20 "), std::string::npos);
}

TEST(RaceFileMenu, SaveOpenRoundTripRowsInTheBoxesAndStartFollowsTheFile)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race åäö.TP1");
    // Each row and its boxes when selected: the start time in full when it reads as one, the
    // separator without blanks.
    const struct {
        std::string row;
        std::vector<std::string> boxes;
    } rows[] = {{race.folder + "/boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,",
                 {"2007-01-01 12:30:00", " 1.10 ", " 100 ", ","}},
                {"b.txt , 2007-1-1 9:05 , 1 , 2 , ;", {"2007-01-01 09:05:00", " 1 ", " 2 ", ";"}},
                {"b.txt , tomorrow , 1 , 2 , ;", {" tomorrow ", " 1 ", " 2 ", ";"}},
                {"", {"", "", "", ""}},
                {"b.txt , 2008-06-21 11:00:00 , 1 , 2 ,  ", {"2008-06-21 11:00:00", " 1 ", " 2 ", ","}},
                {"b.txt , 2008-06-21 11:00:00 , 1 , 2 , \t", {"2008-06-21 11:00:00", " 1 ", " 2 ", "\t"}}};
    w.openFolder(Q(race.folder));

    // Save with no race file asks for one; a cancelled dialog changes nothing.
    w.dialogs.answers = {""};
    w.menu("mnuFileSave");
    ASSERT_EQ(w.dialogs.asked.size(), 1u);
    EXPECT_EQ(w.dialogs.asked[0].title, "Save as");
    EXPECT_EQ(w.dialogs.asked[0].filter, "All Files (*.TP1)");
    EXPECT_EQ(w.dialogs.asked[0].kind, FileQuestion::Save);
    EXPECT_TRUE(w.main->raceFileName().isEmpty());

    // A file with a byte order mark and every kind of line end, the last line without one,
    // opens row by row; Save as writes CR LF.
    std::string mixed = "\xEF\xBB\xBF", text;
    const char* ends[] = {"\r\n", "\r", "\n", "\r\n", "\n", ""};
    for (int row = 0; row < 6; ++row) {
        mixed += rows[row].row + ends[row];
        text += rows[row].row + "\r\n";
    }
    w.dialogs.answers = {Q(race.file("mixed.TP1")), Q(path)};
    std::ofstream(race.file("mixed.TP1"), std::ios::binary) << mixed;
    w.toolBar("Open");
    EXPECT_EQ(w.dialogs.asked.back().title, "Open");
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());
    EXPECT_EQ(w.highlighted(), 0);
    w.toolBar("Save as");
    EXPECT_EQ(Slurp(path), text);
    EXPECT_EQ(w.main->raceFileName(), Q(path));
    EXPECT_EQ(w.highlighted(), 5) << "the last row ends selected and shown";
    EXPECT_EQ(w.text("txtSepChar"), "\t");
    for (int row = 0; row < 6; ++row) {
        w.clickRow("lstBoats", row);
        std::vector<std::string> boxes;
        for (const char* box : {"txtStarttid", "txtLYStal", "txtColor", "txtSepChar"})
            boxes.push_back(w.text(box).toStdString());
        EXPECT_EQ(boxes, rows[row].boxes) << rows[row].row;
    }

    // An empty race file: an empty list and Start disabled; Save of an empty list empties the file.
    std::ofstream(race.file("empty.TP1"));
    w.dialogs.answers = {Q(race.file("empty.TP1"))};
    w.toolBar("Open");
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    w.dialogs.answers = {Q(race.file("other.TP1"))};
    w.toolBar("Save as");
    EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "Save as leaves Start as it was";
    w.toolBar("Save");
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());
    w.click("cmdDelete");
    w.toolBar("Save");
    EXPECT_EQ(Slurp(race.file("other.TP1")), "");
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
}

TEST(RaceFileMenu, NewMakesAMissingFileLeavesAnExistingOneUntilSaveAndFailuresAreTold)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race.TP1");
    std::ofstream(path, std::ios::binary) << "old , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n";
    w.openFolder(Q(race.folder));
    w.open(Q(path));
    w.dialogs.answers = {Q(path)};
    QTest::keyClick(w.main.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(w.dialogs.asked.back().title, "New");
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_EQ(Slurp(path), "old , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n");
    EXPECT_TRUE(w.find("cmdStart")->isEnabled()) << "New leaves Start as it was";
    w.dialogs.answers = {""};
    w.toolBar("New"); // cancelled
    EXPECT_EQ(w.main->raceFileName(), Q(path));
    w.dialogs.answers = {Q(race.file("no/such/folder.TP1"))};
    w.toolBar("New");
    EXPECT_TRUE(w.dialogs.lastSays("folder.TP1"));
    EXPECT_EQ(w.main->raceFileName(), Q(path));

    // A file that cannot be read: the message names it; nothing changes.
    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    w.dialogs.answers = {Q(race.file("missing.TP1"))};
    w.toolBar("Open");
    EXPECT_TRUE(w.dialogs.lastSays("missing.TP1"));
    EXPECT_EQ(w.listRows().size(), 1u);
    EXPECT_EQ(w.main->raceFileName(), Q(path));

    // A save that fails part way (files may grow to 16 bytes only): the old file stays whole.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    w.toolBar("Save");
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(w.dialogs.lastSays("race.TP1"));
    EXPECT_EQ(Slurp(path), "old , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n");

    w.menu("mnuFileClose");
    EXPECT_EQ(w.listRows().size(), 1u) << "Close keeps the race as it is";
    w.dialogs.answers = {Q(race.file("new.TP1"))};
    w.toolBar("New");
    EXPECT_TRUE(std::filesystem::exists(race.file("new.TP1"))) << "New makes the file";
}

TEST(ImportButton, WritesTheLogsPointsBesideItAndSaysHowMany)
{
    Window w;
    RaceFolder race;
    const std::string log = race.file("dag 1.kml");
    std::ofstream(log) << "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n"
                          "<Placemark><TimeStamp><when>2007-08-18T10:23:45Z</when></TimeStamp>"
                          "<Point><coordinates>18.0710,59.3251,0</coordinates></Point></Placemark>\n"
                          "<Placemark><TimeStamp><when>2007-08-18T10:23:50Z</when></TimeStamp>"
                          "<Point><coordinates>18.0712,59.3252,0</coordinates></Point></Placemark>\n"
                          "<Placemark><TimeStamp><when/></TimeStamp>"
                          "<Point><coordinates>18.0714,59.3253,0</coordinates></Point></Placemark>\n"
                          "</Document></kml>\n";
    const std::string broken = race.file("broken.KML");
    std::ofstream(broken) << "<kml><Placemark>";

    w.dialogs.answers = {Q(log), Q(broken), ""};
    w.click("cmdParse");
    ASSERT_EQ(w.dialogs.asked.size(), 1u);
    EXPECT_EQ(w.dialogs.asked[0].title, "Parse .KML file");
    EXPECT_EQ(w.dialogs.asked[0].filter, "All Files (*.KML);;GPS logs: KML, KMZ, GPX (*.kml *.kmz *.gpx)");
    EXPECT_EQ(w.dialogs.progressShown, 1);
    EXPECT_EQ(Slurp(log + ".txt"), "Latitude,Longitude,Date,Time\r\n59.3251,18.0710,20070818,102345\r\n"
                                   "59.3252,18.0712,20070818,102350\r\n");
    // The point without a time is skipped, and the report says so.
    EXPECT_TRUE(w.dialogs.lastMessage().startsWith("2 points were written to " + Q(log) + ".txt."))
        << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastSays("1 point skipped"));
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Warning);

    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    EXPECT_TRUE(w.dialogs.lastSays("broken.KML"));
    EXPECT_FALSE(QFile::exists(Q(broken + ".txt")));
    w.click("cmdParse"); // cancelled
    EXPECT_EQ(w.dialogs.told.size(), 2u);
    EXPECT_TRUE(w.listRows().empty());
}

// The sample race built by hand from its track files in a folder named with å, ä and ö, saved
// and started: the control window, its legend, Play and Stop; after as many steps the race
// time, the distances and what the view received are what the command line's replay traces.
// Then Start again, closing the control window, and Exit.
TEST(EndToEnd, ARaceBuiltInTheWindowPlaysLikeTheCommandLineAndStartsAfreshAfterClosing)
{
    Window w;
    RaceFolder race;
    const struct {
        const char *file, *start, *lys, *colour, *sep, *legend;
        QColor swatch;
    } boats[] = {{"Elsa.txt", "2008-06-21 11:00:00", "1.00", "0", ",", "lingar åäö/Elsa.txt 1", Qt::red},
                 {"Saga.txt", "2008-06-21 11:03:30", "1.05", "1023", ",", "lingar åäö/Saga.txt 1.05", Qt::blue},
                 {"Svalan.txt", "2008-06-21 11:08:00", "1.12", "511", ";", "ngar åäö/Svalan.txt 1.12", Qt::green},
                 {"Vinga.txt", "2008-06-21 11:12:30", "1.20", "1279", ",", "ingar åäö/Vinga.txt 1.2", Qt::magenta}};
    for (const auto& b : boats)
        std::filesystem::copy_file(kSample + b.file, race.file(b.file));
    w.openFolder(Q(race.folder));
    for (const auto& b : boats) {
        w.clickFile(b.file);
        w.type("txtStarttid", b.start);
        w.type("txtLYStal", b.lys);
        w.type("txtColor", b.colour);
        w.type("txtSepChar", b.sep);
        w.click("cmdAdd");
    }
    const std::string path = race.file("race.TP1");
    w.dialogs.answers = {Q(path)};
    w.toolBar("Save");
    ASSERT_TRUE(w.find("cmdStart")->isEnabled());
    w.click("cmdStart");
    FrmControl* control = w.main->controlWindow();
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(control->isVisible());
    EXPECT_EQ(control->windowTitle(), "Play");
    EXPECT_TRUE(control->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(control->testAttribute(Qt::WA_ShowWithoutActivating));
    // Each box's text and each control's name for assistive technology.
    const std::tuple<const char*, const char*, const char*> controls[] = {
        {"txtPlayspeed", "10", "Playspeed "}, {"txtResolution", "10", "Resolution sec"},
        {"txtRaceTime", "", "Race time"},     {"txtPointPlot", "90", "Points"},
        {"cmdPlay", nullptr, "Play"},         {"cmdStop", nullptr, "Stop"},
        {"Label3", nullptr, "Dist nm"}};
    for (const auto& [name, text, accessible] : controls) {
        if (text) {
            EXPECT_EQ(w.control<QLineEdit>(name)->text(), text) << name;
        }
        EXPECT_EQ(AccessibleName(w.control(name)), accessible) << name;
    }
    // The legend: the last 19 characters of each track file and its LYS number, in the
    // track's colour, named for assistive technology too.
    for (int row = 0; row < 4; ++row) {
        auto* label = w.control<QLabel>(QStringLiteral("lblTrackInfo%1").arg(row));
        EXPECT_EQ(label->text().toStdString(), boats[row].legend);
        EXPECT_EQ(AccessibleName(label).toStdString(), boats[row].legend);
        EXPECT_EQ(label->palette().color(QPalette::Window), boats[row].swatch) << row;
    }

    // Play with the play speed 40; the race time counts down from 00:05:00.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "40");
    w.clickControl("cmdPlay");
    auto* raceTime = w.control<QLineEdit>("txtRaceTime");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime->text().isEmpty(); }, 10000));
    EXPECT_EQ(raceTime->text(), "00:05:00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return raceTime->text() == "00:04:40"; }, 10000));
    w.clickControl("cmdStop");
    const long long steps = control->driver().steps();
    QTest::qWait(150);
    EXPECT_EQ(control->driver().steps(), steps) << "Stop halts the timer";
    EXPECT_FALSE(control->driver().playing());

    // Play again continues; an interval of 0 is silent.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "0");
    w.clickControl("cmdPlay");
    QTest::qWait(100);
    EXPECT_EQ(control->driver().steps(), steps) << "an interval of 0 is silent";
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "1");
    w.clickControl("cmdPlay");
    w.clickControl("cmdPlay"); // twice: one timer
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->driver().steps() >= 400; }, 60000));
    w.clickControl("cmdStop");
    TracedReplay commandLine = ReplayOnTheCommandLine(path, control->driver().steps());
    EXPECT_EQ(raceTime->text().toStdString(), commandLine.raceTime);
    for (int row = 1; row < 4; ++row)
        EXPECT_EQ(w.control<QLabel>(QStringLiteral("lblDst%1").arg(row))->text().toStdString(),
                  commandLine.distance[row])
            << row;
    ASSERT_FALSE(commandLine.drawn.empty());
    EXPECT_EQ(w.drawn(), commandLine.drawn);

    // Start while playing does nothing; closing the control window during play closes the
    // track files, and Start then replays afresh on a clear view; Exit closes the replay first.
    w.clickControl("cmdPlay");
    w.click("cmdStart");
    EXPECT_EQ(w.main->controlWindow(), control);
    EXPECT_EQ(w.viewsMade, 1);
    control->close();
    QTest::qWait(30);
    EXPECT_EQ(w.main->controlWindow(), nullptr);
    for (const auto& file : w.main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr) << "closing the control window closes the track files";
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    EXPECT_EQ(w.viewsMade, 2);
    EXPECT_TRUE(w.recorder->calls.empty()) << "the new replay draws on a clear view";
    EXPECT_EQ(w.control<QLineEdit>("txtPlayspeed")->text(), "10");
    w.clickControl("cmdPlay");
    raceTime = w.control<QLineEdit>("txtRaceTime");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime->text().isEmpty(); }, 10000));
    EXPECT_EQ(raceTime->text(), "00:05:00");
    QPointer<FrmControl> second = w.main->controlWindow();
    w.menu("mnuFileExit");
    EXPECT_TRUE(second.isNull() || !second->isVisible());
    for (const auto& file : w.main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr) << "Exit closes the replay first";
}

} // namespace
} // namespace tideplot::testing
