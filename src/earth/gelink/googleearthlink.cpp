#include "earth/gelink/googleearthlink.h"

#include "core/error.h"
#include "core/outputfile.h"
#include "earth/gelink/loopbackhttpserver.h"
#include "earth/kmldocument.h"
#include "earth/kmltracks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHttpServerRequest>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>
#include <QXmlStreamWriter>

#include <algorithm>
#include <array>
#include <cmath>

namespace tideplot {

namespace {

const QString kDocumentTitle = QStringLiteral("Tideplot1");
const QString kLinkName = QStringLiteral("Tideplot1 live replay");
const QString kLinkFileName = QStringLiteral("tideplot-live.kml");
const QString kViewFormat = QStringLiteral("[lookatLon],[lookatLat],[lookatRange],[lookatTilt],[lookatHeading]");
const QByteArray kKmlMimeType = "application/vnd.google-earth.kml+xml";
// Google Earth asks for the link again this long after the user stops moving the view.
const QString kViewRefreshSeconds = QStringLiteral("0.5");

// The program's settings store, and where the link keeps its port and address in it.
const QString kSettingsName = QStringLiteral("Tideplot1");
const QString kSettingsGroup = QStringLiteral("GoogleEarthLink");
const QString kPortKey = QStringLiteral("Port");
const QString kTokenKey = QStringLiteral("Token");

// A path part nobody can guess, so that only whoever reads the link file finds the server.
QString RandomToken()
{
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString token;
    for (const quint32 word : words)
        token += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return token;
}

bool IsToken(const QString& text)
{
    static const QRegularExpression token(QStringLiteral("^[0-9a-f]{32}$"));
    return token.match(text).hasMatch();
}

// What the link says about itself in Google Earth's Places panel.
QString LinkDescription(const QUrl& server, const QString& linkFile)
{
    return QStringLiteral("The race that Tideplot1 replays, fetched every second from %1 while Tideplot1 runs. "
                          "Keep this link in My Places: it shows every later replay as well. "
                          "To fetch the race at once, right-click the link and choose Refresh. "
                          "When Tideplot1 reports that it had to take another port, this link no longer "
                          "reaches it: delete it and open %2 again (File, Open).")
        .arg(server.toString(), QDir::toNativeSeparators(linkFile));
}

QByteArray LinkFileText(const QUrl& href, const QString& description)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    StartKmlFile(xml, QStringLiteral("NetworkLink"));
    xml.writeTextElement(QStringLiteral("name"), kLinkName);
    xml.writeTextElement(QStringLiteral("open"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("description"), XmlSafeText(description));
    xml.writeTextElement(QStringLiteral("flyToView"), QStringLiteral("1"));
    xml.writeStartElement(QStringLiteral("Link"));
    xml.writeTextElement(QStringLiteral("href"), href.toString(QUrl::FullyEncoded));
    xml.writeTextElement(QStringLiteral("refreshMode"), QStringLiteral("onInterval"));
    xml.writeTextElement(QStringLiteral("refreshInterval"), QStringLiteral("1"));
    // A link that never refreshes on a view change sends no view at all: Google Earth
    // leaves out its viewFormat then.
    xml.writeTextElement(QStringLiteral("viewRefreshMode"), QStringLiteral("onStop"));
    xml.writeTextElement(QStringLiteral("viewRefreshTime"), kViewRefreshSeconds);
    xml.writeTextElement(QStringLiteral("viewFormat"), kViewFormat);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    // The program's files end their lines with CR LF.
    return out.replace("\n", "\r\n");
}

QString LinkFilePath(QString directory)
{
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    return QDir(directory).filePath(kLinkFileName);
}

void WriteLinkFile(const QString& path, const QByteArray& text)
{
    const QString directory = QFileInfo(path).path();
    if (!QDir().mkpath(directory))
        throw Error("Cannot create the folder " + QDir::toNativeSeparators(directory).toStdString() +
                    " for the Google Earth link file.");
    // The link file holds the address token: only its owner reads it.
    OutputFile file(path, "the Google Earth link file", OutputFile::Access::OwnerOnly);
    file.Write(text);
    file.Commit();
}

// The LookAt element as a piece of the served document, between its open element and its
// styles.
QByteArray LookAtText(const CameraInfoGE& camera)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    WriteLookAt(xml, camera);
    return "  " + out.trimmed().replace("\n", "\n  ") + "\n";
}

// The settings file holds the address token too: it is made readable by its owner only
// before QSettings writes it (QSettings keeps the permissions of the file it replaces).
void MakeSettingsFilePrivate(const QSettings& settings)
{
    const QString path = settings.fileName();
    if (!QFileInfo(path).isAbsolute())
        return; // not a file (the Windows registry)
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        file.close();
    if (QFileInfo(path).isFile())
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// What went wrong when the settings were written, in words for the user, or empty.
QString SettingsProblem(const QSettings& settings)
{
    QString why;
    switch (settings.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        why = QStringLiteral("it cannot be written");
        break;
    case QSettings::FormatError:
        why = QStringLiteral("it is no settings file");
        break;
    }
    return QStringLiteral("The link's port and address could not be kept in the settings file %1 (%2): a link saved "
                          "in Google Earth Pro reaches only this run of the replay, and the next run may use "
                          "another address.")
        .arg(QDir::toNativeSeparators(settings.fileName()), why);
}

struct OpenResult {
    bool Opened = false;
    QString Report;
};

const QStringList& GoogleEarthProgramNames()
{
    static const QStringList names{QStringLiteral("google-earth-pro"), QStringLiteral("googleearth"),
                                   QStringLiteral("google-earth")};
    return names;
}

// Google Earth Pro opens the file in the running instance, or starts with it.
OpenResult OpenWithGoogleEarth(const QString& path)
{
    const QString file = QDir::toNativeSeparators(path);
    const QString program = FindGoogleEarthProgram();
    if (!program.isEmpty() && QProcess::startDetached(program, {path}))
        return {true, QStringLiteral("Opened %1 with %2.").arg(file, program)};
    // The file association is reached through the desktop, which only a GUI application has.
    const bool desktop = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (desktop && QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return {true, QStringLiteral("Opened %1 with the program that opens .kml files.").arg(file)};
    QString why = program.isEmpty()
                      ? QStringLiteral("none of %1 is on the PATH").arg(GoogleEarthProgramNames().join(u", "))
                      : QStringLiteral("%1 did not start").arg(program);
    if (desktop)
        why += QStringLiteral(" and no program opens .kml files");
    return {false, QStringLiteral("Google Earth Pro could not be started: %1. "
                                  "Open %2 in Google Earth Pro (File, Open) to see the replay.")
                       .arg(why, file)};
}

bool InRange(double value, double low, double high)
{
    return value >= low && value <= high;
}

} // namespace

QString FindGoogleEarthProgram()
{
    for (const QString& name : GoogleEarthProgramNames())
        if (QString program = QStandardPaths::findExecutable(name); !program.isEmpty())
            return program;
    return {};
}

namespace {

std::optional<GoogleEarthView> ParseViewNumbers(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 5)
        return std::nullopt;
    std::array<double, 5> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        bool ok = false;
        values[i] = parts[static_cast<qsizetype>(i)].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return std::nullopt;
    }
    GoogleEarthView view{values[0], values[1], values[2], values[3], values[4]};
    if (!InRange(view.LookAtLongitudeDeg, -180, 180) || !InRange(view.LookAtLatitudeDeg, -90, 90) ||
        view.RangeMetres < 0 || view.TiltDeg < 0 || !InRange(view.HeadingDeg, -360, 360))
        return std::nullopt;
    // Looking up from below the horizon is no view a LookAt can hold.
    view.TiltDeg = std::min(view.TiltDeg, 90.0);
    return view;
}

QString PercentDecoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toLatin1());
}

} // namespace

std::optional<GoogleEarthView> ParseGoogleEarthView(const QString& query)
{
    static const QRegularExpression separators(QStringLiteral("[&;]"));
    std::optional<QString> numbers;
    for (const QString& parameter : query.split(separators, Qt::SkipEmptyParts)) {
        const auto equals = parameter.indexOf(u'=');
        const QString name = PercentDecoded(equals < 0 ? parameter : parameter.left(equals));
        const QString value = equals < 0 ? QString() : PercentDecoded(parameter.mid(equals + 1));
        if (equals >= 0 && name.compare(u"CAMERA", Qt::CaseInsensitive) == 0) {
            numbers = value;
            break;
        }
        if (!numbers && value.isEmpty() && name.contains(u','))
            numbers = name;
    }
    if (!numbers)
        return std::nullopt;
    return ParseViewNumbers(*numbers);
}

struct GoogleEarthLink::Impl {
    KmlTrackCollection tracks;
    bool settingsProblemTold = false;
    quint64 loads = 0;
    std::optional<CameraInfoGE> camera;  // of the last SetCamera
    quint64 cameraSets = 0;              // SetCamera calls so far
    quint64 lookAtServedFor = 0;         // the value of cameraSets the last LookAt was served for
    CameraInfoGE reportedWhenCameraSet;  // what GetCamera said at that time
    std::optional<GoogleEarthView> view; // of the last poll
    QByteArray tracksDocument;           // everything loaded, without a LookAt
    qsizetype lookAtOffset = 0;          // where a LookAt goes in it
    quint64 tracksDocumentLoads = 0;
    bool tracksDocumentValid = false;
    QString documentPath;
    QString linkFile;
    bool opened = false;
    QString report;
    QString settingsProblem;
    std::function<void()> whenServed;
    QTimer quiet;
    QTimer limit;
    std::unique_ptr<LoopbackHttpServer> server; // last, so it goes first

    CameraInfoGE reportedCamera() const
    {
        if (!view)
            return camera.value_or(CameraInfoGE{});
        CameraInfoGE c;
        if (camera) {
            c.FocusPointAltitude = camera->FocusPointAltitude;
            c.FocusPointAltitudeMode = camera->FocusPointAltitudeMode;
        }
        c.FocusPointLongitude = view->LookAtLongitudeDeg;
        c.FocusPointLatitude = view->LookAtLatitudeDeg;
        c.Range = view->RangeMetres;
        c.Tilt = view->TiltDeg;
        c.Azimuth = view->HeadingDeg;
        return c;
    }

    CameraInfoGE lookAt() const
    {
        CameraInfoGE c = *camera;
        // The replay keeps the heading and tilt that GetCamera gave it. A poll reports the view
        // as it was before Google Earth flew to the previous answer, so those angles may be one
        // poll old: served as they are, they would turn the view back when the user has just
        // turned it. Kept angles are therefore served as the newest poll reports them; angles
        // set to anything else are served as set.
        if (view && c.Azimuth == reportedWhenCameraSet.Azimuth && c.Tilt == reportedWhenCameraSet.Tilt) {
            c.Azimuth = view->HeadingDeg;
            c.Tilt = view->TiltDeg;
        }
        return c;
    }

    // The answer to a poll: everything loaded and, when a camera was set since the last
    // poll, that camera as a LookAt (once: later polls leave the user's view alone).
    QByteArray document()
    {
        if (!tracksDocumentValid || tracksDocumentLoads != loads) {
            tracksDocument = tracks.toKml(kDocumentTitle, KmlTrackCollection::Layout::MergedRuns);
            lookAtOffset = tracksDocument.indexOf('\n', tracksDocument.indexOf("</open>")) + 1;
            tracksDocumentLoads = loads;
            tracksDocumentValid = true;
        }
        if (!camera || lookAtServedFor == cameraSets)
            return tracksDocument;
        lookAtServedFor = cameraSets;
        QByteArray withLookAt = tracksDocument;
        return withLookAt.insert(lookAtOffset, LookAtText(lookAt()));
    }

    void answer(const QHttpServerRequest& request, QHttpServerResponder& responder, QTcpSocket& socket)
    {
        using Status = QHttpServerResponder::StatusCode;
        const QUrl url = request.url();
        if (url.path() != documentPath) {
            WriteTextReply(responder, Status::NotFound, "Not found.\n");
            return;
        }
        if (request.method() != QHttpServerRequest::Method::Get) {
            responder.write("Only GET is served here.\n",
                            {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET"}},
                            Status::MethodNotAllowed);
            return;
        }
        if (const auto polled = ParseGoogleEarthView(url.query(QUrl::FullyEncoded)))
            view = polled;
        responder.write(document(), {{"Content-Type", kKmlMimeType}, {"Cache-Control", "no-store"}}, Status::Ok);
        if (whenServed)
            servedAfterTheEnd(socket);
    }

    void servedAfterTheEnd(QTcpSocket& socket)
    {
        quiet.start();
        if (socket.bytesToWrite() == 0) {
            finishServing();
            return;
        }
        QObject::connect(&socket, &QIODevice::bytesWritten, &socket, [this, &socket] {
            if (socket.bytesToWrite() == 0)
                finishServing();
        });
    }

    void finishServing()
    {
        if (!whenServed)
            return;
        quiet.stop();
        limit.stop();
        const auto done = std::move(whenServed);
        whenServed = nullptr;
        done();
    }
};

GoogleEarthLink::GoogleEarthLink(GoogleEarthLinkOptions options) : d_(std::make_unique<Impl>())
{
    if (!QCoreApplication::instance())
        throw Error("The Google Earth link needs a running Qt application.");
    std::unique_ptr<QSettings> programSettings;
    QSettings* settings = options.Settings;
    if (!settings) {
        programSettings = std::make_unique<QSettings>(kSettingsName, kSettingsName);
        settings = programSettings.get();
    }
    settings->beginGroup(kSettingsGroup);
    QString token = settings->value(kTokenKey).toString();
    bool storedPortRead = false;
    const int storedPort = settings->value(kPortKey).toInt(&storedPortRead);
    const quint16 preferredPort =
        storedPortRead && storedPort >= 1024 && storedPort <= 65535 ? static_cast<quint16>(storedPort) : quint16{0};

    const HttpLimits limits{options.MaxRequestBytes, options.MaxConnections, options.IdleTimeoutMs,
                            options.RequestDeadlineMs, options.MaxUnsentBytes};
    d_->server = std::make_unique<LoopbackHttpServer>(
        limits, [impl = d_.get()](const QHttpServerRequest& request, QHttpServerResponder& responder,
                                  QTcpSocket& socket) { impl->answer(request, responder, socket); });
    const quint16 port = d_->server->listenOnLoopback(preferredPort);
    // A new port gets a new token: whoever holds the old port learnt nothing of the new
    // address from the old one.
    const bool moved = preferredPort != 0 && port != preferredPort;
    if (!IsToken(token) || moved)
        token = RandomToken();
    d_->documentPath = QLatin1Char('/') + token + QStringLiteral("/race.kml");
    settings->setValue(kTokenKey, token);
    settings->setValue(kPortKey, port);
    settings->endGroup();
    MakeSettingsFilePrivate(*settings);
    settings->sync();
    d_->settingsProblem = SettingsProblem(*settings);
    if (!d_->settingsProblem.isEmpty())
        qWarning("%s", qUtf8Printable(d_->settingsProblem));

    d_->linkFile = LinkFilePath(options.LinkDirectory);
    WriteLinkFile(d_->linkFile, LinkFileText(documentUrl(), LinkDescription(serverUrl(), d_->linkFile)));
    const QString movedReport =
        moved ? QStringLiteral("Port %1 is taken by another program, so the link now uses port %2: a link saved in "
                               "Google Earth Pro before no longer reaches the replay. Open %3 again and delete the "
                               "old link. ")
                    .arg(preferredPort)
                    .arg(port)
                    .arg(QDir::toNativeSeparators(d_->linkFile))
              : QString();
    if (options.OpenInGoogleEarth) {
        const OpenResult result = OpenWithGoogleEarth(d_->linkFile);
        d_->opened = result.Opened;
        d_->report = movedReport + result.Report;
        if (!result.Opened)
            qWarning("%s", qUtf8Printable(result.Report));
    } else {
        d_->report = movedReport + QStringLiteral("Open %1 in Google Earth Pro to see the replay.")
                                       .arg(QDir::toNativeSeparators(d_->linkFile));
    }

    d_->quiet.setSingleShot(true);
    d_->limit.setSingleShot(true);
    d_->quiet.callOnTimeout([impl = d_.get()] { impl->finishServing(); });
    d_->limit.callOnTimeout([impl = d_.get()] { impl->finishServing(); });
}

GoogleEarthLink::~GoogleEarthLink() = default;

void GoogleEarthLink::LoadKmlData(const std::string& kmlText)
{
    d_->tracks.add(ParseKmlLines(kmlText));
    ++d_->loads;
}

void GoogleEarthLink::SetCourse(const std::optional<Course>& course)
{
    d_->tracks.setCourse(course);
    d_->tracksDocumentValid = false;
    ++d_->loads;
}

void GoogleEarthLink::ClearKmlData()
{
    const std::optional<Course> course = d_->tracks.course();
    d_->tracks = KmlTrackCollection{};
    d_->tracks.setCourse(course);
    d_->tracksDocumentValid = false;
    ++d_->loads;
}

std::vector<std::string> GoogleEarthLink::TakeWarnings()
{
    std::vector<std::string> warnings;
    if (!d_->settingsProblemTold && !settingsProblem().isEmpty())
        warnings.push_back(settingsProblem().toLocal8Bit().toStdString());
    d_->settingsProblemTold = true;
    return warnings;
}

CameraInfoGE GoogleEarthLink::GetCamera(int /*considerTerrainFlag*/)
{
    return d_->reportedCamera();
}

void GoogleEarthLink::SetCamera(const CameraInfoGE& camera, double /*speed*/)
{
    d_->reportedWhenCameraSet = d_->reportedCamera();
    d_->camera = camera;
    ++d_->cameraSets;
}

void GoogleEarthLink::callWhenServed(std::function<void()> done, int quietMs, int limitMs)
{
    d_->whenServed = std::move(done);
    d_->quiet.start(quietMs);
    d_->limit.start(limitMs);
}

QUrl GoogleEarthLink::serverUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(d_->server->port()));
}

QUrl GoogleEarthLink::documentUrl() const
{
    QUrl url = serverUrl();
    url.setPath(d_->documentPath);
    return url;
}

QString GoogleEarthLink::linkFilePath() const
{
    return d_->linkFile;
}

bool GoogleEarthLink::openedInGoogleEarth() const
{
    return d_->opened;
}

QString GoogleEarthLink::openReport() const
{
    return d_->report;
}

QString GoogleEarthLink::settingsProblem() const
{
    return d_->settingsProblem;
}

} // namespace tideplot
