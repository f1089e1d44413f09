#include "frame/jpegreduced.h"

#include <QSysInfo>

#include <algorithm>
#include <climits>
#include <csetjmp>
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

// The decoding itself. Between setjmp and the end, no object with a destructor is alive at a
// libjpeg call, since an error leaves through longjmp.
bool decode(jpeg_decompress_struct &info, ErrorManager &errors, const uchar *data, qsizetype size, int reduction,
            QImage &image)
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
    if (!prepare(image, info.output_width, info.output_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    (void)jpeg_start_decompress(&info);
    // The rows go straight into the image, as many at a time as libjpeg hands out.
    constexpr int kRowsAtOnce = 16;
    JSAMPROW rows[kRowsAtOnce];
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

} // namespace

bool decodeJpegReduced(const uchar *data, qsizetype size, int reduction, QImage &image)
{
    if (!data || size <= 0 || qulonglong(size) > ULONG_MAX
        || (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8))
        return false;
    // Kept out of the frame that calls setjmp, whose locals may not keep their values.
    jpeg_decompress_struct info;
    ErrorManager errors;
    return decode(info, errors, data, size, reduction, image);
}

} // namespace kelbo
