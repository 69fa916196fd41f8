#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QIODevice;
struct zip;

// The zip layer of the import: the KML document inside a KMZ archive (a zip archive that
// holds a KML file, "doc.kml" by convention, and often its pictures), read through libzip.
namespace tideplot {

// A KML document that unpacks to more than this is refused: a week-long log at one fix a
// second in the wordiest layout (gpsbabel's placemarks, about 800 bytes a point) is half of
// it.
constexpr std::int64_t kMaxKmzKmlBytes = std::int64_t{1} << 30;
// Nor is one past kKmzRatioFloorBytes that unpacks to more than this many times its packed
// size: KML logs pack 10 to 30 times; a zip bomb packs up to 1,000 times.
constexpr std::int64_t kMaxKmzRatio = 200;
constexpr std::int64_t kKmzRatioFloorBytes = std::int64_t{16} << 20;

// True when `start`, the first bytes of a file, open a zip archive.
bool LooksLikeZip(const QByteArray& start);

// An open KMZ archive and the KML documents it holds: "doc.kml" at the top of the archive
// first, then every other entry whose name ends in ".kml" (in any case), in the order of
// the archive.
class KmzArchive {
public:
    // Opens the archive at `path` and finds its KML documents; throws Error naming the
    // archive when it is no zip archive that can be read or holds no KML document.
    explicit KmzArchive(const std::string& path);

    int KmlCount() const { return int(entries_.size()); }
    // A KML document's name in the archive, e.g. "doc.kml".
    const std::string& KmlName(int kml) const { return entries_[std::size_t(kml)].Name; }
    // Its unpacked size in bytes, as the archive states it.
    std::int64_t KmlSize(int kml) const { return entries_[std::size_t(kml)].Size; }
    // The KML document, unpacked while it is read. Throws Error naming the archive and the
    // document when it is encrypted, empty or unpacks past the limits above. A read fails
    // (with the device's error string saying why) when the data is damaged (its CRC does
    // not match) or unpacks to more or fewer bytes than stated. The archive must outlive
    // the device.
    std::unique_ptr<QIODevice> OpenKml(int kml);

private:
    struct Discard {
        void operator()(zip* archive) const;
    };
    struct Entry {
        std::uint64_t Index = 0;
        std::string Name;
        std::int64_t Size = 0;
    };

    std::string path_;
    std::unique_ptr<zip, Discard> zip_;
    std::vector<Entry> entries_;
};

} // namespace tideplot
