#include "core/error.h"
#include "core/outputfile.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace tideplot {
namespace {

namespace fs = std::filesystem;
using testing::FilesIn;
using testing::Slurp;
using testing::TempDir;

unsigned Mode(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

void WriteWhole(const std::string& path, const std::string& bytes,
                OutputFile::Access access = OutputFile::Access::Usual)
{
    OutputFile file(QString::fromStdString(path), "the test file", access);
    file.Write(bytes);
    file.Commit();
}

// The temporary file has a short name of its own: a file whose name is as long as the system
// allows (255 bytes) is written and replaced, and nothing else is left in the folder.
TEST(OutputFile, ReplacesAFileWhoseNameIsAsLongAsTheSystemAllows)
{
    TempDir dir;
    for (const std::size_t length : {std::size_t{249}, std::size_t{255}}) {
        const std::string name = std::string(length - 4, 'n') + ".kml";
        WriteWhole(dir.file(name), "first");
        WriteWhole(dir.file(name), "second");
        EXPECT_EQ(Slurp(dir.file(name)), "second") << length;
        EXPECT_EQ(FilesIn(dir), std::vector<std::string>{name}) << length;
        fs::remove(dir.file(name));
    }
}

// The new file keeps the old one's permissions, or gets a new file's (the umask's); a file
// holding a secret is its owner's alone, new or replacing one that others could read.
TEST(OutputFile, KeepsPermissionsOrMakesTheFileTheOwnersAlone)
{
    TempDir dir;
    const mode_t umaskBefore = ::umask(022);
    struct Case {
        int oldMode; // -1: no old file
        OutputFile::Access access;
        unsigned mode;
    };
    const Case cases[] = {
        {-1, OutputFile::Access::Usual, 0644},       {0640, OutputFile::Access::Usual, 0640},
        {0604, OutputFile::Access::Usual, 0604},     {-1, OutputFile::Access::OwnerOnly, 0600},
        {0644, OutputFile::Access::OwnerOnly, 0600},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("out.txt");
        fs::remove(path);
        if (c.oldMode >= 0) {
            dir.writeBytes("out.txt", "old");
            ::chmod(path.c_str(), static_cast<mode_t>(c.oldMode));
        }
        WriteWhole(path, "new", c.access);
        EXPECT_EQ(Mode(path), c.mode) << std::oct << c.oldMode << " " << static_cast<int>(c.access);
        EXPECT_EQ(Slurp(path), "new");
    }
    ::umask(umaskBefore);
}

// Until Commit() the old file stays whole, and a file given up leaves no temporary file; a
// symbolic link stays a link to the file it names, which is replaced.
TEST(OutputFile, OldFileStaysUntilCommitAndLinksAreFollowed)
{
    TempDir dir;
    dir.writeBytes("out.txt", "old");
    {
        OutputFile file(QString::fromStdString(dir.file("out.txt")), "the test file");
        file.Write(std::string_view("half of the new"));
        EXPECT_EQ(Slurp(dir.file("out.txt")), "old");
        EXPECT_EQ(FilesIn(dir).size(), 2u) << "the temporary file beside it";
    }
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"out.txt"});
    EXPECT_EQ(Slurp(dir.file("out.txt")), "old");

    fs::create_symlink("out.txt", dir.file("link.txt"));
    WriteWhole(dir.file("link.txt"), "through the link");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.txt")));
    EXPECT_EQ(Slurp(dir.file("out.txt")), "through the link");

    EXPECT_THROW(WriteWhole(dir.path().string(), "x"), Error) << "a folder";
    EXPECT_THROW(WriteWhole(dir.file("missing/out.txt"), "x"), Error);
}

} // namespace
} // namespace tideplot
