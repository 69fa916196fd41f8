#pragma once

#include <QFile>
#include <QString>

#include <memory>

#include <string>
#include <string_view>
#include <vector>

namespace tideplot {

class RemovedOnForcedExit;

// A file written whole beside the file it is to replace, ready to be put in its place.
struct PreparedFile {
    QString Temporary; // empty: the file was written directly (a terminal, a pipe): nothing to put in place
    QString Target;    // the file it replaces
    QString Path;      // the name it was given
    std::string What;  // "the KML file"
};

// Puts every prepared file in place of its target, in order, or none of them: when one
// cannot be put in place (a name too long for the file system, say), those put in place
// before it get back what they held (or go again, when they were new) and the error names
// the file. The temporary files of those not put in place are left to their owners.
void CommitTogether(const std::vector<PreparedFile>& files);

// Throws the Error an OutputFile for `path` throws when `path` names no place an output can
// be written: a folder, or a FIFO (writing one waits for a reader). A pipe the program was
// handed open (/dev/stdout, /dev/fd/N) is a place to write; so are a terminal and a device.
// `what` names the file in the message ("the KML file"). For a verb to refuse an output
// before its work.
void CheckOutputPath(const QString& path, const std::string& what);

// Whether two file names name the same file (also when neither exists yet): an output
// must not overwrite an input.
bool SameFile(const std::string& a, const std::string& b);

// A file the program writes, in place of an older one only when all of it is written:
// the bytes go to a temporary file beside it, every write is checked, and Commit() flushes
// it to the disk and renames it over the old file. Until then, and whenever anything fails
// (a full disk, a file-size limit), the old file stays as it was and no new file appears;
// an OutputFile destroyed without Commit() removes its temporary file. The temporary file
// has a short name of its own (".tideplot-XXXXXXXX.tmp"), so a file whose name is as long
// as the system allows (255 bytes) can be replaced too. The new file keeps the old file's
// permissions, or gets the usual ones of a new file. A path that names no regular file
// but a terminal, a pipe or a device (/dev/stdout) holds nothing to keep: it is written
// directly, opened without waiting. A folder or a FIFO is refused (CheckOutputPath). A signal that ends the program at
// once removes the temporary file too (exitcleanup.h).
class OutputFile {
public:
    enum class Access {
        Usual,     // the old file's permissions, or those of any new file
        OwnerOnly, // readable and writable by its owner only (0600): a file holding a secret
    };

    // Opens the temporary file for `path`. `what` names the file in messages ("the KML
    // file"). Throws Error naming the file and the reason when it cannot be created.
    OutputFile(const QString& path, std::string what, Access access = Access::Usual);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes all of `bytes`; throws Error naming the file and the reason when any of it
    // is not written.
    void Write(std::string_view bytes);
    void Write(const QByteArray& bytes);
    // Puts the file in place of the old one. Throws Error naming the file.
    void Commit();
    // Everything Commit() does but the renaming: the file checked, on the disk and closed,
    // for CommitTogether. Throws Error naming the file.
    PreparedFile Prepare();

    const QString& Path() const { return path_; }

private:
    [[noreturn]] void Fail(const QString& reason) const;
    void RemoveTemporary();

    QString path_;
    std::string what_;
    QString target_;    // the file replaced: path_ with its symbolic links followed
    QString temporary_; // empty when the file is written directly
    std::unique_ptr<QFile> file_;
    std::unique_ptr<RemovedOnForcedExit> forcedExit_; // while the temporary file is there
    qint64 written_ = 0;
};

} // namespace tideplot
