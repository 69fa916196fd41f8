// The Google Earth link's tests' tools: fetching its document, reading its KML, a link of a
// test's own, and another program in its own process while this one serves.
#pragma once

#include "core/error.h"
#include "earth/gelink/googleearthlink.h"
#include "earth/googleearth.h"
#include "earth/kmldocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <map>

namespace tideplot {

inline void LoadFleet(GoogleEarthLink& link, int boats, int segments)
{
    for (int boat = 0; boat < boats; ++boat)
        for (int step = 0; step < segments; ++step)
            link.LoadKmlData(TrackSegmentDocument("Boat " + std::to_string(boat),
                                                  {57.5 + 0.01 * boat, 11.7 + 0.00123 * step, 0},
                                                  {57.5 + 0.01 * boat, 11.7 + 0.00123 * (step + 1), 0}, 0, 1));
}

// Every segment of a KML text's lines as "name colour width end end", sorted, each end
// given as "lon,lat" and the lesser end first (a run is served in either direction).
inline QStringList Segments(const QByteArray& kml)
{
    QStringList segments;
    const auto text = [](const KmlCoordinate& p) { return KmlNumberText(p.Lon) + u',' + KmlNumberText(p.Lat); };
    for (const auto& line : ParseKmlLines(QString::fromUtf8(kml)))
        for (std::size_t i = 0; i + 1 < line.Points.size(); ++i)
            segments += QStringLiteral("%1 %2 w%3 %4")
                            .arg(line.Name, KmlColourText(line.Colour))
                            .arg(line.Width)
                            .arg(std::min(text(line.Points[i]), text(line.Points[i + 1])) + u' ' +
                                 std::max(text(line.Points[i]), text(line.Points[i + 1])));
    segments.sort();
    return segments;
}

// Runs the event loop (this process serves) until `signal` comes or `ms` have passed.
template <typename Sender, typename Signal> void Wait(Sender* sender, Signal signal, int ms = 5000)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Reply {
    int Status = 0;
    QByteArray Body;
    QByteArray ContentType;
};

inline Reply Get(const QUrl& url)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    Wait(reply, &QNetworkReply::finished);
    Reply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                 reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()};
    delete reply;
    return result;
}

// Sends bytes as they are; returns what came back until the server closed the connection,
// followed by "(still open)" when it did not within five seconds.
inline QByteArray Exchange(quint16 port, const QByteArray& bytes)
{
    QTcpSocket socket;
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(bytes);
    Wait(&socket, &QTcpSocket::disconnected);
    received += socket.readAll();
    return socket.state() == QAbstractSocket::UnconnectedState ? received : received + "(still open)";
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text of every element of a KML text by its path below the root ("NetworkLink/Link/href");
// "error" holds why the text is no well-formed KML 2.2.
inline std::map<QString, QString> KmlFields(const QByteArray& kml)
{
    std::map<QString, QString> fields;
    QXmlStreamReader xml(kml);
    if (!xml.readNextStartElement() || xml.name() != u"kml" || xml.namespaceUri() != u"http://www.opengis.net/kml/2.2")
        return {{QStringLiteral("error"), QStringLiteral("no kml root")}};
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            path += xml.name().toString();
        else if (xml.isEndElement() && !path.isEmpty())
            path.removeLast();
        else if (xml.isCharacters() && !xml.isWhitespace())
            fields[path.join(u'/')] = xml.text().toString();
    }
    if (xml.hasError())
        fields[QStringLiteral("error")] = xml.errorString();
    return fields;
}

// The served LookAt's fields by name ("longitude" -> "11.5"); empty when there is none.
inline std::map<QString, QString> ReadLookAt(const QByteArray& kml)
{
    std::map<QString, QString> lookAt;
    for (const auto& [path, text] : KmlFields(kml))
        if (const auto at = path.indexOf(u"LookAt/"); at >= 0)
            lookAt[path.mid(at + 7)] = text;
    return lookAt;
}

// The permission bits of a file (0600: its owner's alone).
inline unsigned Mode(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

inline QString LinkFileHref(const QString& path)
{
    return KmlFields(ReadAll(path))[QStringLiteral("NetworkLink/Link/href")];
}

class GoogleEarthLinkTest : public ::testing::Test {
protected:
    // A link of a test's own: its link file in `dir`, its port and token in `settings`.
    static GoogleEarthLinkOptions Options(const QTemporaryDir& dir, QSettings& settings)
    {
        GoogleEarthLinkOptions options;
        options.OpenInGoogleEarth = false;
        options.LinkDirectory = dir.path();
        options.Settings = &settings;
        return options;
    }

    QUrl PollUrl(const QString& view) const { return QUrl(link_.documentUrl().toString() + u'?' + view); }

    QTemporaryDir dir_;
    QSettings settings_{dir_.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    GoogleEarthLink link_{Options(dir_, settings_)};
};

inline long ResidentKiB()
{
    for (const QByteArray& line : ReadAll(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Another program (the poll client, an attacker, tideplot) in its own process, while this
// one serves.
class Helper {
public:
    explicit Helper(const QStringList& args, const QString& program = QStringLiteral(GELINK_POLL_CLIENT),
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(environment);
        process.start(program, args);
    }
    ~Helper()
    {
        process.kill();
        process.waitForFinished();
    }
    // Waits until the output matches `pattern`; returns its last captured text, or nothing.
    QString waitFor(const QString& pattern)
    {
        const QRegularExpression expression(pattern);
        while (!expression.match(output_).hasMatch() && process.waitForReadyRead(20'000))
            output_ += QString::fromLocal8Bit(process.readAllStandardOutput());
        const auto match = expression.match(output_);
        return match.captured(match.lastCapturedIndex());
    }
    // Waits for the end and returns all it printed (or "timed out").
    QString finish()
    {
        if (process.state() != QProcess::NotRunning)
            Wait(&process, &QProcess::finished, 60'000);
        output_ += QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
        return process.state() == QProcess::NotRunning ? output_.trimmed() : QStringLiteral("timed out");
    }

    QProcess process;

private:
    QString output_;
};

// A number that a helper printed after `name` ("slowest 12 ms" -> 12), or -1.
inline long long Reported(const QString& report, const QString& name)
{
    const auto match = QRegularExpression(QStringLiteral("\\b%1 (\\d+)").arg(name)).match(report);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace tideplot
