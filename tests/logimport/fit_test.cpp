// The FIT import on files written here as watches write them (fitwriter.h): little and big
// endian, developer fields, compressed timestamps, several sessions and files; gpsbabel's
// reading of them (`-i garmin_fit`) against ours; what the reader takes by the protocol where
// gpsbabel reads otherwise; damaged files: a wrong CRC, a file cut short at every byte.
#include "core/error.h"
#include "import/fitreader.h"
#include "import/logimport.h"
#include "import/trackwriter.h"
#include "logimport/fitwriter.h"
#include "support/racefiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;
namespace fs = std::filesystem;

using F = FitWriter::Field;

// 2021-09-08 01:46:40 UTC, a multiple of 32 seconds after the FIT epoch.
constexpr std::uint32_t kT0 = 1000000000;

// The track line of a record, worked out apart from the reader.
std::string Line(std::int32_t lat, std::int32_t lon, std::uint32_t timestamp)
{
    const std::time_t unix = std::time_t(timestamp) + kFitToUnixSeconds;
    std::tm utc{};
    gmtime_r(&unix, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%.7Lf,%.7Lf,%04d%02d%02d,%02d%02d%02d", lat * 180.0L / 2147483648.0L,
                  lon * 180.0L / 2147483648.0L, utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
    return text;
}

std::int32_t Lat(int i)
{
    return Semicircles((i % 2 ? -33.85 : 57.7) + i * 1.3e-5);
}
std::int32_t Lon(int i)
{
    return Semicircles((i % 3 ? 151.2 : -0.5) - i * 1.7e-5);
}

class FitTest : public ::testing::Test {
protected:
    std::string WriteLog(const std::string& bytes, const std::string& name = "watch.fit") const
    {
        const std::string path = dir_.writeBytes(name, bytes);
        fs::remove(TrackFilePath(path));
        return path;
    }
    TempDir dir_;
};

// An activity of two sessions two hours apart: a file_id, records with a timestamp of their
// own, one without a position, records with developer fields and the enhanced speed under
// compressed timestamps, session messages. `expected` gets its track lines.
std::string Activity(bool bigEndian, std::vector<std::string>& expected)
{
    FitWriter w(bigEndian);
    w.Define(0, 0, {F{0, 1, kFitEnum}, F{4, 4, kFitUint32}});
    w.Data(0, {4, kT0});
    w.Define(1, 20, {F{253, 4, kFitUint32}, F{0, 4, kFitSint32}, F{1, 4, kFitSint32}, F{6, 2, kFitUint16}});
    for (int i = 0; i < 40; ++i) {
        w.Data(1, {kT0 + i, std::uint32_t(Lat(i)), std::uint32_t(Lon(i)), 3000u + i * 7});
        expected.push_back(Line(Lat(i), Lon(i), kT0 + i));
    }
    w.Data(1, {kT0 + 40, 0x7FFFFFFF, 0x7FFFFFFF, 3000});
    // Compressed timestamps from a multiple of 32 on, where gpsbabel reads them as we do.
    const std::uint32_t t1 = kT0 + 64;
    w.Define(2, 20, {F{253, 4, kFitUint32}, F{0, 4, kFitSint32}, F{1, 4, kFitSint32}, F{73, 4, kFitUint32}}, {3, 1});
    w.Data(2, {t1, std::uint32_t(Lat(50)), std::uint32_t(Lon(50)), 5123});
    expected.push_back(Line(Lat(50), Lon(50), t1));
    w.Define(3, 20, {F{0, 4, kFitSint32}, F{1, 4, kFitSint32}, F{73, 4, kFitUint32}}, {2});
    for (int k = 1; k < 30; ++k) {
        w.Data(3, {std::uint32_t(Lat(50 + k)), std::uint32_t(Lon(50 + k)), 5000u + k}, int((t1 + k) & 31));
        expected.push_back(Line(Lat(50 + k), Lon(50 + k), t1 + k));
    }
    w.Define(4, 18, {F{253, 4, kFitUint32}});
    w.Data(4, {t1 + 30});
    const std::uint32_t t2 = kT0 + 7200;
    for (int i = 0; i < 10; ++i) {
        w.Data(1, {t2 + i, std::uint32_t(Lat(90 + i)), std::uint32_t(Lon(90 + i)), 2000u});
        expected.push_back(Line(Lat(90 + i), Lon(90 + i), t2 + i));
    }
    w.Data(4, {t2 + 10});
    return w.Bytes();
}

TEST_F(FitTest, RecordsAsGpsbabelReadsThem)
{
    const QString gpsbabel = QStandardPaths::findExecutable("gpsbabel");
    if (gpsbabel.isEmpty())
        GTEST_SKIP() << "NOTE: gpsbabel is not installed, so FIT imports are not compared with its reading";
    const std::string style = dir_.file("track.style");
    std::ofstream(style) << "FIELD_DELIMITER COMMA\nRECORD_DELIMITER NEWLINE\nBADCHARS COMMA\n"
                            "IFIELD LAT_DECIMAL,\"\",\"%.9f\"\nIFIELD LON_DECIMAL,\"\",\"%.9f\"\n"
                            "IFIELD GMT_TIME,\"\",\"%Y%m%d\"\nIFIELD GMT_TIME,\"\",\"%H%M%S\"\n"
                            "IFIELD PATH_SPEED,\"\",\"%.3f\"\n";
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
        std::vector<std::string> expected;
        const std::string log = WriteLog(Activity(bigEndian, expected));
        const std::string theirs = dir_.file("theirs.txt");
        QProcess p;
        p.start(gpsbabel, {"-i", "garmin_fit", "-f", QString::fromStdString(log), "-o",
                           "xcsv,style=" + QString::fromStdString(style), "-F", QString::fromStdString(theirs)});
        ASSERT_TRUE(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            << p.readAllStandardError().toStdString();
        EXPECT_EQ(ImportLog(log).PointCount, long(expected.size()));
        std::vector<double> speeds;
        ReadFitRecords(log, [&](const FitRecord& r) {
            if (r.LatSemicircles && r.LonSemicircles)
                speeds.push_back(r.SpeedMps.value_or(-1));
        });
        std::istringstream ours(Slurp(TrackFilePath(log))), babel(Slurp(theirs));
        std::string a, b;
        std::getline(ours, a);
        std::size_t i = 0;
        for (; std::getline(babel, b); ++i) {
            ASSERT_TRUE(std::getline(ours, a)) << "gpsbabel has more points, from " << b;
            ASSERT_LT(i, speeds.size());
            double latA = 0, lonA = 0, latB = 0, lonB = 0, speedB = 0;
            char dateB[16] = "", timeB[16] = "";
            ASSERT_EQ(std::sscanf(a.c_str(), "%lf,%lf,", &latA, &lonA), 2) << a;
            ASSERT_EQ(std::sscanf(b.c_str(), "%lf,%lf,%8[0-9],%6[0-9],%lf", &latB, &lonB, dateB, timeB, &speedB), 5)
                << b;
            EXPECT_EQ(a.substr(a.size() - 16, 15), std::string(dateB) + "," + timeB) << a << " against " << b;
            EXPECT_NEAR(latA, latB, 0.51e-7) << a << " against " << b;
            EXPECT_NEAR(lonA, lonB, 0.51e-7) << a << " against " << b;
            EXPECT_NEAR(speeds[i], speedB, 0.0006) << b;
            EXPECT_EQ(a.substr(0, a.size() - 1), expected[i]);
        }
        EXPECT_FALSE(std::getline(ours, a)) << "we have more points, from " << a;
        EXPECT_EQ(i, expected.size());
    }
}

// Records of local type 1: a timestamp of their own and a position.
void DefineRecord(FitWriter& w)
{
    w.Define(1, 20, {F{253, 4, kFitUint32}, F{0, 4, kFitSint32}, F{1, 4, kFitSint32}});
}
void Record(FitWriter& w, int i, std::uint32_t timestamp)
{
    w.Data(1, {timestamp, std::uint32_t(Lat(i)), std::uint32_t(Lon(i))});
}

// What the reader takes by the protocol: compressed timestamps across a multiple of 32
// seconds (gpsbabel adds the offset to the last full timestamp instead), records without a
// time or a position, fields it does not read, a 12-byte header, FIT files one after the
// other, bytes after the end.
TEST_F(FitTest, WhatTheReaderTakes)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
        std::vector<std::string> said; // a piece of each warning, in order
        std::size_t pieces = 1;
    };
    std::vector<Case> cases;
    {
        FitWriter w;
        DefineRecord(w);
        Record(w, 0, kT0 + 30);
        w.Define(2, 20, {F{0, 4, kFitSint32}, F{1, 4, kFitSint32}});
        for (const int offset : {31, 2, 5})
            w.Data(2, {std::uint32_t(Lat(offset)), std::uint32_t(Lon(offset))}, offset);
        cases.push_back({"compressed timestamps across 32 seconds",
                         w.Bytes(),
                         {Line(Lat(0), Lon(0), kT0 + 30), Line(Lat(31), Lon(31), kT0 + 31),
                          Line(Lat(2), Lon(2), kT0 + 34), Line(Lat(5), Lon(5), kT0 + 37)},
                         {}});
    }
    {
        FitWriter w;
        w.Define(2, 20, {F{0, 4, kFitSint32}, F{1, 4, kFitSint32}});
        w.Data(2, {std::uint32_t(Lat(1)), std::uint32_t(Lon(1))}, 3);
        w.Define(1, 20,
                 {F{253, 4, kFitUint32}, F{2, 2, kFitUint16}, F{0, 4, kFitSint32}, F{7, 8, 0x07}, F{1, 4, kFitSint32}});
        w.Data(1, {kT0, 2500, std::uint32_t(Lat(2)), 0, 0x7FFFFFFF});
        w.Data(1, {kT0 + 1, 2500, std::uint32_t(Lat(3)), 0, std::uint32_t(Lon(3))});
        cases.push_back({"no time, no position, fields passed over",
                         w.Bytes(true),
                         {Line(Lat(3), Lon(3), kT0 + 1)},
                         {"2 points skipped, the first at the record at byte 24: the record has no time"}});
    }
    {
        FitWriter first, second;
        DefineRecord(first);
        DefineRecord(second);
        for (int i = 0; i < 3; ++i) {
            Record(first, i, kT0 + i);
            Record(second, 10 + i, kT0 + 600 + i);
        }
        std::vector<std::string> lines;
        for (int i = 0; i < 3; ++i)
            lines.push_back(Line(Lat(i), Lon(i), kT0 + i));
        for (int i = 0; i < 3; ++i)
            lines.push_back(Line(Lat(10 + i), Lon(10 + i), kT0 + 600 + i));
        const std::string both = first.Bytes() + second.Bytes();
        cases.push_back({"two FIT files one after the other", both, lines, {}, 2});
        cases.push_back({"bytes after the end",
                         first.Bytes() + "\r\n\x1A",
                         {lines.begin(), lines.begin() + 3},
                         {"the bytes after the end of the FIT data are no FIT file: the bytes from byte " +
                          std::to_string(first.Bytes().size()) + " on were passed over"}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string log = WriteLog(c.bytes);
        const LogImportResult result = ImportLog(log);
        EXPECT_EQ(result.Format, LogFormat::Fit);
        std::string expected(kTrackHeaderLine);
        for (const std::string& line : c.lines)
            expected += line + "\r\n";
        EXPECT_EQ(Slurp(TrackFilePath(log)), expected);
        ASSERT_EQ(result.Warnings.size(), c.said.size()) << ::testing::PrintToString(result.Warnings);
        for (std::size_t i = 0; i < c.said.size(); ++i)
            EXPECT_NE(result.Warnings[i].find(c.said[i]), std::string::npos) << result.Warnings[i];
        EXPECT_EQ(result.Pieces.size(), c.pieces);
    }
}

// Damaged files change nothing and say where: a wrong CRC of the file or its header, a
// data message of a type never defined, a message longer than the data, an architecture
// that is none, no FIT file at all.
TEST_F(FitTest, DamagedFilesAreRefused)
{
    FitWriter good;
    DefineRecord(good);
    for (int i = 0; i < 3; ++i)
        Record(good, i, kT0 + i);
    const std::string bytes = good.Bytes();
    std::string flipped = bytes;
    flipped[40] = char(flipped[40] ^ 0x01);
    std::string header = bytes;
    header[12] = char(header[12] ^ 0x10);
    FitWriter undefined;
    DefineRecord(undefined);
    undefined.Raw(std::string(1, '\x05') + std::string(12, '\0'));
    FitWriter longer;
    DefineRecord(longer);
    longer.Raw("\x01\x02");
    FitWriter architecture;
    architecture.Raw(std::string("\x40\x00\x02\x00\x14\x00", 6));
    const std::pair<std::string, std::string> cases[] = {
        {flipped, ", byte " + std::to_string(bytes.size() - 2) + ": the file's CRC is "},
        {header, ", byte 0: the header's CRC is "},
        {undefined.Bytes(), ", byte 29: a data message of local type 5, which no definition message before it defines"},
        {longer.Bytes(), ", byte 29: the message runs past the end of the file's data (byte 31)"},
        {architecture.Bytes(), ", byte 14: the definition message's architecture is 2, not 0 or 1"},
        {"hello, world", ", byte 0: this is no FIT file: it does not start with a FIT file header"},
    };
    for (const auto& [damaged, message] : cases) {
        SCOPED_TRACE(message);
        const std::string log = WriteLog(damaged);
        try {
            ImportLog(log);
            ADD_FAILURE() << "imported";
        } catch (const Error& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with(log + message)) << e.what();
        }
        EXPECT_FALSE(fs::exists(TrackFilePath(log)));
    }
}

// A file cut short at any byte keeps the records complete before the cut and says where it
// ends; cut before its first record, it is refused; cut in its header, it is no FIT file.
TEST_F(FitTest, CutShortAtEveryByte)
{
    FitWriter w;
    DefineRecord(w);
    std::vector<std::size_t> recordEnds;
    std::vector<std::string> lines;
    for (int i = 0; i < 5; ++i) {
        Record(w, i, kT0 + i);
        recordEnds.push_back(14 + w.Size());
        lines.push_back(Line(Lat(i), Lon(i), kT0 + i));
    }
    const std::string bytes = w.Bytes();
    for (std::size_t size = 1; size < bytes.size(); ++size) {
        SCOPED_TRACE("cut at byte " + std::to_string(size));
        const std::string log = WriteLog(bytes.substr(0, size));
        std::size_t complete = 0;
        while (complete < recordEnds.size() && recordEnds[complete] <= size)
            ++complete;
        try {
            const LogImportResult result = ImportLog(log);
            ASSERT_GT(complete, 0u);
            std::string expected(kTrackHeaderLine);
            for (std::size_t i = 0; i < complete; ++i)
                expected += lines[i] + "\r\n";
            EXPECT_EQ(Slurp(TrackFilePath(log)), expected);
            ASSERT_EQ(result.Warnings.size(), 1u);
            EXPECT_NE(result.Warnings[0].find(": the log ends early at byte "), std::string::npos)
                << result.Warnings[0];
        } catch (const Error& e) {
            EXPECT_EQ(complete, 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(size < 14 ? "this is no FIT file" : "before any complete point"),
                      std::string::npos)
                << e.what();
        }
    }
}

} // namespace
} // namespace tideplot
