// The race file through the File menu and the tool bar, and the import button, as a user
// drives them.
#include "ui/windowdriver.h"

#include <QAction>

namespace tideplot::testing {
namespace {

// The set-up window browsing a folder named with å, ä and ö, holding boat1.txt.
class RaceFileSaveOpen : public ::testing::Test {
protected:
    void SetUp() override { w.openFolder(Q(race.folder)); }

    // An empty race file opened (the race before discarded): an empty list and Start disabled.
    // A name typed without an extension is given the race file's; Save as leaves Start as it
    // was, Save enables it.
    void openAnEmptyRaceFileAndAddARow()
    {
        std::ofstream(race.file("empty.TP1"));
        w.dialogs.told.clear();
        w.dialogs.saveAnswers = {SaveAnswer::Discard};
        w.dialogs.answers = {Q(race.file("empty.TP1"))};
        w.toolBar("Open");
        EXPECT_TRUE(w.listRows().empty());
        EXPECT_FALSE(w.find("cmdStart")->isEnabled());
        w.clickFile("boat1.txt");
        w.click("cmdAdd");
        w.dialogs.answers = {Q(race.file("other"))};
        w.toolBar("Save as");
        EXPECT_EQ(w.main->raceFileName(), Q(race.file("other.TP1")));
        EXPECT_TRUE(std::filesystem::exists(race.file("other.TP1")));
        EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "Save as leaves Start as it was";
        w.toolBar("Save");
        EXPECT_TRUE(w.find("cmdStart")->isEnabled());
        w.click("cmdDelete");
        w.toolBar("Save");
        EXPECT_EQ(Slurp(race.file("other.TP1")), "");
        EXPECT_FALSE(w.find("cmdStart")->isEnabled());
        EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    }

    Window w;
    RaceFolder race;
    const std::string path = race.file("race åäö.TP1");
};

TEST_F(RaceFileSaveOpen, SaveWithoutARaceFileAsksWhereAndACancelChangesNothing)
{
    w.dialogs.answers = {""};
    w.menu("mnuFileSave");
    ASSERT_EQ(w.dialogs.asked.size(), 1u);
    EXPECT_EQ(w.dialogs.asked[0].title, "Save as");
    EXPECT_EQ(w.dialogs.asked[0].filter, "All Files (*.TP1)");
    EXPECT_EQ(w.dialogs.asked[0].kind, FileQuestion::Save);
    EXPECT_EQ(w.dialogs.asked[0].folder, QDir::toNativeSeparators(Q(race.folder)));
    EXPECT_TRUE(w.main->raceFileName().isEmpty());
}

// A file with a byte order mark and every kind of line end, the last line without one, opens
// row by row; the rows that will not replay are named in one message and Start stays
// disabled. Save as writes CR LF; each row shows in the boxes when selected. Then an empty race
// file.
TEST_F(RaceFileSaveOpen, RowsRoundTripThroughOpenSaveAndTheBoxesAndStartFollowsTheFile)
{
    // Each row and its boxes when selected: the start time in full when it reads as one, the
    // separator as the row's last character (a blank too).
    const struct {
        std::string row;
        std::vector<std::string> boxes;
    } rows[] = {{race.folder + "/boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,",
                 {"2007-01-01 12:30:00", " 1.10 ", " 100 ", ","}},
                {"b.txt , 2007-1-1 9:05 , 1 , 2 , ;", {"2007-01-01 09:05:00", " 1 ", " 2 ", ";"}},
                {"b.txt , tomorrow , 1 , 2 , ;", {" tomorrow ", " 1 ", " 2 ", ";"}},
                {"", {"", "", "", ""}},
                {"b.txt , 2008-06-21 11:00:00 , 1 , 2 ,  ", {"2008-06-21 11:00:00", " 1 ", " 2 ", " "}},
                {"b.txt , 2008-06-21 11:00:00 , 1 , 2 , \t", {"2008-06-21 11:00:00", " 1 ", " 2 ", "\t"}}};
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
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    for (const char* said : {"5 of the 6 rows of mixed.TP1 will not replay", "row 2: the track file",
                             "row 3: the start", "row 4: the start", "row 6: the track file"})
        EXPECT_TRUE(w.dialogs.lastSays(said)) << said;
    EXPECT_FALSE(w.dialogs.lastSays("row 1:"));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    EXPECT_EQ(w.listRows().size(), 6u) << "shown all the same, to be mended";
    EXPECT_EQ(w.highlighted(), 0);
    w.toolBar("Save as");
    // A track in the race file's folder is written relative to it: the folder can move.
    const std::string inFolder = race.folder + "/";
    ASSERT_EQ(text.rfind(inFolder, 0), 0u);
    EXPECT_EQ(Slurp(path), text.substr(inFolder.size()));
    EXPECT_EQ(w.listRows().front(), rows[0].row.substr(inFolder.size())) << "the list shows it so";
    EXPECT_EQ(w.main->raceFileName(), Q(path));
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0 - race åäö.TP1[*]");
    EXPECT_EQ(w.highlighted(), 5) << "the last row ends selected and shown";
    EXPECT_EQ(w.text("txtSepChar"), "\t");
    for (int row = 0; row < 6; ++row) {
        w.clickRow("lstBoats", row);
        std::vector<std::string> boxes;
        for (const char* box : {"txtStarttid", "txtLYStal", "txtColor", "txtSepChar"})
            boxes.push_back(w.text(box).toStdString());
        EXPECT_EQ(boxes, rows[row].boxes) << rows[row].row;
    }
    // Change keeps a blank separator.
    w.clickRow("lstBoats", 4);
    w.click("cmdChange");
    EXPECT_EQ(w.main->boats().rows().back().back(), ' ');

    openAnEmptyRaceFileAndAddARow();
}

TEST(RaceFileMenu, NewMakesAMissingFileLeavesAnExistingOneUntilSaveAndFailuresAreTold)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race.TP1");
    const std::string old = "boat1.txt , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n";
    std::ofstream(path, std::ios::binary) << old;
    w.openFolder(Q(race.folder));
    w.open(Q(path));
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());
    w.dialogs.answers = {Q(path)};
    QTest::keyClick(w.main.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(w.dialogs.asked.back().title, "New");
    EXPECT_EQ(w.dialogs.asked.back().kind, FileQuestion::Create);
    EXPECT_EQ(w.dialogs.asked.back().folder, QDir::toNativeSeparators(Q(race.folder)));
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_EQ(Slurp(path), old);
    EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "an empty list has nothing to start";
    w.dialogs.saveAnswers = {SaveAnswer::Discard, SaveAnswer::Discard};
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
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.dialogs.answers = {Q(race.file("missing.TP1"))};
    w.toolBar("Open");
    EXPECT_TRUE(w.dialogs.lastSays("missing.TP1"));
    EXPECT_EQ(w.listRows().size(), 1u);
    EXPECT_EQ(w.main->raceFileName(), Q(path));

    // A save that fails part way (files may grow to 16 bytes only): the old file stays whole.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit small = limit;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    w.toolBar("Save");
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_TRUE(w.dialogs.lastSays("race.TP1"));
    EXPECT_EQ(Slurp(path), old);

    // Close puts the race away: an empty list and a title without a race.
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.menu("mnuFileClose");
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_TRUE(w.main->raceFileName().isEmpty());
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0");
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.dialogs.answers = {Q(race.file("new"))};
    w.toolBar("New");
    EXPECT_TRUE(std::filesystem::exists(race.file("new.TP1"))) << "New makes the file, with the race file's extension";
    EXPECT_TRUE(w.dialogs.saveAnswers.empty());
}

TEST(RaceFileMenu, UnsavedRowsAreAskedForBeforeClosingNewOpenAndClose)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race.TP1"), other = race.file("other.TP1");
    const std::string row = "boat1.txt , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n";
    std::ofstream(path, std::ios::binary) << row;
    std::ofstream(other, std::ios::binary) << row << row;
    w.openFolder(Q(race.folder));
    w.open(Q(path));
    EXPECT_FALSE(w.main->isWindowModified());
    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    EXPECT_TRUE(w.main->isWindowModified());
    EXPECT_TRUE(w.main->hasUnsavedChanges());

    // Cancel: the operation does not happen.
    const std::size_t dialogsBefore = w.dialogs.asked.size();
    for (auto operation :
         std::vector<std::function<void()>>{[&] { w.toolBar("Open"); }, [&] { w.toolBar("New"); },
                                            [&] { w.menu("mnuFileClose"); }, [&] { w.main->close(); }}) {
        w.dialogs.saveAnswers = {SaveAnswer::Cancel};
        operation();
        EXPECT_EQ(w.dialogs.questions.back(), "Save the changes to race.TP1?");
        EXPECT_TRUE(w.dialogs.saveAnswers.empty());
    }
    EXPECT_EQ(w.dialogs.asked.size(), dialogsBefore) << "no file dialog after Cancel";
    EXPECT_TRUE(w.main->isVisible());
    EXPECT_EQ(w.listRows().size(), 2u);

    // Discard: the operation goes on and the file stays as it was.
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.open(Q(other));
    EXPECT_EQ(w.listRows().size(), 2u);
    EXPECT_EQ(Slurp(path), row);

    // Save: the rows are written first. A list that matches its file asks nothing.
    w.click("cmdDelete");
    w.dialogs.saveAnswers = {SaveAnswer::Save};
    w.menu("mnuFileClose");
    EXPECT_EQ(Slurp(other), row);
    EXPECT_TRUE(w.listRows().empty());
    w.open(Q(other));
    w.dialogs.answers = {Q(path)};
    w.toolBar("Open");
    EXPECT_TRUE(w.dialogs.saveAnswers.empty());

    // Unsaved rows of no race file yet: Save asks for a name when closing.
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.menu("mnuFileClose");
    w.click("cmdAdd");
    w.dialogs.saveAnswers = {SaveAnswer::Save};
    w.dialogs.answers = {Q(race.file("kept"))};
    w.menu("mnuFileExit");
    EXPECT_EQ(w.dialogs.questions.back(), "Save the changes to a new race file?");
    EXPECT_FALSE(w.main->isVisible());
    EXPECT_NE(Slurp(race.file("kept.TP1")).find("boat1.txt"), std::string::npos);
}

// A race opened shows its highlighted row in the boxes, so Change keeps the boat as it is
// (and so does the next Change, on the row highlighted after it). Saved, the race names its
// tracks relative to its folder: the folder copied elsewhere replays, and Save As into
// another folder names each track so that it is found from there.
TEST(RaceFileMenu, ARaceOpenedKeepsItsRowsOnChangeAndMovesWithItsFolder)
{
    Window w;
    RaceFolder race;
    std::filesystem::create_directories(race.file("tracks"));
    for (const char* boat : {"Elsa.txt", "Saga.txt"})
        std::filesystem::copy_file(kSample + boat, race.file("tracks/") + boat);
    const std::string path = race.file("race.TP1");
    std::ofstream(path, std::ios::binary)
        << race.file("tracks/Elsa.txt") << " , 2008-06-21 11:00:00 , 1.00 , 0 , ,\r\n"
        << race.file("tracks/Saga.txt") << " , 2008-06-21 11:03:30 , 1.05 , 1023 , ,\r\n";
    w.open(Q(path));
    EXPECT_EQ(w.text("txtStarttid"), "2008-06-21 11:00:00");
    EXPECT_EQ(w.text("txtColor"), " 0 ");
    w.click("cmdChange");
    w.click("cmdChange");
    std::vector<std::string> kept;
    for (const std::string& row : w.main->boats().rows())
        kept.push_back(std::string(TrimSpaces(GetField(row, 1, ','))) + "|" +
                       std::string(TrimSpaces(GetField(row, 3, ','))));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"2008-06-21 11:00:00|0", "2008-06-21 11:03:30|1023"}))
        << "no boat took another's values";

    w.toolBar("Save");
    const std::string saved = Slurp(path);
    EXPECT_NE(saved.find("tracks/Elsa.txt , 2008-06-21"), std::string::npos) << saved;
    EXPECT_EQ(saved.find(race.folder), std::string::npos) << "no full path: " << saved;

    TempDir elsewhere;
    std::filesystem::copy(race.folder, elsewhere.file("copy"), std::filesystem::copy_options::recursive);
    w.dialogs.told.clear();
    w.open(Q(elsewhere.file("copy/race.TP1")));
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.find("cmdStart")->isEnabled()) << "the copied folder replays";

    std::filesystem::create_directories(elsewhere.file("other"));
    w.dialogs.answers = {Q(elsewhere.file("other/moved.TP1"))};
    w.toolBar("Save as");
    w.open(Q(elsewhere.file("other/moved.TP1")));
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.find("cmdStart")->isEnabled()) << "Save As into another folder replays";
    EXPECT_NE(Slurp(elsewhere.file("other/moved.TP1")).find(elsewhere.file("copy/tracks/Saga.txt")), std::string::npos);
}

TEST(ImportButton, WritesTheLogsPointsBesideItSaysHowManyAndShowsTheTrackFile)
{
    Window w;
    RaceFolder race;
    const std::string log = race.file("dag 1.kml");
    std::ofstream(log) << "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n"
                          "<Placemark><TimeStamp><when>2007-08-18T10:23:45Z</when></TimeStamp>"
                          "<Point><coordinates>18.0710,59.3251,0</coordinates></Point></Placemark>\n"
                          "<Placemark><TimeStamp><when/></TimeStamp>"
                          "<Point><coordinates>18.0714,59.3253,0</coordinates></Point></Placemark>\n"
                          "</Document></kml>\n";
    const std::string broken = race.file("broken.KML");
    std::ofstream(broken) << "<kml><Placemark>";

    w.dialogs.answers = {Q(log), Q(broken), ""};
    w.click("cmdParse");
    ASSERT_EQ(w.dialogs.asked.size(), 1u);
    EXPECT_EQ(w.dialogs.asked[0].title, "Parse .KML file");
    EXPECT_EQ(w.dialogs.asked[0].filter,
              "GPS logs: KML, KMZ, GPX, NMEA 0183, FIT (*.kml *.kmz *.gpx *.nmea *.nma *.log "
              "*.txt *.fit);;All Files (*.KML)");
    EXPECT_EQ(w.dialogs.progressShown, 1);
    EXPECT_EQ(Slurp(log + ".txt"), "Latitude,Longitude,Date,Time\r\n59.3251,18.0710,20070818,102345\r\n");
    // The point without a time is skipped, and the report says so; the browser shows the new
    // track file, selected and previewed.
    EXPECT_TRUE(w.dialogs.lastMessage().startsWith("1 point was written to " + Q(log) + ".txt."))
        << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastSays("1 point skipped"));
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Warning);
    EXPECT_EQ(w.find<QListWidget>("File1")->currentItem()->text(), "dag 1.kml.txt");
    EXPECT_TRUE(w.find<QPlainTextEdit>("txtTrackFile")->toPlainText().contains("59.3251,18.0710"));

    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    EXPECT_TRUE(w.dialogs.lastSays("broken.KML"));
    EXPECT_FALSE(QFile::exists(Q(broken + ".txt")));
    w.click("cmdParse"); // cancelled
    EXPECT_EQ(w.dialogs.told.size(), 2u);
    EXPECT_TRUE(w.listRows().empty());

    // A log of two days: the report offers one track file per day; the browser shows the first.
    const std::string regatta = race.file("regatta.gpx");
    std::ofstream(regatta)
        << "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
           "<trk><trkseg><trkpt lat=\"57.1\" lon=\"11.2\"><time>2008-07-12T10:00:00Z</time></trkpt>\n"
           "<trkpt lat=\"57.2\" lon=\"11.3\"><time>2008-07-12T10:00:05Z</time></trkpt></trkseg></trk>\n"
           "<trk><trkseg><trkpt lat=\"57.3\" lon=\"11.4\"><time>2008-07-13T10:00:00Z</time></trkpt>\n"
           "<trkpt lat=\"57.4\" lon=\"11.5\"><time>2008-07-13T10:00:05Z</time></trkpt></trkseg></trk>\n"
           "</gpx>\n";
    w.dialogs.answers = {Q(regatta)};
    w.dialogs.yesNoAnswers = {true};
    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.lastYes, "Split");
    EXPECT_TRUE(w.dialogs.questions.back().contains("2 tracks")) << w.dialogs.questions.back().toStdString();
    EXPECT_TRUE(w.dialogs.questions.back().contains("regatta.gpx.1.txt ... regatta.gpx.2.txt"));
    EXPECT_EQ(Slurp(regatta + ".2.txt"), "Latitude,Longitude,Date,Time\r\n57.3,11.4,20080713,100000\r\n"
                                         "57.4,11.5,20080713,100005\r\n");
    EXPECT_TRUE(QFile::exists(Q(regatta + ".txt")));
    EXPECT_EQ(w.find<QListWidget>("File1")->currentItem()->text(), "regatta.gpx.1.txt");

    // Several logs at once: each imported (the one of two days split when the sailor says
    // so, asked once), a log that cannot be read named, and one report of them all.
    std::filesystem::remove(regatta + ".txt");
    std::filesystem::remove(regatta + ".2.txt");
    w.dialogs.told.clear();
    w.dialogs.filesAnswers = {QStringList{Q(log), Q(regatta), Q(broken)}};
    w.dialogs.yesNoAnswers = {true};
    w.click("cmdParse");
    ASSERT_EQ(w.dialogs.told.size(), 1u) << "one report";
    for (const char* said : {"3 logs imported", "dag 1.kml.txt", "regatta.gpx.2.txt", "broken.KML"})
        EXPECT_TRUE(w.dialogs.lastSays(said)) << said << ": " << w.dialogs.lastMessage().toStdString();
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error) << "a log could not be read";
    EXPECT_TRUE(QFile::exists(Q(regatta + ".2.txt")));
}

// An NMEA log whose sentences give no date: the import button asks for it (again when what
// is typed is no date) and imports with it, wind file and all; cancelled, it says why
// nothing was written.
TEST(ImportButton, AsksForTheDateOfAnNmeaLogThatGivesNone)
{
    Window w;
    RaceFolder race;
    const std::string log = race.file("passage.nmea");
    std::ofstream(log, std::ios::binary) << "$GPGLL,6005.071,N,02332.346,E,095559,A,D*43\r\n"
                                            "$IIMWV,313,T,08.16,N,A*2B\r\n";
    w.dialogs.answers = {Q(log)};
    w.dialogs.textAnswers = {QStringList{"1.7.2019"}, QStringList{"2019-07-01"}};
    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.questions, (std::vector<QString>{"Date of passage.nmea", "Date of passage.nmea"}));
    EXPECT_EQ(Slurp(log + ".txt"), "Latitude,Longitude,Date,Time\r\n60.0845167,23.5391000,20190701,095559\r\n");
    EXPECT_EQ(Slurp(log + ".wind.txt"), "Date,Time,TWD,TWS,AWA,AWS,HDG,BSP\r\n20190701,095559,,8.16,,,,\r\n");
    for (const char* said : {"1 point was written to", "1 second of wind, heading and boat speed went to",
                             "its first time is dated 2019-07-01 as given"})
        EXPECT_TRUE(w.dialogs.lastSays(said)) << said << ": " << w.dialogs.lastMessage().toStdString();

    const std::string other = race.file("other.nmea");
    std::filesystem::copy_file(log, other);
    w.dialogs.answers = {Q(other)};
    w.dialogs.textAnswers = {std::nullopt};
    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    EXPECT_TRUE(w.dialogs.lastSays("gives the time of day of its positions but no date"));
    EXPECT_FALSE(QFile::exists(Q(other + ".txt")));
}

} // namespace
} // namespace tideplot::testing
