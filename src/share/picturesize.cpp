#include "share/picturesize.h"

namespace tideplot {

namespace {

unsigned Byte(const QByteArray& b, qsizetype i)
{
    return static_cast<unsigned char>(b[i]);
}

long long BigEndian(const QByteArray& b, qsizetype at, int n)
{
    long long v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | Byte(b, at + i);
    return v;
}

long long LittleEndian(const QByteArray& b, qsizetype at, int n)
{
    long long v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | Byte(b, at + i);
    return v;
}

// PNG: the signature, then the IHDR chunk (length 13) with width and height first.
std::optional<PictureSize> PngSize(const QByteArray& b, std::string& why)
{
    if (b.size() < 33 || BigEndian(b, 8, 4) != 13 || b.mid(12, 4) != "IHDR") {
        why = "its header is cut short or has no IHDR chunk first";
        return std::nullopt;
    }
    return PictureSize{BigEndian(b, 16, 4), BigEndian(b, 20, 4)};
}

// JPEG: the markers after SOI up to the first start of frame, which holds the size.
std::optional<PictureSize> JpegSize(const QByteArray& b, std::string& why)
{
    qsizetype at = 2;
    while (at + 4 <= b.size()) {
        if (Byte(b, at) != 0xff)
            break;
        const unsigned marker = Byte(b, at + 1);
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) { // no length
            at += 2;
            continue;
        }
        const long long length = BigEndian(b, at + 2, 2);
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (length < 7 || at + 9 > b.size())
                break;
            return PictureSize{BigEndian(b, at + 7, 2), BigEndian(b, at + 5, 2)};
        }
        if (length < 2 || marker == 0xd9 || marker == 0xda)
            break;
        at += 2 + length;
    }
    why = "no frame header before its data or its end";
    return std::nullopt;
}

// WebP: RIFF, then one of its three kinds of first chunk.
std::optional<PictureSize> WebpSize(const QByteArray& b, std::string& why)
{
    const QByteArray chunk = b.mid(12, 4);
    if (chunk == "VP8 " && b.size() >= 30 && Byte(b, 23) == 0x9d && Byte(b, 24) == 0x01 && Byte(b, 25) == 0x2a)
        return PictureSize{LittleEndian(b, 26, 2) & 0x3fff, LittleEndian(b, 28, 2) & 0x3fff};
    if (chunk == "VP8L" && b.size() >= 25 && Byte(b, 20) == 0x2f) {
        const long long bits = LittleEndian(b, 21, 4);
        return PictureSize{(bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1};
    }
    if (chunk == "VP8X" && b.size() >= 30)
        return PictureSize{LittleEndian(b, 24, 3) + 1, LittleEndian(b, 27, 3) + 1};
    why = "its header is cut short or of no kind of WebP";
    return std::nullopt;
}

} // namespace

PictureFormat PictureFormatOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return PictureFormat::Png;
    if (bytes.startsWith("\xff\xd8\xff"))
        return PictureFormat::Jpeg;
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return PictureFormat::Webp;
    return PictureFormat::None;
}

std::optional<PictureSize> ReadPictureSize(const QByteArray& bytes, std::string& why)
{
    switch (PictureFormatOf(bytes)) {
    case PictureFormat::Png:
        return PngSize(bytes, why);
    case PictureFormat::Jpeg:
        return JpegSize(bytes, why);
    case PictureFormat::Webp:
        return WebpSize(bytes, why);
    case PictureFormat::None:
        break;
    }
    why = "no PNG, JPEG or WebP picture";
    return std::nullopt;
}

} // namespace tideplot
