#include "ui/about.h"

#include "tideplot/version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace tideplot {

namespace {

// The project's own pages: where the program is installed (`cmake --install` puts the README
// and the FAQ under share/doc), or the source tree's copy beside a program that runs from its
// build folder. Never a path that does not exist on this computer: nothing when none does.
QString DocumentUrl(const QString& name)
{
    const QString besideProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../" TIDEPLOT_DOC_DIR "/") + name;
    const QString installed = QStringLiteral(TIDEPLOT_INSTALLED_DOC_DIR "/") + name;
    const QString source = QStringLiteral(TIDEPLOT_SOURCE_DIR "/") + name;
    for (const QString& file : {besideProgram, installed, source})
        if (QFileInfo(file).isFile())
            return QUrl::fromLocalFile(QFileInfo(file).canonicalFilePath()).toString();
    return {};
}

} // namespace

QString AboutText()
{
    const QString readme = DocumentUrl(QStringLiteral("README.md"));
    const QString faq = DocumentUrl(QStringLiteral("FAQ.md"));
    const QString missing = QStringLiteral("(the documentation is not installed on this computer)");
    return QStringLiteral("Version %1.%2.%3\n%4\nFAQ and instructions: %5")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision)
        .arg(readme.isEmpty() ? missing : readme, faq.isEmpty() ? missing : faq);
}

} // namespace tideplot
