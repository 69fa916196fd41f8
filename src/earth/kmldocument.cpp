#include "earth/kmldocument.h"

#include "core/error.h"

#include <QHash>
#include <QXmlStreamReader>

#include <charconv>
#include <cmath>

namespace tideplot {

namespace {

struct Style {
    bool hasColour = false;
    KmlColour colour = 0xffffffff;
    bool hasWidth = false;
    double width = 1;
};

struct PendingLine {
    KmlLineString line;
    QString styleUrl;
    Style inlineStyle;
};

bool ParseNumber(QStringView text, double& value)
{
    const QByteArray latin = text.trimmed().toLatin1();
    if (latin.isEmpty())
        return false;
    const char* first = latin.constData();
    const char* last = first + latin.size();
    if (*first == '+')
        ++first;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

class Reader {
public:
    explicit Reader(const QString& text) : xml_(text) {}

    std::vector<KmlLineString> read()
    {
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement())
                element({});
        }
        if (xml_.hasError())
            fail(xml_.errorString());
        std::vector<KmlLineString> lines;
        lines.reserve(pending_.size());
        for (auto& p : pending_) {
            Style style;
            if (!p.styleUrl.isEmpty()) {
                const QString id = p.styleUrl.startsWith(u'#') ? p.styleUrl.mid(1) : p.styleUrl;
                if (const auto it = styles_.constFind(id); it != styles_.constEnd())
                    style = *it;
            }
            if (p.inlineStyle.hasColour)
                style.colour = p.inlineStyle.colour, style.hasColour = true;
            if (p.inlineStyle.hasWidth)
                style.width = p.inlineStyle.width, style.hasWidth = true;
            p.line.Colour = style.colour;
            p.line.Width = style.width;
            lines.push_back(std::move(p.line));
        }
        return lines;
    }

private:
    [[noreturn]] void fail(const QString& reason)
    {
        throw Error(QStringLiteral("the KML document cannot be read (line %1, column %2): %3")
                        .arg(xml_.lineNumber())
                        .arg(xml_.columnNumber())
                        .arg(reason)
                        .toStdString());
    }

    // Reads the element the reader stands on, with everything inside it.
    void element(const QString& containerName)
    {
        const auto name = xml_.name();
        if (name == u"Placemark")
            placemark(containerName);
        else if (name == u"Style")
            style(true, nullptr);
        else if (name == u"Document" || name == u"Folder" || name == u"kml")
            container(containerName);
        else
            xml_.skipCurrentElement();
    }

    void container(const QString& outerName)
    {
        QString ownName = outerName;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"name")
                ownName = xml_.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            else
                element(ownName);
        }
    }

    // A Style element: stored under its id when shared, or into `into`.
    void style(bool shared, Style* into)
    {
        const QString id = xml_.attributes().value(QStringLiteral("id")).toString();
        Style s;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"LineStyle") {
                while (xml_.readNextStartElement()) {
                    if (xml_.name() == u"color") {
                        const QString text = xml_.readElementText().trimmed();
                        if (!ParseKmlColour(text, s.colour))
                            fail(QStringLiteral("the line colour \"%1\" is not aabbggrr").arg(text));
                        s.hasColour = true;
                    } else if (xml_.name() == u"width") {
                        const QString text = xml_.readElementText();
                        if (!ParseNumber(text, s.width) || s.width < 0)
                            fail(QStringLiteral("the line width \"%1\" is not a number").arg(text.trimmed()));
                        s.hasWidth = true;
                    } else {
                        xml_.skipCurrentElement();
                    }
                }
            } else {
                xml_.skipCurrentElement();
            }
        }
        if (into)
            *into = s;
        else if (shared && !id.isEmpty())
            styles_.insert(id, s);
    }

    void placemark(const QString& containerName)
    {
        PendingLine base;
        base.line.Name = containerName;
        std::vector<std::vector<KmlCoordinate>> geometries;
        while (xml_.readNextStartElement()) {
            const auto name = xml_.name();
            if (name == u"name")
                base.line.Name = xml_.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            else if (name == u"styleUrl")
                base.styleUrl = xml_.readElementText().trimmed();
            else if (name == u"Style")
                style(false, &base.inlineStyle);
            else if (name == u"LineString")
                geometries.push_back(lineString());
            else if (name == u"MultiGeometry")
                multiGeometry(geometries);
            else
                xml_.skipCurrentElement();
        }
        for (auto& points : geometries) {
            PendingLine p = base;
            p.line.Points = std::move(points);
            pending_.push_back(std::move(p));
        }
    }

    void multiGeometry(std::vector<std::vector<KmlCoordinate>>& geometries)
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"LineString")
                geometries.push_back(lineString());
            else if (xml_.name() == u"MultiGeometry")
                multiGeometry(geometries);
            else
                xml_.skipCurrentElement();
        }
    }

    std::vector<KmlCoordinate> lineString()
    {
        std::vector<KmlCoordinate> points;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"coordinates") {
                const QString text = xml_.readElementText();
                try {
                    points = ParseKmlCoordinates(text);
                } catch (const Error& e) {
                    fail(QString::fromStdString(e.what()));
                }
            } else {
                xml_.skipCurrentElement();
            }
        }
        return points;
    }

    QXmlStreamReader xml_;
    QHash<QString, Style> styles_;
    std::vector<PendingLine> pending_;
};

} // namespace

bool ParseKmlColour(const QString& text, KmlColour& colour)
{
    if (text.size() != 8)
        return false;
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok || text.startsWith(u'+') || text.startsWith(u'-'))
        return false;
    colour = value;
    return true;
}

QString KmlColourText(KmlColour colour)
{
    return QStringLiteral("%1").arg(colour, 8, 16, QLatin1Char('0'));
}

std::vector<KmlCoordinate> ParseKmlCoordinates(const QString& text)
{
    const QStringList tuples = text.simplified().split(u' ', Qt::SkipEmptyParts);
    std::vector<KmlCoordinate> points;
    auto number = [](QStringView field) {
        double value = 0;
        if (!ParseNumber(field, value))
            throw Error(QStringLiteral("the coordinate \"%1\" is not a number").arg(field).toStdString());
        return value;
    };
    auto addTuple = [&](const QList<QStringView>& fields, qsizetype first, qsizetype count) {
        KmlCoordinate c;
        c.Lon = number(fields[first]);
        c.Lat = number(fields[first + 1]);
        if (count == 3)
            c.Alt = number(fields[first + 2]);
        points.push_back(c);
    };
    if (tuples.size() == 1) {
        // One token: one tuple, or tuples all joined by commas (three numbers each,
        // or two when the count does not divide by three).
        const QList<QStringView> fields = QStringView(tuples[0]).split(u',');
        const qsizetype n = fields.size();
        const qsizetype step = (n == 2 || n == 3) ? n : (n % 3 == 0 ? 3 : (n % 2 == 0 ? 2 : 0));
        if (step == 0)
            throw Error(QStringLiteral("%1 numbers do not make coordinate tuples").arg(n).toStdString());
        for (qsizetype i = 0; i < n; i += step)
            addTuple(fields, i, step);
        return points;
    }
    points.reserve(static_cast<std::size_t>(tuples.size()));
    for (const QString& tuple : tuples) {
        const QList<QStringView> fields = QStringView(tuple).split(u',');
        if (fields.size() != 2 && fields.size() != 3)
            throw Error(QStringLiteral("the coordinate tuple \"%1\" is not lon,lat[,alt]").arg(tuple).toStdString());
        addTuple(fields, 0, fields.size());
    }
    return points;
}

QString KmlNumberText(double value)
{
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0);
    return QString::fromLatin1(buffer, end - buffer);
}

std::vector<KmlLineString> ParseKmlLines(const QString& text)
{
    return Reader(text).read();
}

std::vector<KmlLineString> ParseKmlLines(const std::string& text)
{
    return ParseKmlLines(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

QString XmlSafeText(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xfffe || u == 0xffff)
            c = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

} // namespace tideplot
