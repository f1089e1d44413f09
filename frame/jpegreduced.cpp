#include "frame/jpegreduced.h"

#include "frame/areareduce.h"

#include <QSysInfo>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <cstdio> // jpeglib.h needs FILE declared

extern "C" {
#include <jpeglib.h>
}

namespace kelbo {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void leaveDecoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

// Warnings (corrupt or missing data, which libjpeg makes up for) are not printed: the picture
// is drawn as libjpeg decodes it, as Qt's reader draws it.
extern "C" void ignoreMessage(j_common_ptr) {}

// The pixel layout libjpeg writes for QImage::Format_RGB32 (0xffRRGGBB words); libjpeg sets
// the unused byte to 0xff.
constexpr J_COLOR_SPACE kRgb32Layout = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// Rows asked of libjpeg at once.
constexpr int kRowsAtOnce = 16;

// `image` made an RGB32 image of `width` x `height` that nothing else shares, its memory kept
// when it is one already.
bool prepare(QImage &image, JDIMENSION width, JDIMENSION height)
{
    if (width > JDIMENSION(INT_MAX) || height > JDIMENSION(INT_MAX))
        return false;
    const QSize size{int(width), int(height)};
    if (image.size() != size || image.format() != QImage::Format_RGB32 || !image.isDetached())
        image = QImage(size, QImage::Format_RGB32);
    return !image.isNull();
}

// Where the decoded rows go: the whole picture into `image`, or `part` of it into `reducer`.
struct RowTarget {
    QImage *image = nullptr;
    AreaReducer *reducer = nullptr;
    QRect part;
};

// Hands `part` of the picture to `reducer`, a few rows at a time, through a window of rows
// from libjpeg's own memory (released with the decompressor, whichever way it ends).
bool reduceRows(jpeg_decompress_struct &info, const RowTarget &target)
{
    const QRect part = target.part;
    AreaReducer &reducer = *target.reducer;
    if (part.right() >= int(info.output_width) || part.bottom() >= int(info.output_height))
        return false;
    // libjpeg-turbo writes rows that start on a 16-byte boundary with non-temporal stores, which
    // bypass the cache: the rows read back at once would come from memory. Every row of the
    // window starts 4 bytes past such a boundary (rows a multiple of 32 bytes apart).
    const qsizetype stride = (qsizetype(info.output_width) * 4 + 31) & ~qsizetype(31);
    const int capacity = reducer.span() + kRowsAtOnce;
    auto *memory = static_cast<uchar *>((*info.mem->alloc_large)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                                  std::size_t(stride) * std::size_t(capacity) + 32));
    uchar *const window = memory + (4 - reinterpret_cast<std::uintptr_t>(memory)) % 16;
    JSAMPROW rows[kRowsAtOnce];
    int first = 0;  // the part's row the window starts with
    int filled = 0; // rows in the window
    while (!reducer.done()) {
        const int next = int(info.output_scanline);
        if (next > part.bottom())
            return false; // the part's rows ran out before the reduction's end
        // The rows above the part are read into the window and dropped.
        const int above = std::max(0, part.top() - next);
        const int count = above > 0 ? std::min(above, kRowsAtOnce)
                                    : std::min({kRowsAtOnce, capacity - filled, part.bottom() + 1 - next});
        for (int i = 0; i < count; ++i)
            rows[i] = window + (above > 0 ? i : filled + i) * stride;
        // libjpeg may hand out fewer rows than asked for, never none from memory.
        const int got = int(jpeg_read_scanlines(&info, rows, JDIMENSION(count)));
        if (got <= 0)
            return false;
        if (above > 0)
            continue;
        filled += got;
        reducer.add(window + qsizetype(part.left()) * 4, stride, first, filled);
        // The rows still needed move to the window's start.
        const int keep = std::max(0, first + filled - std::min(reducer.firstNeeded(), first + filled));
        if (keep < filled) {
            std::memmove(window, window + (filled - keep) * stride, std::size_t(keep) * std::size_t(stride));
            first += filled - keep;
            filled = keep;
        }
    }
    // The rows below the part are skipped (their data is read, not turned into pixels), all but
    // the last, which is read: skipping to the very end would mark the file as read to its end
    // without reading what follows, and jpeg_finish_decompress must read it for a picture to
    // fail here exactly when it fails decoded whole.
    while (info.output_scanline + 1 < info.output_height) {
        if (jpeg_skip_scanlines(&info, info.output_height - 1 - info.output_scanline) == 0)
            return false;
    }
    if (info.output_scanline < info.output_height) {
        JSAMPROW last = window;
        if (jpeg_read_scanlines(&info, &last, 1) != 1)
            return false;
    }
    return true;
}

// The decoding itself. Between setjmp and the end, no object with a destructor is alive at a
// libjpeg call, since an error leaves through longjmp.
bool decode(jpeg_decompress_struct &info, ErrorManager &errors, const uchar *data, qsizetype size, int reduction,
            const RowTarget &target)
{
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = leaveDecoding;
    errors.pub.output_message = ignoreMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK
        || (info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_GRAYSCALE
            && info.jpeg_color_space != JCS_RGB)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = kRgb32Layout;
    info.scale_num = 1;
    info.scale_denom = unsigned(reduction);
    jpeg_calc_output_dimensions(&info);
    if (target.image && !prepare(*target.image, info.output_width, info.output_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    (void)jpeg_start_decompress(&info);
    if (target.reducer) {
        if (!reduceRows(info, target)) {
            jpeg_destroy_decompress(&info);
            return false;
        }
        (void)jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        return true;
    }
    // The rows go straight into the image, as many at a time as libjpeg hands out.
    JSAMPROW rows[kRowsAtOnce];
    QImage &image = *target.image;
    while (info.output_scanline < info.output_height) {
        const int first = int(info.output_scanline);
        const int count = std::min<int>(kRowsAtOnce, int(info.output_height) - first);
        for (int i = 0; i < count; ++i)
            rows[i] = image.scanLine(first + i);
        if (jpeg_read_scanlines(&info, rows, JDIMENSION(count)) == 0) {
            // Only a suspending source returns no row; memory never suspends.
            jpeg_destroy_decompress(&info);
            return false;
        }
    }
    (void)jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool acceptable(const uchar *data, qsizetype size, int reduction)
{
    return data && size > 0 && qulonglong(size) <= ULONG_MAX
           && (reduction == 1 || reduction == 2 || reduction == 4 || reduction == 8);
}

} // namespace

bool decodeJpegReduced(const uchar *data, qsizetype size, int reduction, QImage &image)
{
    if (!acceptable(data, size, reduction))
        return false;
    // Kept out of the frame that calls setjmp, whose locals may not keep their values.
    jpeg_decompress_struct info;
    ErrorManager errors;
    return decode(info, errors, data, size, reduction, RowTarget{&image, nullptr, {}});
}

bool reduceJpegOnto(const uchar *data, qsizetype size, int reduction, QRect part, QImage &destination,
                    QRect destinationRect)
{
    if (!acceptable(data, size, reduction) || part.isEmpty() || part.left() < 0 || part.top() < 0
        || part.width() > kMaxAreaReduceSide || part.height() > kMaxAreaReduceSide
        || destination.format() != QImage::Format_RGB32 || destinationRect.isEmpty()
        || !destination.rect().contains(destinationRect) || part.width() < destinationRect.width()
        || part.height() < destinationRect.height())
        return false;
    AreaReducer reducer(part.size(), destination, destinationRect);
    jpeg_decompress_struct info;
    ErrorManager errors;
    return decode(info, errors, data, size, reduction, RowTarget{nullptr, &reducer, part});
}

} // namespace kelbo
