#include "frame/fitpicture.h"

#include "frame/areareduce.h"
#include "frame/bgrrows.h"
#include "frame/jpegreduced.h"
#include "frame/picturecheck.h"
#include "frame/readbuffer.h"
#include "platform/files.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <limits>
#include <utility>

namespace kelbo {

namespace {

// Files read whole, or pictures' rows read at once, up to this size go into a buffer of the
// decoding thread's own, reused from picture to picture.
constexpr qint64 kReusedBytes = qint64(8) << 20;

// The picture turned upright as its EXIF orientation asks: mirrored first, then turned a
// quarter clockwise, as the orientation tags are defined. Quarter turns and mirrors move whole
// pixels, so nothing is resampled.
QImage upright(QImage image, QImageIOHandler::Transformations t)
{
    if (t == QImageIOHandler::TransformationNone)
        return image;
    if (t == QImageIOHandler::TransformationRotate270)
        return image.transformed(QTransform().rotate(270));
    image = std::move(image).mirrored(t & QImageIOHandler::TransformationMirror, t & QImageIOHandler::TransformationFlip);
    if (t & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// The size the picture needs at most to be drawn onto `target` with `fit`.
QSize neededSize(QSize picture, QSize target, FrameFit fit)
{
    switch (fit) {
    case FrameFit::Stretch:
        break;
    case FrameFit::Letterbox:
        return picture.scaled(target, Qt::KeepAspectRatio);
    case FrameFit::Crop:
        return picture.scaled(target, Qt::KeepAspectRatioByExpanding);
    }
    return target;
}

// A new image of the size, format and metadata of `image`, its pixels not set; null when it
// cannot be allocated.
QImage blankLike(const QImage &image)
{
    QImage fresh(image.size(), image.format());
    if (fresh.isNull())
        return fresh;
    fresh.setDotsPerMeterX(image.dotsPerMeterX());
    fresh.setDotsPerMeterY(image.dotsPerMeterY());
    fresh.setColorSpace(image.colorSpace());
    fresh.setDevicePixelRatio(image.devicePixelRatio());
    return fresh;
}

// `image` made its own, when another image still shares its pixels, without copying pixels
// that are about to be replaced: a new image of the same size, format and metadata.
void ownBeforeReplacing(QImage &image)
{
    if (image.isDetached())
        return;
    QImage fresh = blankLike(image);
    if (fresh.isNull()) {
        image.detach();
        return;
    }
    image = std::move(fresh);
}

// Where `fit` draws a picture of `picture` size onto a frame of `frame` size: the part of the
// picture drawn (`from`) and where in the frame it goes (`to`).
struct Placement {
    QRect from;
    QRect to;
};

Placement placement(QSize picture, QSize frame, FrameFit fit)
{
    Placement p{QRect(QPoint(0, 0), picture), QRect(QPoint(0, 0), frame)};
    if (fit == FrameFit::Letterbox) {
        // The whole picture, proportions kept, centred (on black).
        const QSize fitted = picture.scaled(frame, Qt::KeepAspectRatio).expandedTo({1, 1});
        p.to = QRect(QPoint((frame.width() - fitted.width()) / 2, (frame.height() - fitted.height()) / 2), fitted);
    } else if (fit == FrameFit::Crop) {
        // The frame filled, proportions kept: the middle of the picture, the overflow cut.
        const QSize kept = frame.scaled(picture, Qt::KeepAspectRatio).expandedTo({1, 1});
        p.from = QRect(QPoint((picture.width() - kept.width()) / 2, (picture.height() - kept.height()) / 2), kept);
    }
    return p;
}

// True when `p` draws its part smaller than it is, or as large, in both directions, and not at
// its own size: a reduction by area, which the pictures decoded straight onto a frame need.
bool reducesBothWays(const Placement &p)
{
    return p.to.size() != p.from.size() && p.to.width() <= p.from.width() && p.to.height() <= p.from.height();
}

// An uncompressed 24-bit BMP with the common 40-byte header, decoded straight from the file
// into `image` (RGB32; its memory is reused when it has the size and is not shared): the same
// pixels as Qt's reader gives, in a fraction of the time, which matters when hundreds are
// exported. The rows are read a few dozen at a time into a small buffer that stays in the
// processor's cache, rather than the whole file into memory and then read again. False for
// every other kind of BMP, or any file, and for pictures over the memory bound, all left to Qt's
// reader and its checks. A reused `image` keeps part of the picture when the file is cut short
// while its rows are read.
bool decodePlainBmp(QFile &file, QImage &image)
{
    const std::optional<PlainBmpLayout> bmp = plainBmpLayout(file.peek(54), file.size());
    if (!bmp || decodingCost("bmp", false, QSize(bmp->width, bmp->rows), {}) > kMaxPictureBytes)
        return false;
    const qint32 width = bmp->width;
    const qint64 rows = bmp->rows, rowBytes = bmp->rowBytes, offset = bmp->offset;
    if (!file.seek(offset))
        return false;
    // A new image takes the place of `image` only once it is complete.
    QImage fresh;
    if (image.size() != QSize(width, int(rows)) || image.format() != QImage::Format_RGB32 || !image.isDetached()) {
        fresh = QImage(width, int(rows), QImage::Format_RGB32);
        if (fresh.isNull())
            return false;
    }
    QImage &pixels = fresh.isNull() ? image : fresh;
    constexpr qint64 kChunkBytes = 64 * 1024;
    const qint64 chunkRows = std::max<qint64>(1, kChunkBytes / rowBytes);
    // Rows wider than the buffer are read one at a time into memory of their own, freed after.
    thread_local QByteArray reusedChunk;
    QByteArray ownChunk;
    QByteArray &chunk = chunkRows * rowBytes <= kChunkBytes ? reusedChunk : ownChunk;
    chunk.resize(chunkRows * rowBytes);
    for (qint64 done = 0; done < rows;) {
        const qint64 count = std::min(chunkRows, rows - done);
        // A file cut short since its size was taken: Qt's reader decides what is left of it.
        if (file.read(chunk.data(), count * rowBytes) != count * rowBytes)
            return false;
        for (qint64 i = 0; i < count; ++i, ++done) {
            // Rows are stored from the bottom up, unless the height is negative.
            const qint64 y = bmp->bottomUp ? rows - 1 - done : done;
            unpackBgrRow(reinterpret_cast<const uchar *>(chunk.constData()) + i * rowBytes,
                         reinterpret_cast<QRgb *>(pixels.scanLine(int(y))), width);
        }
    }
    if (!fresh.isNull())
        image = std::move(fresh);
    return true;
}

// A JPEG file held in `contents`, of `declared` size, decoded at 1/`reduction` and reduced onto
// `target` as StretchImage would draw the decoded picture, but a few rows at a time as libjpeg
// decodes them: the decoded picture is never held whole. False for what the usual decoding
// draws (a reduction that is not one both ways, pictures libjpeg is not given this way), and
// when libjpeg fails; the target is then as it was.
bool reduceJpegFrame(const QByteArray &contents, int reduction, QSize declared, Surface &target, FrameFit fit)
{
    QImage &frame = target.image();
    if (frame.isNull() || frame.format() != QImage::Format_RGB32 || !declared.isValid())
        return false;
    // libjpeg's sides at a reduced scale, rounded up.
    const QSize decoded((declared.width() + reduction - 1) / reduction, (declared.height() + reduction - 1) / reduction);
    const Placement p = placement(decoded, frame.size(), fit);
    if (!reducesBothWays(p))
        return false;
    // Drawn into an image of its own, which replaces the frame once it is complete: a picture
    // that fails half-way leaves the frame as it was. (The frame last handed on usually shares
    // the target's pixels, so a new image would be needed anyway.)
    QImage drawn = blankLike(frame);
    if (drawn.isNull())
        return false;
    if (fit == FrameFit::Letterbox)
        drawn.fill(Qt::black);
    if (!reduceJpegOnto(reinterpret_cast<const uchar *>(contents.constData()), contents.size(), reduction, p.from,
                        drawn, p.to))
        return false;
    frame = std::move(drawn);
    return true;
}

// Decodes the picture file at `path`, open in `file` at its start, into `scratch`; `reduceTo`,
// when valid, asks a reader that can (JPEG) to decode at the cheapest reduced scale that still
// covers what `fit` draws of it at that size. Only pictures whose decoding stays within the
// memory bound are decoded. The picture comes out upright, as its EXIF orientation says.
bool decodeInto(QFile &file, const QString &path, Surface &scratch, QSize reduceTo = {},
                FrameFit fit = FrameFit::Stretch, bool *reduced = nullptr, Surface *drawOnto = nullptr,
                bool *drawn = nullptr)
{
    {
        // Decoded into the scratch surface's own image when it has the size already, as the
        // pictures of a list usually do, instead of megabytes allocated and cleared for each.
        QImage image = std::exchange(scratch.image(), QImage());
        const bool plain = decodePlainBmp(file, image);
        if (plain)
            scratch.resizeDrawingArea(QSize());
        scratch.image() = std::move(image);
        if (plain)
            return true;
        if (!file.seek(0))
            return false;
    }
    // A picture file of ordinary size is read whole, at once, and decoded from memory: the
    // JPEG reader then hands libjpeg the whole file instead of 4 KB at a time, which keeps it
    // on its fast entropy decoding path. Files of the size of photographs are read into this
    // thread's own buffer, reused from picture to picture.
    constexpr qint64 kWholeFileBytes = qint64(64) << 20;
    QByteArray contents;
    QBuffer memory;
    QIODevice *device = &file;
    const qint64 fileBytes = file.size();
    if (fileBytes <= kWholeFileBytes) {
        uchar *reused = fileBytes <= kReusedBytes ? threadReadBuffer().reserve(fileBytes) : nullptr;
        if (reused) {
            const qint64 got = file.read(reinterpret_cast<char *>(reused), fileBytes);
            contents = QByteArray::fromRawData(reinterpret_cast<const char *>(reused), std::max<qint64>(got, 0));
        } else {
            contents.resize(fileBytes);
            const qint64 got = file.read(contents.data(), fileBytes);
            contents.resize(std::max<qint64>(got, 0));
        }
        memory.setBuffer(&contents);
        memory.open(QIODevice::ReadOnly);
        device = &memory;
    }
    QImageReader reader(device);
    chooseReader(reader, path, *device);
    reader.setAllocationLimit(int(kMaxPictureBytes >> 20));
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    QSize declared = reader.size();
    // Qt's BMP reader gives the stored height, negative when the rows run from the top down: the
    // picture's height for the memory bound, as for every other picture.
    if (format == "bmp" && declared.height() < 0 && declared.height() != std::numeric_limits<int>::min())
        declared.setHeight(-declared.height());
    const bool jpeg = format == "jpeg" || format == "jpg";
    // Sizes are those of the upright picture; the reader decodes in the file's orientation.
    const QImageIOHandler::Transformations orientation = reader.transformation();
    const bool quarterTurn = orientation & QImageIOHandler::TransformationRotate90;
    const QSize target = decodeTarget(declared, quarterTurn, reduceTo, fit);
    if (declared.isValid() && exceedsMemoryBound(format, *device, declared, target))
        return false;
    // The JPEG decoder's reduction: 1, 2, 4 or 8.
    int reduction = 1;
    if (jpeg && target.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // Qt's JPEG reader asks libjpeg for the scale M/8 with M = ceil(8 / f), f being the
        // smaller of the two reductions to the requested size. Asking for the picture's size
        // divided by 1, 2, 4 or 8 (rounded down) gives M = 8, 4, 2 or 1: the scales that have
        // SIMD code. The smooth stretch does the rest.
        reduction = jpegReduction(declared, target);
        if (reduction > 1) {
            reader.setScaledSize(QSize(declared.width() / reduction, declared.height() / reduction));
            if (reduced)
                *reduced = true;
        }
    }
    QImage decoded;
    if (reader.scaledSize().isValid()) {
        // A picture decoded at a reduced scale is only drawn, never kept: it is decoded into
        // this thread's own buffer, reused while the size stays the same, instead of megabytes
        // allocated for every picture. libjpeg decodes it straight into RGB32 when the file is
        // in memory; the pictures it does not take that way go to Qt's reader.
        if (drawOnto && device == &memory && orientation == QImageIOHandler::TransformationNone
            && reduceJpegFrame(memory.data(), reduction, declared, *drawOnto, fit)) {
            *drawn = true;
            return true;
        }
        thread_local QImage reducedBuffer;
        const bool direct = device == &memory
            && decodeJpegReduced(reinterpret_cast<const uchar *>(memory.data().constData()), memory.data().size(),
                                 reduction, reducedBuffer);
        if (!direct && !reader.read(&reducedBuffer)) {
            reducedBuffer = QImage();
            return false;
        }
        decoded = upright(reducedBuffer, orientation);
    } else if (format == "bmp") {
        // Qt's BMP reader leaves the rows a truncated file lacks as the memory it decodes into,
        // and decodes into the image it is given when that has the picture's size and format:
        // it is given one cleared to black (colour 0 of a palette), so that a damaged picture
        // draws the same frame every time, its missing rows black, never stray memory. It is
        // allocated under Qt's allocation limit too, as the reader's own image would be.
        QImage image;
        if (!QImageIOHandler::allocateImage(declared, reader.imageFormat(), &image))
            return false;
        image.fill(image.depth() == 32 ? 0xff000000u : 0u);
        if (!reader.read(&image))
            return false;
        decoded = upright(std::move(image), orientation);
    } else {
        decoded = upright(reader.read(), orientation);
    }
    if (decoded.isNull())
        return false;

    // The picture at 1:1 over the scratch surface's background colour. An opaque picture is
    // taken as it is: no background is filled only to be covered.
    if (decoded.hasAlphaChannel()) {
        scratch.resizeDrawingArea(decoded.size());
        QPainter painter(&scratch.image());
        painter.drawImage(0, 0, decoded);
    } else {
        scratch.resizeDrawingArea(QSize());
        scratch.image() = decoded.convertToFormat(QImage::Format_RGB32);
    }
    return true;
}

} // namespace

QString frameFitName(FrameFit fit)
{
    switch (fit) {
    case FrameFit::Stretch:
        break;
    case FrameFit::Letterbox:
        return QStringLiteral("letterbox");
    case FrameFit::Crop:
        return QStringLiteral("crop");
    }
    return QStringLiteral("stretch");
}

std::optional<FrameFit> frameFitFromName(const QString &name)
{
    for (FrameFit fit : {FrameFit::Stretch, FrameFit::Letterbox, FrameFit::Crop})
        if (frameFitName(fit) == name)
            return fit;
    return std::nullopt;
}

QSize decodeTarget(QSize declared, bool quarterTurn, QSize frame, FrameFit fit)
{
    if (!frame.isValid() || !declared.isValid())
        return {};
    const QSize upright = quarterTurn ? declared.transposed() : declared;
    const QSize needed = neededSize(upright, frame, fit);
    return quarterTurn ? needed.transposed() : needed;
}

int jpegReduction(QSize declared, QSize target)
{
    if (!declared.isValid() || !target.isValid() || target.isEmpty())
        return 1;
    int reduction = 8;
    while (reduction > 1
           && (declared.width() / reduction < target.width() || declared.height() / reduction < target.height()))
        reduction /= 2;
    return reduction;
}

bool LoadPicture(const QString &path, Surface &scratch)
{
    QFile file;
    return openRegularFile(path, file) == FileProblem::None && decodeInto(file, path, scratch);
}

namespace {

// A plain 24-bit BMP, open in `file`, reduced onto `target`, as StretchImage would draw it after
// LoadPicture, but averaged straight from the file's rows into the frame: the rows of the part drawn are read
// at once into this thread's buffer, and the picture is never unpacked at its own size. False,
// with nothing drawn, for every other picture, for enlargements, and when the file does not
// hold what its header says (the usual decoding then decides).
bool reducePlainBmp(QFile &file, Surface &target, FrameFit fit)
{
    QImage &frame = target.image();
    if (frame.isNull() || frame.format() != QImage::Format_RGB32)
        return false;
    const std::optional<PlainBmpLayout> bmp = plainBmpLayout(file.peek(54), file.size());
    if (!bmp || decodingCost("bmp", false, QSize(bmp->width, bmp->rows), {}) > kMaxPictureBytes
        || bmp->width > kMaxAreaReduceSide || bmp->rows > kMaxAreaReduceSide)
        return false;
    const Placement p = placement(QSize(bmp->width, bmp->rows), frame.size(), fit);
    if (!reducesBothWays(p))
        return false;
    // The drawn rows are stored together, from the bottom up unless the height is negative.
    const qint64 firstStored = bmp->bottomUp ? bmp->rows - 1 - p.from.bottom() : p.from.top();
    const qint64 bytes = qint64(p.from.height()) * bmp->rowBytes;
    QByteArray ownRows;
    uchar *reused = bytes <= kReusedBytes ? threadReadBuffer().reserve(bytes) : nullptr;
    if (!reused)
        ownRows.resize(bytes);
    char *rows = reused ? reinterpret_cast<char *>(reused) : ownRows.data();
    if (!file.seek(bmp->offset + firstStored * bmp->rowBytes) || file.read(rows, bytes) != bytes)
        return false;
    const auto *stored = reinterpret_cast<const uchar *>(rows);
    const uchar *top = (bmp->bottomUp ? stored + (bytes - bmp->rowBytes) : stored) + qsizetype(p.from.left()) * 3;
    ownBeforeReplacing(frame);
    if (p.to != frame.rect())
        frame.fill(Qt::black);
    reduceBgrByArea(top, bmp->bottomUp ? -bmp->rowBytes : bmp->rowBytes, p.from.size(), frame, p.to);
    return true;
}

} // namespace

void StretchImage(const QImage &source, Surface &target, FrameFit fit)
{
    QImage &destination = target.image();
    if (source.isNull() || destination.isNull())
        return;
    const Placement p = placement(source.size(), destination.size(), fit);
    const QRect sourceRect = p.from, destinationRect = p.to;
    if (fit == FrameFit::Letterbox) {
        ownBeforeReplacing(destination);
        destination.fill(Qt::black);
    }
    if (destinationRect.size() != sourceRect.size()
        && canReduceByArea(source, sourceRect, destination, destinationRect)) {
        // A reduction, the common case: averaged straight from the picture's rectangle into the
        // frame's, with no intermediate image.
        ownBeforeReplacing(destination);
        reduceByArea(source, sourceRect, destination, destinationRect);
        return;
    }
    const QImage part = sourceRect == source.rect() ? source : source.copy(sourceRect);
    // QImage::scaled with smooth transformation averages every source pixel a destination
    // pixel covers when reducing, unlike a smooth drawImage, which samples bilinearly and
    // aliases at large reductions.
    QImage stretched = part.size() == destinationRect.size()
        ? part
        : part.scaled(destinationRect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (stretched.format() != QImage::Format_RGB32 || destinationRect != destination.rect()) {
        // The frame handed on last may still share the destination's pixels, which are all
        // replaced here (the letterbox's bands were just filled): none is copied first.
        ownBeforeReplacing(destination);
        QPainter painter(&destination);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(destinationRect.topLeft(), stretched);
        return;
    }
    // Every pixel is replaced: the stretched picture becomes the drawn image (shared, not
    // copied), keeping what the surface's image says of itself (resolution, colour space).
    if (stretched.dotsPerMeterX() != destination.dotsPerMeterX())
        stretched.setDotsPerMeterX(destination.dotsPerMeterX());
    if (stretched.dotsPerMeterY() != destination.dotsPerMeterY())
        stretched.setDotsPerMeterY(destination.dotsPerMeterY());
    if (stretched.colorSpace() != destination.colorSpace())
        stretched.setColorSpace(destination.colorSpace());
    if (stretched.devicePixelRatio() != destination.devicePixelRatio())
        stretched.setDevicePixelRatio(destination.devicePixelRatio());
    destination = std::move(stretched);
}

void StretchPicture(const Surface &scratch, Surface &target, FrameFit fit)
{
    StretchImage(scratch.image(), target, fit);
}

namespace {

// FitPicture on the picture file at `path`, open in `file` at its start; with `streamed`, a JPEG
// may be reduced onto the target as it is decoded, the scratch surface then left empty.
bool fitOpened(QFile &file, const QString &path, Surface &scratch, Surface &target, FrameFit fit,
               bool streamed = false)
{
    // A JPEG reduced onto the target is decoded at a reduced scale (libjpeg's 1/2, 1/4 or 1/8)
    // and finished with a smooth scale: several times faster than a full decode of a
    // photograph, and as free of aliasing.
    bool reduced = false, drawn = false;
    if (!decodeInto(file, path, scratch, target.image().size(), fit, &reduced, streamed ? &target : nullptr, &drawn))
        return false;
    if (drawn) {
        scratch.resizeDrawingArea(QSize());
        return true;
    }
    StretchPicture(scratch, target, fit);
    // A picture decoded at a reduced scale is not the picture at its own size: the scratch
    // surface keeps the drawn one instead, shared with the target.
    if (reduced)
        scratch.image() = target.image();
    return true;
}

} // namespace

bool FitPicture(const QString &path, Surface &scratch, Surface &target, FrameFit fit)
{
    QFile file;
    return openRegularFile(path, file) == FileProblem::None && fitOpened(file, path, scratch, target, fit);
}

bool FitFrame(const QString &path, Surface &scratch, Surface &target, FrameFit fit)
{
    // The file is opened once, whichever way the picture is drawn.
    QFile file;
    if (openRegularFile(path, file) != FileProblem::None)
        return false;
    if (reducePlainBmp(file, target, fit)) {
        scratch.resizeDrawingArea(QSize());
        return true;
    }
    return file.seek(0) && fitOpened(file, path, scratch, target, fit, true);
}

} // namespace kelbo
