#include "earth/gelink/googleearthlink.h"

#include "core/error.h"
#include "earth/gelink/loopbackhttpserver.h"
#include "earth/kmldocument.h"
#include "earth/kmltracks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QHttpServerRequest>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamWriter>

#include <array>
#include <cmath>

namespace tideplot {

namespace {

const QString kDocumentTitle = QStringLiteral("Tideplot1");
const QString kLinkName = QStringLiteral("Tideplot1 live replay");
const QString kLinkFileName = QStringLiteral("tideplot-live.kml");
const QString kViewFormat = QStringLiteral("[lookatLon],[lookatLat],[lookatRange],[lookatTilt],[lookatHeading]");
const QByteArray kKmlMimeType = "application/vnd.google-earth.kml+xml";

bool SameCamera(const CameraInfoGE& a, const CameraInfoGE& b)
{
    return a.FocusPointLatitude == b.FocusPointLatitude && a.FocusPointLongitude == b.FocusPointLongitude &&
           a.FocusPointAltitude == b.FocusPointAltitude && a.FocusPointAltitudeMode == b.FocusPointAltitudeMode &&
           a.Range == b.Range && a.Tilt == b.Tilt && a.Azimuth == b.Azimuth;
}

bool SameCamera(const std::optional<CameraInfoGE>& a, const std::optional<CameraInfoGE>& b)
{
    return a.has_value() == b.has_value() && (!a || SameCamera(*a, *b));
}

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

QByteArray LinkFileText(const QUrl& href)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    StartKmlFile(xml, QStringLiteral("NetworkLink"));
    xml.writeTextElement(QStringLiteral("name"), kLinkName);
    xml.writeTextElement(QStringLiteral("open"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("flyToView"), QStringLiteral("1"));
    xml.writeStartElement(QStringLiteral("Link"));
    xml.writeTextElement(QStringLiteral("href"), href.toString(QUrl::FullyEncoded));
    xml.writeTextElement(QStringLiteral("refreshMode"), QStringLiteral("onInterval"));
    xml.writeTextElement(QStringLiteral("refreshInterval"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("viewFormat"), kViewFormat);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    // The program's files end their lines with CR LF.
    return out.replace("\n", "\r\n");
}

QString WriteLinkFile(QString directory, const QUrl& href)
{
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    const QString path = QDir(directory).filePath(kLinkFileName);
    if (!QDir().mkpath(directory))
        throw Error("Cannot create the folder " + QDir::toNativeSeparators(directory).toStdString() +
                    " for the Google Earth link file.");
    QSaveFile file(path);
    const QByteArray text = LinkFileText(href);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw Error("Cannot write the Google Earth link file " + QDir::toNativeSeparators(path).toStdString() + ": " +
                    file.errorString().toStdString());
    return path;
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

std::optional<GoogleEarthView> ParseGoogleEarthView(const QString& query)
{
    const QStringList parts = query.split(u',');
    if (parts.size() != 5)
        return std::nullopt;
    std::array<double, 5> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        bool ok = false;
        values[i] = parts[static_cast<qsizetype>(i)].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return std::nullopt;
    }
    const GoogleEarthView view{values[0], values[1], values[2], values[3], values[4]};
    if (!InRange(view.LookAtLongitudeDeg, -180, 180) || !InRange(view.LookAtLatitudeDeg, -90, 90) ||
        view.RangeMetres < 0 || !InRange(view.TiltDeg, 0, 180) || !InRange(view.HeadingDeg, -360, 360))
        return std::nullopt;
    return view;
}

struct GoogleEarthLink::Impl {
    KmlTrackCollection tracks;
    quint64 loads = 0;
    std::optional<CameraInfoGE> camera;  // of the last SetCamera
    CameraInfoGE reportedWhenCameraSet;  // what GetCamera said at that time
    std::optional<GoogleEarthView> view; // of the last poll
    QByteArray served;                   // the last answer, kept while nothing changed
    quint64 servedLoads = 0;
    std::optional<CameraInfoGE> servedLookAt;
    bool servedValid = false;
    QString documentPath;
    QString linkFile;
    bool opened = false;
    QString report;
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

    std::optional<CameraInfoGE> lookAt() const
    {
        if (!camera)
            return std::nullopt;
        CameraInfoGE c = *camera;
        // The replay keeps the heading and tilt that GetCamera gave it. A poll reports the view
        // as it was before Google Earth flew to the previous answer, so those angles are one
        // poll old: served again, they would turn the view back each time the user turns it.
        // Kept angles are therefore served as the newest poll reports them; angles set to
        // anything else are served as set.
        if (view && c.Azimuth == reportedWhenCameraSet.Azimuth && c.Tilt == reportedWhenCameraSet.Tilt) {
            c.Azimuth = view->HeadingDeg;
            c.Tilt = view->TiltDeg;
        }
        return c;
    }

    const QByteArray& document()
    {
        const auto look = lookAt();
        if (!servedValid || servedLoads != loads || !SameCamera(servedLookAt, look)) {
            if (look)
                tracks.setCamera(*look);
            served = tracks.toKml(kDocumentTitle, KmlTrackCollection::Layout::MergedRuns);
            servedLoads = loads;
            servedLookAt = look;
            servedValid = true;
        }
        return served;
    }

    void answer(const QHttpServerRequest& request, QHttpServerResponder& responder)
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
        if (const auto polled = ParseGoogleEarthView(url.query(QUrl::FullyDecoded)))
            view = polled;
        responder.write(document(), {{"Content-Type", kKmlMimeType}, {"Cache-Control", "no-store"}}, Status::Ok);
    }
};

GoogleEarthLink::GoogleEarthLink(GoogleEarthLinkOptions options) : d_(std::make_unique<Impl>())
{
    if (!QCoreApplication::instance())
        throw Error("The Google Earth link needs a running Qt application.");
    d_->documentPath = QLatin1Char('/') + RandomToken() + QStringLiteral("/race.kml");
    const HttpLimits limits{options.MaxRequestBytes, options.MaxConnections, options.IdleTimeoutMs};
    d_->server = std::make_unique<LoopbackHttpServer>(
        limits, [impl = d_.get()](const QHttpServerRequest& request, QHttpServerResponder& responder) {
            impl->answer(request, responder);
        });
    d_->server->listenOnLoopback();
    d_->linkFile = WriteLinkFile(options.LinkDirectory, documentUrl());
    if (options.OpenInGoogleEarth) {
        const OpenResult result = OpenWithGoogleEarth(d_->linkFile);
        d_->opened = result.Opened;
        d_->report = result.Report;
        if (!result.Opened)
            qWarning("%s", qUtf8Printable(result.Report));
    } else {
        d_->report = QStringLiteral("Open %1 in Google Earth Pro to see the replay.")
                         .arg(QDir::toNativeSeparators(d_->linkFile));
    }
}

GoogleEarthLink::~GoogleEarthLink() = default;

void GoogleEarthLink::LoadKmlData(const std::string& kmlText)
{
    d_->tracks.add(ParseKmlLines(kmlText));
    ++d_->loads;
}

CameraInfoGE GoogleEarthLink::GetCamera(int /*considerTerrainFlag*/)
{
    return d_->reportedCamera();
}

void GoogleEarthLink::SetCamera(const CameraInfoGE& camera, double /*speed*/)
{
    d_->reportedWhenCameraSet = d_->reportedCamera();
    d_->camera = camera;
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

} // namespace tideplot
