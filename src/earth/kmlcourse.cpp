#include "earth/kmlcourse.h"

#include "core/geometry.h"
#include "earth/kmldocument.h"

#include <QXmlStreamWriter>

namespace tideplot {

namespace {

constexpr int kLineSquares = 15; // pieces of a chequered line, the coloured ones first and last
constexpr int kGateDashes = 9;
const QString kDotIcon = QStringLiteral("https://maps.google.com/mapfiles/kml/shapes/shaded_dot.png");

QString Tuple(double lat, double lon)
{
    return KmlNumberText(lon) + u',' + KmlNumberText(lat) + QStringLiteral(",0");
}

void WriteLineString(QXmlStreamWriter& xml, double lat1, double lon1, double lat2, double lon2)
{
    xml.writeStartElement(QStringLiteral("LineString"));
    xml.writeTextElement(QStringLiteral("coordinates"), Tuple(lat1, lon1) + u' ' + Tuple(lat2, lon2));
    xml.writeEndElement();
}

// Every other of `pieces` equal pieces of the segment, the first included.
void WriteDashes(QXmlStreamWriter& xml, const FinishLine& line, int pieces)
{
    const double dLon = UnwrapLongitude(line.Lon2, line.Lon1) - line.Lon1;
    auto at = [&](int i, double& lat, double& lon) {
        const double f = static_cast<double>(i) / pieces;
        lat = line.Lat1 + (line.Lat2 - line.Lat1) * f;
        lon = FoldLongitude(line.Lon1 + dLon * f);
    };
    for (int i = 0; i < pieces; i += 2) {
        double lat1 = 0, lon1 = 0, lat2 = 0, lon2 = 0;
        at(i, lat1, lon1);
        at(i + 1, lat2, lon2);
        WriteLineString(xml, lat1, lon1, lat2, lon2);
    }
}

void StartPlacemark(QXmlStreamWriter& xml, const QString& name)
{
    xml.writeStartElement(QStringLiteral("Placemark"));
    xml.writeTextElement(QStringLiteral("name"), XmlSafeText(name));
}

void WriteStyle(QXmlStreamWriter& xml, std::uint32_t iconRgb, bool icon, std::uint32_t lineColour, double width)
{
    xml.writeStartElement(QStringLiteral("Style"));
    if (icon) {
        xml.writeStartElement(QStringLiteral("IconStyle"));
        xml.writeTextElement(QStringLiteral("color"), KmlColourText(KmlColourOfRgb(iconRgb)));
        xml.writeStartElement(QStringLiteral("Icon"));
        xml.writeTextElement(QStringLiteral("href"), kDotIcon);
        xml.writeEndElement();
        xml.writeEndElement();
    }
    if (width > 0) {
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), KmlColourText(lineColour));
        xml.writeTextElement(QStringLiteral("width"), KmlNumberText(width));
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

void WritePoint(QXmlStreamWriter& xml, double lat, double lon)
{
    xml.writeStartElement(QStringLiteral("Point"));
    xml.writeTextElement(QStringLiteral("coordinates"), Tuple(lat, lon));
    xml.writeEndElement();
}

// A white line under coloured squares: two placemarks of the line's name.
void WriteChequeredLine(QXmlStreamWriter& xml, const QString& name, const FinishLine& line, std::uint32_t rgb)
{
    StartPlacemark(xml, name);
    WriteStyle(xml, 0, false, 0xffffffff, 6);
    WriteLineString(xml, line.Lat1, line.Lon1, line.Lat2, line.Lon2);
    xml.writeEndElement();
    StartPlacemark(xml, name);
    WriteStyle(xml, 0, false, KmlColourOfRgb(rgb), 6);
    xml.writeStartElement(QStringLiteral("MultiGeometry"));
    WriteDashes(xml, line, kLineSquares);
    xml.writeEndElement();
    xml.writeEndElement();
}

void WriteMark(QXmlStreamWriter& xml, const CourseMark& mark)
{
    StartPlacemark(xml, QString::fromLocal8Bit(mark.Name));
    if (mark.Gate) {
        xml.writeTextElement(QStringLiteral("description"), QStringLiteral("a gate: pass between its buoys"));
        WriteStyle(xml, kGateRgb, true, 0xff282828, 2);
        xml.writeStartElement(QStringLiteral("MultiGeometry"));
        WritePoint(xml, mark.Lat, mark.Lon);
        WritePoint(xml, mark.Lat2, mark.Lon2);
        WriteDashes(xml, FinishLine{mark.Lat, mark.Lon, mark.Lat2, mark.Lon2}, kGateDashes);
        xml.writeEndElement();
    } else {
        xml.writeTextElement(QStringLiteral("description"),
                             QStringLiteral("leave to ") + QString::fromLatin1(MarkSideName(mark.Side)));
        WriteStyle(xml, mark.Side == MarkSide::Port ? kPortMarkRgb : kStarboardMarkRgb, true, 0, 0);
        WritePoint(xml, mark.Lat, mark.Lon);
    }
    xml.writeEndElement();
}

} // namespace

std::uint32_t KmlColourOfRgb(std::uint32_t rgb)
{
    return 0xff000000u | ((rgb & 0xffu) << 16) | (rgb & 0xff00u) | ((rgb >> 16) & 0xffu);
}

void WriteKmlCourse(QXmlStreamWriter& xml, const Course& course)
{
    if (course.FinishOnly())
        return;
    xml.writeStartElement(QStringLiteral("Folder"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Course"));
    if (course.Start)
        WriteChequeredLine(xml, QStringLiteral("Start line"), *course.Start, kStartLineRgb);
    if (course.Finish)
        WriteChequeredLine(xml, QStringLiteral("Finish line"), *course.Finish, 0x000000);
    for (const CourseMark& mark : course.Marks)
        WriteMark(xml, mark);
    xml.writeEndElement();
}

} // namespace tideplot
