#include "earth/kmltracks.h"

#include "earth/kmlcourse.h"

#include <QBuffer>
#include <QHash>
#include <QXmlStreamWriter>

#include <charconv>
#include <string>

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
        styles_.emplace(line.Colour, line.Width);
        it->Lines.push_back(std::move(line));
    }
}

namespace {

QString StyleId(KmlColour colour, double width)
{
    return QStringLiteral("line-%1-w%2").arg(KmlColourText(colour), KmlNumberText(width));
}

void AppendNumber(std::string& text, double value)
{
    // As KmlNumberText writes it: the shortest text that reads back as the same double.
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0);
    text.append(buffer, end);
}

std::string CoordinatesText(const std::vector<KmlCoordinate>& points)
{
    // Written straight into one buffer: a long race has some hundred thousand numbers.
    std::string text;
    text.reserve(points.size() * 40);
    for (const auto& p : points) {
        if (!text.empty())
            text += ' ';
        AppendNumber(text, p.Lon);
        text += ',';
        AppendNumber(text, p.Lat);
        text += ',';
        AppendNumber(text, p.Alt);
    }
    return text;
}

void WriteCoordinates(QXmlStreamWriter& xml, const std::vector<KmlCoordinate>& points)
{
    const std::string text = CoordinatesText(points);
    xml.writeTextElement(QStringLiteral("coordinates"),
                         QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

// A track's Placemark as the document's writer lays it out inside a Folder. Style ids and
// coordinates hold nothing that XML would escape.
void AppendPlacemark(QByteArray& out, const KmlLineString& line)
{
    out += "\n   <Placemark>\n    <styleUrl>#";
    out += StyleId(line.Colour, line.Width).toLatin1();
    out += "</styleUrl>\n    <LineString>\n     <coordinates>";
    const std::string coordinates = CoordinatesText(line.Points);
    out.append(coordinates.data(), static_cast<qsizetype>(coordinates.size()));
    out += "</coordinates>\n    </LineString>\n   </Placemark>";
}

struct Run {
    KmlLineString Line;
    std::size_t FirstLine; // index of its first line in the track
};

// Joins lines that continue one another, from line `first` on, into runs of points in
// sailing order. Only the last run can grow with lines added later.
std::vector<Run> MergeRuns(const std::vector<KmlLineString>& lines, std::size_t first)
{
    std::vector<Run> runs;
    for (std::size_t i = first; i < lines.size(); ++i) {
        const auto& line = lines[i];
        if (line.Points.size() == 2 && !runs.empty()) {
            auto& run = runs.back().Line;
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
        runs.push_back({std::move(run), i});
    }
    return runs;
}

} // namespace

QByteArray KmlTrackCollection::toKml(const QString& title, Layout layout) const
{
    QByteArray out;
    QBuffer device(&out);
    device.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&device);
    StartKmlFile(xml, QStringLiteral("Document"));
    xml.writeTextElement(QStringLiteral("name"), XmlSafeText(title));
    xml.writeTextElement(QStringLiteral("open"), QStringLiteral("1"));
    if (camera_)
        WriteLookAt(xml, *camera_);
    for (const auto& [colour, width] : styles_) {
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeAttribute(QStringLiteral("id"), StyleId(colour, width));
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), KmlColourText(colour));
        xml.writeTextElement(QStringLiteral("width"), KmlNumberText(width));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    if (course_)
        WriteKmlCourse(xml, *course_);
    finishedRuns_.resize(tracks_.size());
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        const Track& track = tracks_[t];
        xml.writeStartElement(QStringLiteral("Folder"));
        xml.writeTextElement(QStringLiteral("name"), XmlSafeText(track.Name));
        if (layout == Layout::EveryLine) {
            for (const auto& line : track.Lines) {
                xml.writeStartElement(QStringLiteral("Placemark"));
                xml.writeTextElement(QStringLiteral("styleUrl"), QLatin1Char('#') + StyleId(line.Colour, line.Width));
                xml.writeStartElement(QStringLiteral("LineString"));
                WriteCoordinates(xml, line.Points);
                xml.writeEndElement();
                xml.writeEndElement();
            }
        } else {
            // The finished runs' text is kept; only the runs still open are merged and
            // written again. Both go to the device between the writer's elements.
            FinishedRuns& finished = finishedRuns_[t];
            const std::vector<Run> runs = MergeRuns(track.Lines, finished.openFrom);
            for (std::size_t r = 0; r + 1 < runs.size(); ++r)
                AppendPlacemark(finished.placemarks, runs[r].Line);
            if (!runs.empty())
                finished.openFrom = runs.back().FirstLine;
            device.write(finished.placemarks);
            if (!runs.empty()) {
                QByteArray open;
                AppendPlacemark(open, runs.back().Line);
                device.write(open);
            }
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace tideplot
