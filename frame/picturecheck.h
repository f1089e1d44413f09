#pragma once
// What a picture file will cost and whether it can be used, from its header alone.

#include "frame/fitpicture.h"
#include "platform/files.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

class QIODevice;
class QImageReader;

namespace kelbo {

// Largest memory one picture may take while it is decoded and drawn.
inline constexpr qint64 kMaxPictureBytes = qint64(256) << 20;

enum class PictureProblem {
    None,
    Missing,
    NotRegular,
    PermissionDenied,
    Unreadable,
    NotAPicture, // no known format, or a header without a size
    TooLarge,    // decoding it would take more than kMaxPictureBytes
};

struct PictureCheck {
    PictureProblem problem = PictureProblem::None;
    QSize size; // the declared size, when the header could be read
};

// Bytes of memory decoding a picture of `declared` size takes when the decoding must keep
// `target` (see decodeTarget; invalid: the picture at its own size). A JPEG is decoded at a
// reduced scale when it is reduced; a progressive JPEG, or one in several scans
// (`allCoefficients`), holds its whole coefficient array whatever the scale.
qint64 decodingCost(const QByteArray &format, bool allCoefficients, QSize declared, QSize target);

// Points `reader` (reading `device`, which holds the picture file at `path`) at the reader its
// suffix names when that reader recognises the content, so that only that one is loaded;
// otherwise (no suffix, an unknown one, a misnamed file) the content decides among all of Qt's
// readers. The device's position is kept. Call it before anything else asks the reader.
void chooseReader(QImageReader &reader, const QString &path, QIODevice &device);

// True when decoding the picture `device` holds (of `format`, declared size `declared`) down to
// `target` (see decodeTarget) would take more than kMaxPictureBytes. A JPEG's markers are read
// only when that could change the answer.
bool exceedsMemoryBound(const QByteArray &format, QIODevice &device, QSize declared, QSize target);

// Where the pixels of an uncompressed 24-bit BMP with the common 40-byte header lie.
struct PlainBmpLayout {
    qint64 offset = 0;   // of the first stored row
    qint32 width = 0;
    qint32 rows = 0;
    bool bottomUp = true; // rows stored from the bottom up (a positive height)
    qint64 rowBytes = 0;  // 3 bytes a pixel, padded to 4
};

// The layout of such a BMP from the file's first 54 bytes (`head`, of a file of `fileBytes`);
// nothing for every other file, and for one whose rows run past its end.
std::optional<PlainBmpLayout> plainBmpLayout(const QByteArray &head, qint64 fileBytes);

// True when libjpeg keeps every coefficient of the JPEG file `device` holds until the end of
// the decoding: a progressive picture, or one whose first scan has fewer components than the
// frame (several scans); also when its frame header or first scan is not in its first megabyte.
// Read from its start, the markers found as libjpeg finds them; the position is kept.
bool keepsAllCoefficients(QIODevice &device);

// The header of the picture at `path`: readable, a picture, and within the memory bound when
// drawn onto a `target` frame as `fit` says (invalid: at its own size). Special files are
// refused unopened.
PictureCheck checkPicture(const QString &path, QSize target = {}, FrameFit fit = FrameFit::Stretch);

// The problem in a few French words ("fichier introuvable", "ce n'est pas une image",
// "image trop grande : 8192 × 8192 pixels"); empty for None.
QString pictureProblemText(const PictureCheck &check);

} // namespace kelbo
