#pragma once

#include <QByteArray>

#include <optional>
#include <string>

// The size of a PNG, JPEG or WebP picture read from its header alone, without decoding it
// (and without Qt Gui): the web page checks its map's tiles by it.
namespace tideplot {

enum class PictureFormat { None, Png, Jpeg, Webp };

// The picture's format by its first bytes (its signature), None for any other.
PictureFormat PictureFormatOf(const QByteArray& bytes);

struct PictureSize {
    long long Width = 0;
    long long Height = 0;
};

// The picture's width and height, or nothing when its header is cut short or is not one
// of these formats' (`why` then says what is wrong).
std::optional<PictureSize> ReadPictureSize(const QByteArray& bytes, std::string& why);

} // namespace tideplot
