#include "earth/kmltracks.h"

#include <QHash>
#include <QXmlStreamWriter>

#include <map>

namespace tideplot {

void StartKmlFile(QXmlStreamWriter& xml, const QString& topElement)
{
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/kml/2.2"));
    xml.writeStartElement(topElement);
}

void WriteLookAt(QXmlStreamWriter& xml, const CameraInfoGE& camera)
{
    xml.writeStartElement(QStringLiteral("LookAt"));
    xml.writeTextElement(QStringLiteral("longitude"), KmlNumberText(camera.FocusPointLongitude));
    xml.writeTextElement(QStringLiteral("latitude"), KmlNumberText(camera.FocusPointLatitude));
    xml.writeTextElement(QStringLiteral("altitude"), KmlNumberText(camera.FocusPointAltitude));
    xml.writeTextElement(QStringLiteral("heading"), KmlNumberText(camera.Azimuth));
    xml.writeTextElement(QStringLiteral("tilt"), KmlNumberText(camera.Tilt));
    xml.writeTextElement(QStringLiteral("range"), KmlNumberText(camera.Range));
    xml.writeTextElement(QStringLiteral("altitudeMode"), QStringLiteral("relativeToGround"));
    xml.writeEndElement();
}

void KmlTrackCollection::add(std::vector<KmlLineString> lines)
{
    for (auto& line : lines) {
        // Usually the line belongs to the track that got the last one.
        auto it = tracks_.end();
        if (!tracks_.empty() && tracks_.back().Name == line.Name)
            it = tracks_.end() - 1;
        else
            it = std::find_if(tracks_.begin(), tracks_.end(), [&](const Track& t) { return t.Name == line.Name; });
        if (it == tracks_.end()) {
            tracks_.push_back(Track{line.Name, {}});
            it = tracks_.end() - 1;
        }
        it->Lines.push_back(std::move(line));
        ++lineCount_;
    }
}

namespace {

struct StyleKey {
    KmlColour colour;
    double width;
    bool operator<(const StyleKey& o) const { return colour != o.colour ? colour < o.colour : width < o.width; }
};

QString StyleId(const StyleKey& key)
{
    return QStringLiteral("line-%1-w%2").arg(KmlColourText(key.colour), KmlNumberText(key.width));
}

void WriteCoordinates(QXmlStreamWriter& xml, const std::vector<KmlCoordinate>& points)
{
    QString text;
    text.reserve(static_cast<qsizetype>(points.size()) * 32);
    for (const auto& p : points) {
        if (!text.isEmpty())
            text += u' ';
        text += KmlNumberText(p.Lon);
        text += u',';
        text += KmlNumberText(p.Lat);
        text += u',';
        text += KmlNumberText(p.Alt);
    }
    xml.writeTextElement(QStringLiteral("coordinates"), text);
}

// Joins lines that continue one another into runs of points in sailing order.
std::vector<KmlLineString> MergeRuns(const std::vector<KmlLineString>& lines)
{
    std::vector<KmlLineString> runs;
    for (const auto& line : lines) {
        if (line.Points.size() == 2 && !runs.empty()) {
            auto& run = runs.back();
            if (run.Colour == line.Colour && run.Width == line.Width && run.Points.size() >= 2) {
                const auto& a = line.Points[0];
                const auto& b = line.Points[1];
                // A run of one line may still be turned round to meet the next one.
                if (run.Points.size() == 2 && (a == run.Points.front() || b == run.Points.front()) &&
                    !(a == run.Points.back() || b == run.Points.back()))
                    std::reverse(run.Points.begin(), run.Points.end());
                if (b == run.Points.back()) {
                    run.Points.push_back(a);
                    continue;
                }
                if (a == run.Points.back()) {
                    run.Points.push_back(b);
                    continue;
                }
            }
        }
        KmlLineString run = line;
        // The program's documents hold the newer point first; runs go oldest first.
        if (run.Points.size() == 2)
            std::swap(run.Points[0], run.Points[1]);
        runs.push_back(std::move(run));
    }
    return runs;
}

} // namespace

QByteArray KmlTrackCollection::toKml(const QString& title, Layout layout) const
{
    std::map<StyleKey, QString> styles;
    for (const auto& track : tracks_)
        for (const auto& line : track.Lines)
            styles.try_emplace(StyleKey{line.Colour, line.Width}, QString());
    for (auto& [key, id] : styles)
        id = StyleId(key);

    QByteArray out;
    QXmlStreamWriter xml(&out);
    StartKmlFile(xml, QStringLiteral("Document"));
    xml.writeTextElement(QStringLiteral("name"), title);
    xml.writeTextElement(QStringLiteral("open"), QStringLiteral("1"));
    if (camera_)
        WriteLookAt(xml, *camera_);
    for (const auto& [key, id] : styles) {
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeAttribute(QStringLiteral("id"), id);
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), KmlColourText(key.colour));
        xml.writeTextElement(QStringLiteral("width"), KmlNumberText(key.width));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    for (const auto& track : tracks_) {
        xml.writeStartElement(QStringLiteral("Folder"));
        xml.writeTextElement(QStringLiteral("name"), track.Name);
        const std::vector<KmlLineString> merged =
            layout == Layout::MergedRuns ? MergeRuns(track.Lines) : std::vector<KmlLineString>{};
        const auto& lines = layout == Layout::MergedRuns ? merged : track.Lines;
        for (const auto& line : lines) {
            xml.writeStartElement(QStringLiteral("Placemark"));
            xml.writeTextElement(QStringLiteral("styleUrl"),
                                 QLatin1Char('#') + styles.at(StyleKey{line.Colour, line.Width}));
            xml.writeStartElement(QStringLiteral("LineString"));
            WriteCoordinates(xml, line.Points);
            xml.writeEndElement();
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace tideplot
