#include "share/animatedkml.h"

#include "core/colour.h"
#include "core/datetime.h"
#include "core/racehandicap.h"
#include "core/text.h"
#include "core/trackfixes.h"
#include "earth/kmldocument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tideplot {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr const char* kEol = "\r\n";
// Google Earth's own sailing-boat icon, tinted in the boat's colour.
constexpr const char* kBoatIcon = "https://maps.google.com/mapfiles/kml/shapes/sailing.png";

// Text for an XML element: decoded from the 8-bit code page, the characters XML cannot
// hold replaced, "&", "<", ">" and '"' escaped, as UTF-8.
std::string XmlText(const std::string& text)
{
    QString decoded = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : decoded)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r')) ||
            c.unicode() == 0xfffe || c.unicode() == 0xffff)
            c = QChar(QChar::ReplacementCharacter);
    return decoded.toHtmlEscaped().toUtf8().toStdString();
}

// A plain decimal as the track line writes it ("57.7012345", "-0.5"), else the number.
void AppendPosition(std::string& out, std::string_view written, double value)
{
    const std::string_view text = TrimSpaces(written);
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    bool plain = i > digits;
    if (plain && i < text.size() && text[i] == '.') {
        const std::size_t point = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        plain = i > point;
    }
    if (plain && i == text.size())
        out.append(text);
    else
        out += KmlNumberText(value).toStdString();
}

// The fixes of one boat's track that the animated KML holds, with their instants.
class AnimatedFixes {
public:
    AnimatedFixes(const FleetBoat& boat, double earliestStart)
        : boat_(boat), earliestStart_(earliestStart), reader_(boat.TrackFile, boat.SepChar)
    {
    }

    bool next(TrackFix& fix, long long& instant)
    {
        while (reader_.next(fix)) {
            // In whole seconds: a fix logged at the gun is at the start, whatever the rounding
            // of the two date values.
            if (std::llround((fix.Time - boat_.StartTime) * kSecondsPerDay) < 0)
                continue;
            instant = boat_.Handicap ? HandicapInstantMs(fix.Time)
                                     : AnimatedInstantMs(earliestStart_, boat_.StartTime, boat_.Lys, fix.Time);
            if (instant <= last_)
                continue;
            last_ = instant;
            return true;
        }
        return false;
    }

private:
    // The instant on the race's handicap clock (racehandicap.h).
    long long HandicapInstantMs(double fixTime) const
    {
        const long long start = std::llround(earliestStart_ * kSecondsPerDay);
        const double elapsedDays =
            static_cast<double>(std::llround((fixTime - boat_.StartTime) * kSecondsPerDay)) / kSecondsPerDay;
        return start * 1000 +
               std::llround(boat_.Handicap->ClockAtElapsed(boat_.Index, elapsedDays) * kSecondsPerDay * 1000);
    }

    const FleetBoat& boat_;
    double earliestStart_;
    TrackFixReader reader_;
    long long last_ = std::numeric_limits<long long>::min();
};

class ChunkedWriter {
public:
    explicit ChunkedWriter(OutputFile& out) : out_(out) {}
    std::string& text() { return text_; }
    void line(std::string_view piece)
    {
        text_ += piece;
        text_ += kEol;
        if (text_.size() >= kChunkBytes)
            flush();
    }
    void flush()
    {
        out_.Write(text_);
        text_.clear();
    }

private:
    OutputFile& out_;
    std::string text_;
};

} // namespace

long long AnimatedInstantMs(double earliestStart, double startTime, double lys, double fixTime)
{
    // Starts and fixes are whole seconds: their differences are counted exactly.
    const long long start = std::llround(earliestStart * kSecondsPerDay);
    const long long elapsed = std::llround((fixTime - startTime) * kSecondsPerDay);
    return start * 1000 + std::llround(static_cast<double>(elapsed) * lys * 1000);
}

std::string KmlWhenText(long long milliseconds)
{
    const long long seconds = milliseconds >= 0 ? milliseconds / 1000 : -((-milliseconds + 999) / 1000);
    const auto fraction = static_cast<int>(milliseconds - seconds * 1000);
    const long long day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const auto secondOfDay = static_cast<int>(seconds - day * 86400);
    std::string text = DateText(DateValueOfDay(day, secondOfDay));
    std::replace(text.begin(), text.end(), ' ', 'T');
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, ".%03d", fraction);
        std::string part(digits);
        while (part.back() == '0')
            part.pop_back();
        text += part;
    }
    return text + "Z";
}

void WriteAnimatedKml(const std::vector<FleetBoat>& boats, const QString& title, OutputFile& out)
{
    double earliestStart = std::numeric_limits<double>::infinity();
    for (const FleetBoat& boat : boats)
        earliestStart = std::min(earliestStart, boat.StartTime);

    ChunkedWriter w(out);
    w.line(R"(<?xml version="1.0" encoding="UTF-8"?>)");
    w.line(R"(<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2">)");
    w.line("<Document>");
    w.line(" <name>" + XmlText(title.toLocal8Bit().toStdString()) + "</name>");
    w.line(" <open>1</open>");
    for (const FleetBoat& boat : boats) {
        const std::string colour = "ff" + ColourHex(boat.Colour);
        w.line(" <Placemark>");
        w.line("  <name>" + XmlText(boat.Caption) + "</name>");
        w.line("  <Style>");
        w.line("   <IconStyle><color>" + colour + "</color><Icon><href>" + kBoatIcon + "</href></Icon></IconStyle>");
        w.line("   <LineStyle><color>" + colour + "</color><width>2</width></LineStyle>");
        w.line("  </Style>");
        w.line("  <gx:Track>");
        TrackFix fix;
        long long instant = 0;
        {
            AnimatedFixes fixes(boat, earliestStart);
            while (fixes.next(fix, instant))
                w.line("   <when>" + KmlWhenText(instant) + "</when>");
        }
        {
            AnimatedFixes fixes(boat, earliestStart);
            while (fixes.next(fix, instant)) {
                std::string& text = w.text();
                text += "   <gx:coord>";
                AppendPosition(text, fix.LonText, fix.Lon);
                text += ' ';
                AppendPosition(text, fix.LatText, fix.Lat);
                w.line(" 0</gx:coord>");
            }
        }
        w.line("  </gx:Track>");
        w.line(" </Placemark>");
    }
    w.line("</Document>");
    w.line("</kml>");
    w.flush();
}

} // namespace tideplot
