// Picture fitting and the caption overlay, checked pixel by pixel.
#include "frame/areareduce.h"
#include "frame/bgrrows.h"
#include "frame/caption.h"
#include "frame/fitpicture.h"
#include "frame/jpegreduced.h"
#include "frame/picturecheck.h"
#include "picturefiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace kelbo;
using namespace kelbo::test;

namespace {

const QColor kFace(212, 208, 200); // the scratch surface's background in these tests

QImage quadrants(int w, int h)
{
    // Red top-left, green top-right, blue bottom-left, yellow bottom-right.
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h / 2, Qt::red);
    p.fillRect(w / 2, 0, w - w / 2, h / 2, Qt::green);
    p.fillRect(0, h / 2, w / 2, h - h / 2, Qt::blue);
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, Qt::yellow);
    return image;
}

QString save(const QTemporaryDir &dir, const QString &name, const QImage &image)
{
    const QString path = dir.filePath(name);
    if (!image.save(path))
        return {};
    return path;
}

QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// A 2 x 1 GIF: pixel 0 red, pixel 1 the transparent colour (blue in the palette).
QByteArray transparentGif()
{
    return QByteArray::fromHex("474946383961" // GIF89a
                               "0200" "0100" "80" "00" "00" // 2 x 1, global table of 2 colours
                               "ff0000" "0000ff"
                               "21f904" "01" "0000" "01" "00" // transparent index 1
                               "2c" "0000" "0000" "0200" "0100" "00"
                               "02" "02" "440a" "00" // LZW: clear, 0, 1, end
                               "3b");
}

// A BMP header that declares a picture of w x h pixels, with no pixel data behind it.
QByteArray bmpHeader(qint32 w, qint32 h)
{
    QByteArray bytes(54, '\0');
    auto put32 = [&](int at, quint32 v) { for (int i = 0; i < 4; ++i) bytes[at + i] = char(v >> (8 * i)); };
    auto put16 = [&](int at, quint16 v) { bytes[at] = char(v); bytes[at + 1] = char(v >> 8); };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, quint32(w));
    put32(22, quint32(h));
    put16(26, 1);
    put16(28, 24);
    return bytes;
}

// A 24-bit BMP of `w` x |h| pixels (h < 0: rows from the top down) with `gap` bytes between
// the header and the rows; every pixel a different colour.
QByteArray plainBmp(qint32 w, qint32 h, int gap)
{
    QByteArray bytes = bmpHeader(w, h) + QByteArray(gap, '\x5a');
    bytes[10] = char(54 + gap);
    const int rowBytes = (w * 3 + 3) & ~3;
    for (int row = 0; row < std::abs(h); ++row) {
        QByteArray line(rowBytes, '\0');
        for (int x = 0; x < w; ++x) {
            line[3 * x] = char(17 * x + row);
            line[3 * x + 1] = char(31 * row + 5);
            line[3 * x + 2] = char(x * row + 200);
        }
        bytes += line;
    }
    return bytes;
}

int countDifferent(const QImage &a, const QImage &b, QRect *bounds = nullptr)
{
    int count = 0;
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++count;
                box |= QRect(x, y, 1, 1);
            }
    if (bounds)
        *bounds = box;
    return count;
}

// Pixels of an RGB32 image whose stored alpha byte is not 0xff (pixel() hides it).
int notOpaque(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(line[x]) != 255;
    }
    return count;
}

// Every channel of `rect` of `source` averaged over the area each pixel of a `size` image
// covers, in floating point: the reduction's reference.
QImage exactAreaAverage(const QImage &source, QRect rect, QSize size)
{
    QImage out(size, QImage::Format_RGB32);
    const double sx = double(rect.width()) / size.width(), sy = double(rect.height()) / size.height();
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            double sum[3] = {};
            for (int j = int(y * sy); j < rect.height() && j < (y + 1) * sy; ++j)
                for (int i = int(x * sx); i < rect.width() && i < (x + 1) * sx; ++i) {
                    const double w = (std::min((x + 1) * sx, i + 1.0) - std::max(x * sx, double(i)))
                                     * (std::min((y + 1) * sy, j + 1.0) - std::max(y * sy, double(j)));
                    const QRgb p = source.pixel(rect.left() + i, rect.top() + j);
                    sum[0] += w * qRed(p);
                    sum[1] += w * qGreen(p);
                    sum[2] += w * qBlue(p);
                }
            const double area = sx * sy;
            out.setPixel(x, y, qRgb(int(std::lround(sum[0] / area)), int(std::lround(sum[1] / area)),
                                    int(std::lround(sum[2] / area))));
        }
    return out;
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fitEnlargesAndReduces_data();
    void fitEnlargesAndReduces();
    void exactSizeIsCopied();
    void onePixelFillsTarget();
    void transparentGifShowsBackground();
    void reductionDoesNotAlias();
    void reducedJpegMatchesFullDecode();
    void jpegDecodedAsQtDecodesIt_data();
    void jpegDecodedAsQtDecodesIt();
    void readByContentWhateverTheName_data();
    void readByContentWhateverTheName();
    void plainBmpAsQtReadsIt_data();
    void plainBmpAsQtReadsIt();
    void bgrRowsBothWays_data();
    void bgrRowsBothWays();
    void reducesByArea_data();
    void reducesByArea();
    void allCoefficientsFoundAsLibjpegFindsThem_data();
    void allCoefficientsFoundAsLibjpegFindsThem();
    void topDownBmpIsAPicture_data();
    void topDownBmpIsAPicture();
    void frameAsFromPicture_data();
    void frameAsFromPicture();
    void truncatedBmpRowsAreBlack();
    void failuresDrawNothing_data();
    void failuresDrawNothing();
    void captionPositions_data();
    void captionPositions();
    void captionDrawsGlyphsOnly();
    void emptyCaptionChangesNothing();
    void multiLineCaption();
    void wideCaptionIsClipped();
    void surfaceSizes();
    void framings_data();
    void framings();
    void uprightByExif_data();
    void uprightByExif();

private:
    QTemporaryDir dir;
};

void TestFrame::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestFrame::fitEnlargesAndReduces_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("target");
    QTest::newRow("smaller: 20x10 onto 320x240") << QSize(20, 10) << QSize(320, 240);
    QTest::newRow("other proportions: 200x100 onto 320x240") << QSize(200, 100) << QSize(320, 240);
    QTest::newRow("larger: 1024x768 onto 320x240") << QSize(1024, 768) << QSize(320, 240);
    QTest::newRow("tall strip: 100x800 onto 237x181") << QSize(100, 800) << QSize(237, 181);
    QTest::newRow("thumbnail: 640x480 onto 41x41") << QSize(640, 480) << QSize(41, 41);
}

void TestFrame::fitEnlargesAndReduces()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, target);
    const QString path = save(dir, QStringLiteral("q%1x%2.bmp").arg(picture.width()).arg(picture.height()),
                              quadrants(picture.width(), picture.height()));
    QVERIFY(!path.isEmpty());
    Surface scratch(QSize(1, 1), 0, kFace);
    Surface out(target, 0, QColor(1, 2, 3));
    QVERIFY(FitPicture(path, scratch, out));
    QCOMPARE(scratch.image().size(), picture);
    QCOMPARE(out.image().size(), target);
    // Each quadrant covers its quarter of the target, whatever the proportions: the axes are
    // scaled independently (200x100 onto 320x240 is 1.6 across and 2.4 down).
    const int w = target.width(), h = target.height();
    const int mx = w / 4, my = h / 4;
    QCOMPARE(out.image().pixelColor(mx, my), QColor(Qt::red));
    QCOMPARE(out.image().pixelColor(w - 1 - mx, my), QColor(Qt::green));
    QCOMPARE(out.image().pixelColor(mx, h - 1 - my), QColor(Qt::blue));
    QCOMPARE(out.image().pixelColor(w - 1 - mx, h - 1 - my), QColor(Qt::yellow));
    QCOMPARE(out.image().pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(out.image().pixelColor(w - 1, h - 1), QColor(Qt::yellow));
    // Every pixel was overwritten.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            QVERIFY(out.image().pixelColor(x, y) != QColor(1, 2, 3));
}

void TestFrame::exactSizeIsCopied()
{
    QImage picture(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            picture.setPixel(x, y, qRgb((x * 7) & 255, (y * 13) & 255, (x ^ y) & 255));
    const QString path = save(dir, QStringLiteral("exact.bmp"), picture);
    Surface scratch(QSize(1, 1), 0, kFace);
    Surface out(QSize(320, 240));
    QVERIFY(FitPicture(path, scratch, out));
    QCOMPARE(countDifferent(out.image(), picture), 0);
}

void TestFrame::onePixelFillsTarget()
{
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.setPixel(0, 0, qRgb(10, 200, 30));
    const QString path = save(dir, QStringLiteral("dot.bmp"), dot);
    Surface scratch(QSize(1, 1), 0, kFace);
    Surface out(QSize(320, 240));
    QVERIFY(FitPicture(path, scratch, out));
    QImage expected(320, 240, QImage::Format_RGB32);
    expected.fill(QColor(10, 200, 30));
    QCOMPARE(countDifferent(out.image(), expected), 0);
}

void TestFrame::transparentGifShowsBackground()
{
    const QString path = writeBytes(dir, QStringLiteral("transparent.gif"), transparentGif());
    Surface scratch(QSize(5, 5), 0, kFace);
    QVERIFY(LoadPicture(path, scratch));
    QCOMPARE(scratch.image().size(), QSize(2, 1));
    QCOMPARE(scratch.image().pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(scratch.image().pixelColor(1, 0), kFace);
    Surface out(QSize(100, 40));
    StretchPicture(scratch, out);
    QCOMPARE(out.image().pixelColor(5, 20), QColor(Qt::red));
    QCOMPARE(out.image().pixelColor(94, 20), kFace);
}

void TestFrame::reductionDoesNotAlias()
{
    // A one-pixel checkerboard reduced 8 times: an averaging filter gives an even grey, a
    // sampling one gives black, white or moire.
    QImage board(2560, 1600, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(board.scanLine(y));
        for (int x = 0; x < board.width(); ++x)
            line[x] = ((x + y) & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    const QString path = save(dir, QStringLiteral("board.bmp"), board);
    Surface scratch(QSize(1, 1), 0, kFace);
    Surface out(QSize(320, 240));
    QVERIFY(FitPicture(path, scratch, out));
    int worst = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            worst = std::max(worst, std::abs(qGray(out.image().pixel(x, y)) - 128));
    QVERIFY2(worst <= 4, qPrintable(QStringLiteral("largest deviation from grey: %1").arg(worst)));
}

void TestFrame::reducedJpegMatchesFullDecode()
{
    const QImage photo = photographLike();
    QImageWriter writer(dir.filePath(QStringLiteral("photo.jpg")));
    writer.setQuality(95);
    QVERIFY(writer.write(photo));
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));

    Surface scratch(QSize(1, 1), 0, kFace);
    Surface reduced(QSize(320, 240));
    QVERIFY(FitPicture(path, scratch, reduced));
    QCOMPARE(scratch.image().size(), QSize(320, 240)); // decoded at a reduced scale

    Surface full(QSize(320, 240));
    QVERIFY(LoadPicture(path, scratch));
    QCOMPARE(scratch.image().size(), QSize(2560, 1600));
    StretchPicture(scratch, full);

    double squares = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const QRgb a = reduced.image().pixel(x, y), b = full.image().pixel(x, y);
            for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)})
                squares += d * d;
        }
    const double mse = squares / (320.0 * 240 * 3);
    const double psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    QVERIFY2(psnr >= 38, qPrintable(QStringLiteral("PSNR %1 dB").arg(psnr)));
    // The fine corner averages to its mean, not to stripes.
    int worst = 0;
    for (int y = 190; y < 240; ++y)
        for (int x = 260; x < 320; ++x)
            worst = std::max(worst, std::abs(qRed(reduced.image().pixel(x, y)) - qRed(full.image().pixel(x, y))));
    QVERIFY2(worst <= 12, qPrintable(QStringLiteral("largest difference in the detailed corner: %1").arg(worst)));
}

void TestFrame::jpegDecodedAsQtDecodesIt_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("reduction");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<int>("keptBytes"); // 0: the whole file
    QTest::newRow("colour, whole size") << QSize(64, 48) << 1 << false << false << 0;
    QTest::newRow("colour, 1/2") << QSize(64, 48) << 2 << false << false << 0;
    QTest::newRow("colour, progressive, 1/4") << QSize(128, 96) << 4 << false << true << 0;
    QTest::newRow("grey, 1/8") << QSize(128, 96) << 8 << true << false << 0;
    QTest::newRow("cut short, 1/4") << QSize(128, 96) << 4 << false << false << 1500;
    QTest::newRow("odd sides, rounded up: 101x37 at 1/4") << QSize(101, 37) << 4 << false << false << 0;
}

void TestFrame::jpegDecodedAsQtDecodesIt()
{
    QFETCH(QSize, size);
    QFETCH(int, reduction);
    QFETCH(bool, grey);
    QFETCH(bool, progressive);
    QFETCH(int, keptBytes);
    QImage picture = photographLike().scaled(size);
    if (grey)
        picture = picture.convertToFormat(QImage::Format_Grayscale8);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    QVERIFY(writer.write(picture));
    if (keptBytes > 0)
        bytes.truncate(keptBytes);

    QImage decoded(7, 7, QImage::Format_RGB32); // memory of another size, replaced
    QVERIFY(decodeJpegReduced(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size(), reduction, decoded));
    const QSize expected((size.width() + reduction - 1) / reduction, (size.height() + reduction - 1) / reduction);
    QCOMPARE(decoded.size(), expected);
    QCOMPARE(decoded.format(), QImage::Format_RGB32);
    if (size.width() % reduction == 0 && size.height() % reduction == 0) {
        // Qt's reader asks libjpeg for the same scale: the same pixels.
        QBuffer source(&bytes);
        QImageReader reader(&source, "jpeg");
        reader.setScaledSize(expected);
        const QImage qt = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(decoded, qt);
    } else {
        for (int y = 0; y < decoded.height(); ++y)
            for (int x = 0; x < decoded.width(); ++x)
                QCOMPARE(qAlpha(decoded.pixel(x, y)), 255);
    }
    // Not a JPEG: refused, for Qt's reader to decide.
    const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    QVERIFY(!decodeJpegReduced(reinterpret_cast<const uchar *>(png.constData()), png.size(), reduction, decoded));
}

void TestFrame::readByContentWhateverTheName_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("PNG named .jpg") << QByteArray("png") << QStringLiteral("a.jpg");
    QTest::newRow("JPEG named .bmp") << QByteArray("jpeg") << QStringLiteral("b.bmp");
    QTest::newRow("BMP named .png") << QByteArray("bmp") << QStringLiteral("c.png");
    QTest::newRow("JPEG, upper-case suffix") << QByteArray("jpeg") << QStringLiteral("d.JPG");
    QTest::newRow("PNG without suffix") << QByteArray("png") << QStringLiteral("e");
    QTest::newRow("BMP with an unknown suffix") << QByteArray("bmp") << QStringLiteral("f.photo");
    QTest::newRow("dot in the folder only") << QByteArray("png") << QStringLiteral("g.d/picture");
}

void TestFrame::readByContentWhateverTheName()
{
    QFETCH(QByteArray, format);
    QFETCH(QString, name);
    const QString path = dir.filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(quadrants(40, 30).save(path, format.constData()));
    QCOMPARE(checkPicture(path, QSize(20, 15)).problem, PictureProblem::None);
    Surface scratch(QSize(1, 1), 0, kFace);
    QVERIFY(LoadPicture(path, scratch));
    QCOMPARE(scratch.image().size(), QSize(40, 30));
    Surface out(QSize(20, 15), 0, kFace);
    QVERIFY(FitPicture(path, scratch, out));
    // The bottom-right quadrant, yellow (give or take JPEG's rounding).
    const QColor corner = out.image().pixelColor(15, 11);
    QVERIFY2(corner.red() >= 250 && corner.green() >= 250 && corner.blue() <= 5, qPrintable(corner.name()));
}

void TestFrame::plainBmpAsQtReadsIt_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("odd width, padded rows") << plainBmp(5, 3, 0);
    QTest::newRow("rows from the top down") << plainBmp(4, -3, 0);
    QTest::newRow("bytes between header and rows") << plainBmp(3, 2, 6);
    QTest::newRow("one pixel") << plainBmp(1, 1, 0);
    QTest::newRow("rows read in several pieces") << plainBmp(701, 97, 2);
    QTest::newRow("from the top down, several pieces") << plainBmp(701, -97, 0);
    QTest::newRow("rows wider than the read buffer") << plainBmp(22000, 3, 0);
}

void TestFrame::plainBmpAsQtReadsIt()
{
    QFETCH(QByteArray, bytes);
    const QString path = writeBytes(dir, QStringLiteral("plain.bmp"), bytes);
    QVERIFY(!path.isEmpty());
    const QImage expected = QImage(path).convertToFormat(QImage::Format_RGB32);
    // The header check sees the picture Qt's reader decodes.
    const PictureCheck check = checkPicture(path);
    QCOMPARE(check.problem, PictureProblem::None);
    QCOMPARE(check.size, expected.size());
    Surface scratch(QSize(1, 1), 0, kFace);
    // Once into a fresh scratch surface, once into the image it already holds.
    for (int pass = 0; pass < 2; ++pass) {
        QCOMPARE(LoadPicture(path, scratch), !expected.isNull());
        if (!expected.isNull())
            QCOMPARE(scratch.image(), expected);
    }
}

void TestFrame::bgrRowsBothWays_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("portable");
    // Under, at and over the 16 pixels of a shuffled round, and a long row with a ragged end.
    for (const int width : {1, 7, 16, 37, 701}) {
        QTest::addRow("%d pixels", width) << width << false;
        QTest::addRow("%d pixels, portable", width) << width << true;
    }
}

void TestFrame::bgrRowsBothWays()
{
    QFETCH(int, width);
    QFETCH(bool, portable);
    QByteArray bytes(3 * width, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37 + 11);
    const auto *in = reinterpret_cast<const uchar *>(bytes.constData());
    QList<QRgb> pixels(width);
    (portable ? unpackBgrRowPortable : unpackBgrRow)(in, pixels.data(), width);
    for (int x = 0; x < width; ++x)
        QCOMPARE(pixels[x], qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]));
    // Packed back, whatever the alpha, with nothing written past the row.
    for (int x = 0; x < width; ++x)
        pixels[x] = (pixels[x] & 0x00ffffffu) | (quint32(x * 53 + 1) << 24);
    QByteArray packed(3 * width + 4, '\x77');
    (portable ? packBgrRowPortable : packBgrRow)(pixels.constData(), reinterpret_cast<uchar *>(packed.data()), width);
    QCOMPARE(packed, bytes + QByteArray(4, '\x77'));
}

void TestFrame::reducesByArea_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QRect>("from");
    QTest::addColumn<QRect>("to");
    // Halves, the ratios of the benchmark frames, rows of 16 bytes with ragged ends, a single
    // pixel, thousands of pixels to one, one direction kept, and parts of both images
    // (cropping, letterboxing).
    QTest::newRow("2:1") << QSize(64, 48) << QRect(0, 0, 64, 48) << QRect(0, 0, 32, 24);
    QTest::newRow("640x400 to 320x240") << QSize(640, 400) << QRect(0, 0, 640, 400) << QRect(0, 0, 320, 240);
    QTest::newRow("1024x768 to 320x240") << QSize(1024, 768) << QRect(0, 0, 1024, 768) << QRect(0, 0, 320, 240);
    QTest::newRow("37x23 to 5x7") << QSize(37, 23) << QRect(0, 0, 37, 23) << QRect(0, 0, 5, 7);
    QTest::newRow("to one pixel") << QSize(9, 13) << QRect(0, 0, 9, 13) << QRect(0, 0, 1, 1);
    QTest::newRow("3120 pixels to 2") << QSize(3120, 5) << QRect(0, 0, 3120, 5) << QRect(0, 0, 2, 1);
    QTest::newRow("width kept") << QSize(30, 40) << QRect(0, 0, 30, 40) << QRect(0, 0, 30, 11);
    QTest::newRow("parts of both") << QSize(100, 80) << QRect(13, 7, 61, 59) << QRect(3, 5, 20, 17);
}

void TestFrame::reducesByArea()
{
    QFETCH(QSize, source);
    QFETCH(QRect, from);
    QFETCH(QRect, to);
    QImage picture(source, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y + 7) & 255, ((x ^ y) * 29) & 255));
    QImage frame(to.right() + 9, to.bottom() + 4, QImage::Format_RGB32);
    frame.fill(kFace);
    QVERIFY(canReduceByArea(picture, from, frame, to));
    reduceByArea(picture, from, frame, to);
    // Within rounding of the exact average, and nothing drawn outside the rectangle.
    const QImage expected = exactAreaAverage(picture, from, to.size());
    int worst = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb got = frame.pixel(x, y);
            if (!to.contains(x, y)) {
                QCOMPARE(QColor(got), kFace);
                continue;
            }
            const QRgb want = expected.pixel(x - to.left(), y - to.top());
            worst = std::max({worst, std::abs(qRed(got) - qRed(want)), std::abs(qGreen(got) - qGreen(want)),
                              std::abs(qBlue(got) - qBlue(want))});
        }
    QVERIFY2(worst <= 1, qPrintable(QStringLiteral("largest difference from the exact average: %1").arg(worst)));
    QCOMPARE(notOpaque(frame), 0);
    // A flat picture stays exactly its colour.
    picture.fill(QColor(201, 3, 77));
    reduceByArea(picture, from, frame, to);
    QImage flat(to.size(), QImage::Format_RGB32);
    flat.fill(QColor(201, 3, 77));
    QCOMPARE(countDifferent(frame.copy(to), flat), 0);
}

void TestFrame::allCoefficientsFoundAsLibjpegFindsThem_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("kept");
    const QByteArray soi = QByteArray::fromHex("ffd8");
    const QByteArray app0 = QByteArray::fromHex("ffe000104a46494600010100000100010000");
    // A frame header of 8216 x 62994 pixels, three components.
    const auto frame = [](const char *marker) {
        return QByteArray::fromHex(marker) + QByteArray::fromHex("001108f61220180301220002110103110100");
    };
    const QByteArray scan = QByteArray::fromHex("ffda000c03010002110311003f00");
    QTest::newRow("progressive") << soi + app0 + frame("ffc2") + scan << true;
    QTest::newRow("baseline") << soi + app0 + frame("ffc0") + scan << false;
    QTest::newRow("fill bytes before the frame") << soi + app0 + QByteArray::fromHex("ffffff") + frame("ffc2") << true;
    // FF 00 is a stuffed zero, not a marker with a length: libjpeg steps over it.
    QTest::newRow("stuffed zero before the frame")
        << soi + app0 + QByteArray::fromHex("000028ff0000fdff01") + frame("ffc2") + scan << true;
    QByteArray metadata;
    for (int i = 0; i < 20; ++i)
        metadata += QByteArray::fromHex("ffe1fffe") + QByteArray(0xfffc, 'x');
    QTest::newRow("frame after more than a megabyte") << soi + metadata + frame("ffc0") + scan << true;
    QTest::newRow("no frame before the end") << soi + app0 << false;
    // A sequential picture whose first scan holds only the first of its three components.
    QTest::newRow("baseline in several scans")
        << soi + app0 + frame("ffc0") + QByteArray::fromHex("ffda0008010100003f00") << true;
}

void TestFrame::allCoefficientsFoundAsLibjpegFindsThem()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, kept);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(buffer.seek(7));
    QCOMPARE(keepsAllCoefficients(buffer), kept);
    QCOMPARE(buffer.pos(), 7);
}

void TestFrame::topDownBmpIsAPicture_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("24 bits") << plainBmp(6, -4, 0);
    QByteArray rgbx = bmpHeader(6, -4);
    rgbx[28] = 32;
    for (int i = 0; i < 6 * 4; ++i)
        rgbx += QByteArray::fromHex("204060ff");
    QTest::newRow("32 bits") << rgbx;
}

void TestFrame::topDownBmpIsAPicture()
{
    // Qt's reader gives the stored height, negative for rows stored from the top down.
    QFETCH(QByteArray, bytes);
    const QString path = writeBytes(dir, QStringLiteral("topdown.bmp"), bytes);
    QVERIFY(!path.isEmpty());
    const PictureCheck check = checkPicture(path, QSize(3, 2));
    QCOMPARE(check.problem, PictureProblem::None);
    QCOMPARE(check.size, QSize(6, 4));
    Surface scratch(QSize(1, 1), 0, kFace);
    QVERIFY(LoadPicture(path, scratch));
    QCOMPARE(scratch.image().size(), QSize(6, 4));
}

void TestFrame::frameAsFromPicture_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("picture"); // a negative height: BMP rows stored from the top down
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<FrameFit>("fit");
    QTest::addColumn<bool>("direct"); // reduced as it is read, the scratch left empty
    QTest::newRow("stretched") << QByteArray("bmp") << QSize(1024, 768) << QSize(320, 240) << FrameFit::Stretch << true;
    QTest::newRow("stretched, rows from the top") << QByteArray("bmp") << QSize(1024, -768) << QSize(320, 240) << FrameFit::Stretch << true;
    QTest::newRow("letterboxed, padded rows") << QByteArray("bmp") << QSize(101, 77) << QSize(40, 40) << FrameFit::Letterbox << true;
    QTest::newRow("cropped, padded rows") << QByteArray("bmp") << QSize(101, 77) << QSize(40, 40) << FrameFit::Crop << true;
    QTest::newRow("cropped, rows from the top") << QByteArray("bmp") << QSize(101, -77) << QSize(30, 40) << FrameFit::Crop << true;
    QTest::newRow("cropped rows") << QByteArray("bmp") << QSize(77, 100) << QSize(40, 30) << FrameFit::Crop << true;
    QTest::newRow("enlarged") << QByteArray("bmp") << QSize(10, 7) << QSize(40, 30) << FrameFit::Stretch << false;
    QTest::newRow("JPEG at 1/2, stretched") << QByteArray("jpeg") << QSize(1024, 768) << QSize(320, 240) << FrameFit::Stretch << true;
    QTest::newRow("JPEG at 1/8, odd sides, letterboxed") << QByteArray("jpeg") << QSize(1001, 333) << QSize(96, 72) << FrameFit::Letterbox << true;
    QTest::newRow("JPEG at 1/8, the middle rows kept") << QByteArray("jpeg") << QSize(333, 1001) << QSize(40, 30) << FrameFit::Crop << true;
    QTest::newRow("JPEG at 1/2, the middle columns kept") << QByteArray("jpeg") << QSize(1001, 333) << QSize(96, 96) << FrameFit::Crop << true;
    QTest::newRow("JPEG at full scale") << QByteArray("jpeg") << QSize(100, 75) << QSize(96, 72) << FrameFit::Stretch << false;
}

void TestFrame::frameAsFromPicture()
{
    // FitFrame reduces a plain BMP straight from its rows, and a JPEG as libjpeg decodes it:
    // the frame FitPicture draws.
    QFETCH(QByteArray, format);
    QFETCH(QSize, picture);
    QFETCH(QSize, frame);
    QFETCH(FrameFit, fit);
    QFETCH(bool, direct);
    QByteArray bytes = plainBmp(picture.width(), picture.height(), 6);
    if (format == "jpeg") {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(QImage::fromData(bytes, "bmp").save(&buffer, "jpeg", 90));
        bytes = jpeg;
    }
    const QString path = writeBytes(dir, QStringLiteral("frame.") + QString::fromLatin1(format), bytes);
    QVERIFY(!path.isEmpty());
    Surface scratch(QSize(1, 1), 0, kFace);
    Surface expected(frame, 0, kFace);
    QVERIFY(FitPicture(path, scratch, expected, fit));
    Surface drawn(frame, 0, kFace);
    QVERIFY(FitFrame(path, scratch, drawn, fit));
    QCOMPARE(scratch.image().isNull(), direct);
    QCOMPARE(drawn.image().format(), QImage::Format_RGB32);
    QCOMPARE(countDifferent(drawn.image(), expected.image()), 0);
    QCOMPARE(notOpaque(drawn.image()), 0);
}

void TestFrame::truncatedBmpRowsAreBlack()
{
    // 8 x 6 pixels declared, the bottom two rows stored: Qt's reader stops there and the other
    // rows must be black, not whatever the memory held before.
    const QByteArray whole = plainBmp(8, 6, 0);
    const QString path = writeBytes(dir, QStringLiteral("cut.bmp"), whole.left(54 + 2 * 24));
    QVERIFY(!path.isEmpty());
    for (int round = 0; round < 2; ++round) {
        QImage litter(8, 6, QImage::Format_RGB32);
        litter.fill(0xff13579bu);
        litter = QImage();
        Surface scratch(QSize(1, 1), 0, kFace);
        QVERIFY(LoadPicture(path, scratch));
        const QImage &picture = scratch.image();
        QCOMPARE(picture.size(), QSize(8, 6));
        for (int y = 0; y < 6; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
            for (int x = 0; x < 8; ++x) {
                const int stored = 5 - y; // rows are stored from the bottom up
                const QRgb want = stored < 2 ? qRgb(uchar(x * stored + 200), uchar(31 * stored + 5), uchar(17 * x + stored))
                                             : qRgb(0, 0, 0);
                QCOMPARE(line[x], want);
            }
        }
    }
}

void TestFrame::failuresDrawNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("not a picture") << QByteArray("just some text, not a picture") << true;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("bomb: 100000 x 100000 declared") << bmpHeader(100000, 100000) << true;
    QTest::newRow("bomb: 30000 x 30000 declared") << bmpHeader(30000, 30000) << true;
    QTest::newRow("bomb: rows from the top, 1024 x 16777219 declared") << bmpHeader(1024, -16777219) << true;
    QTest::newRow("bomb: rows from the top, 7000 x 7000 declared") << bmpHeader(7000, -7000) + QByteArray(1000, 0x40) << true;
    QTest::newRow("truncated picture") << bmpHeader(64, 64) << true;
}

void TestFrame::failuresDrawNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, create);
    const QString name = QStringLiteral("bad-%1.bmp").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')).replace(QLatin1Char(':'), QLatin1Char('_'));
    const QString path = create ? writeBytes(dir, name, bytes) : dir.filePath(name);
    QVERIFY(!path.isEmpty());
    Surface scratch(QSize(7, 3), 0, kFace);
    scratch.image().fill(Qt::cyan);
    Surface out(QSize(50, 40), 0, QColor(9, 9, 9));
    const QImage before = out.image().copy();
    QVERIFY(!FitPicture(path, scratch, out));
    QCOMPARE(countDifferent(out.image(), before), 0);
    QCOMPARE(scratch.image().size(), QSize(7, 3));
    QCOMPARE(scratch.image().pixelColor(0, 0), QColor(Qt::cyan));
}

void TestFrame::captionPositions_data()
{
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QPointF>("position");
    // picPre: outer 241 x 185; a text block of 50 x 20; current position (7, 9).
    QTest::newRow("0 Centre") << 0 << QPointF(95.5, 82.5);
    QTest::newRow("1 Haut Centre") << 1 << QPointF(95.5, 0);
    QTest::newRow("2 Bas Centre") << 2 << QPointF(95.5, 165);
    QTest::newRow("3 Gauche Centre") << 3 << QPointF(0, 82.5);
    QTest::newRow("4 Haut Gauche") << 4 << QPointF(0, 0);
    QTest::newRow("5 Bas Gauche") << 5 << QPointF(0, 165);
    QTest::newRow("6 Droite Centre") << 6 << QPointF(189, 82.5);
    QTest::newRow("7 Haut Droite") << 7 << QPointF(189, 0);
    QTest::newRow("8 Bas Droite") << 8 << QPointF(189, 165);
    QTest::newRow("none selected") << -1 << QPointF(7, 9);
    QTest::newRow("out of range") << 9 << QPointF(7, 9);
}

void TestFrame::captionPositions()
{
    QFETCH(int, alignment);
    QFETCH(QPointF, position);
    QCOMPARE(captionPosition(alignment, QSizeF(241, 185), QSizeF(50, 20), QPointF(7, 9)), position);
}

void TestFrame::captionDrawsGlyphsOnly()
{
    Surface pre(QSize(237, 181), 2);
    pre.font = QFont(QStringLiteral("Liberation Sans"));
    pre.font.setPointSizeF(12);
    pre.font.setBold(true);
    pre.foreColor = Qt::white;
    pre.image().fill(QColor(20, 40, 60));
    const QImage before = pre.image().copy();
    DrawCaption(pre, QStringLiteral("Kelbo"), 4);
    QRect changed;
    const int count = countDifferent(pre.image(), before, &changed);
    const QSizeF block = captionSize(QStringLiteral("Kelbo"), pre.font, &pre.image());
    QVERIFY(count > 0);
    // Everything drawn lies in the text block at (0, 0), and far from all of it: the glyphs,
    // not a filled cell.
    QVERIFY(QRectF(0, 0, block.width() + 1, block.height() + 1).contains(QRectF(changed)));
    QVERIFY(count < int(block.width() * block.height() / 2));
    bool white = false;
    for (int y = changed.top(); y <= changed.bottom(); ++y)
        for (int x = changed.left(); x <= changed.right(); ++x)
            white = white || pre.image().pixelColor(x, y) == QColor(Qt::white);
    QVERIFY(white);
    QCOMPARE(pre.currentX, 0.0f);
    QCOMPARE(pre.currentY, 0.0f);

    // Bottom right: the block ends 2 pixels past the right of the drawing area's outer size
    // and 4 pixels below its bottom edge, so it is clipped there.
    pre.image().fill(QColor(20, 40, 60));
    DrawCaption(pre, QStringLiteral("Kelbo"), 8);
    QCOMPARE(pre.currentX, float(241 - float(block.width()) - 2));
    QCOMPARE(pre.currentY, float(185 - float(block.height())));
    QVERIFY(countDifferent(pre.image(), before, &changed) > 0);
    QVERIFY(changed.left() >= int(pre.currentX));
}

void TestFrame::emptyCaptionChangesNothing()
{
    Surface pre(QSize(237, 181), 2);
    pre.image().fill(QColor(20, 40, 60));
    pre.currentX = 3;
    pre.currentY = 4;
    const QImage before = pre.image().copy();
    DrawCaption(pre, QString(), 0);
    QCOMPARE(countDifferent(pre.image(), before), 0);
    QCOMPARE(pre.currentX, 3.0f);
    // A caption of blanks is placed like any other, and draws no visible pixel.
    DrawCaption(pre, QStringLiteral("   "), 4);
    QCOMPARE(countDifferent(pre.image(), before), 0);
    QCOMPARE(pre.currentX, 0.0f);
}

void TestFrame::multiLineCaption()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(12);
    QImage device(10, 10, QImage::Format_RGB32);
    const QFontMetricsF m(font, &device);
    const QSizeF one = captionSize(QStringLiteral("abcdef"), font, &device);
    QCOMPARE(one, QSizeF(m.horizontalAdvance(QStringLiteral("abcdef")), m.height()));
    // Widest line, total height, whatever the line breaks.
    QCOMPARE(captionSize(QStringLiteral("ab\nabcdef"), font, &device), QSizeF(one.width(), 2 * m.height()));
    QCOMPARE(captionSize(QStringLiteral("ab\r\nabcdef\rx"), font, &device), QSizeF(one.width(), 3 * m.height()));

    Surface pre(QSize(237, 181), 2);
    pre.font = font;
    pre.foreColor = Qt::white;
    pre.image().fill(Qt::black);
    DrawCaption(pre, QStringLiteral("ab\nabcdef"), 0);
    const QSizeF block = captionSize(QStringLiteral("ab\nabcdef"), font, &pre.image());
    QCOMPARE(pre.currentY, float(185.0f / 2 - float(block.height()) / 2));
    // The second line is drawn: something white in its half of the block.
    bool secondLine = false;
    const int top = int(pre.currentY + m.height());
    for (int y = top; y < int(pre.currentY + block.height()); ++y)
        for (int x = 0; x < 237; ++x)
            secondLine = secondLine || qGray(pre.image().pixel(x, y)) > 128;
    QVERIFY(secondLine);
}

void TestFrame::wideCaptionIsClipped()
{
    Surface pre(QSize(237, 181), 2);
    pre.font = QFont(QStringLiteral("Liberation Sans"));
    pre.font.setPointSizeF(12);
    pre.foreColor = Qt::white;
    pre.image().fill(Qt::black);
    const QString wide(60, QLatin1Char('W'));
    DrawCaption(pre, wide, 0);
    QVERIFY(pre.currentX < 0);
    // Glyphs reach both edges of the drawing area.
    bool left = false, right = false;
    for (int y = 0; y < 181; ++y) {
        left = left || qGray(pre.image().pixel(0, y)) > 0 || qGray(pre.image().pixel(1, y)) > 0;
        right = right || qGray(pre.image().pixel(236, y)) > 0 || qGray(pre.image().pixel(235, y)) > 0;
    }
    QVERIFY(left);
    QVERIFY(right);
}

void TestFrame::surfaceSizes()
{
    Surface s(QSize(237, 181), 2, QColor(1, 2, 3));
    QCOMPARE(s.scaleWidth(), 237);
    QCOMPARE(s.scaleHeight(), 181);
    QCOMPARE(s.width(), 241);
    QCOMPARE(s.height(), 185);
    QCOMPARE(s.image().pixelColor(0, 0), QColor(1, 2, 3));

    s.image().fill(Qt::red);
    s.commitPicture();
    QCOMPARE(s.picture().pixelColor(5, 5), QColor(Qt::red));
    int refreshed = 0;
    s.setRefreshHandler([&] { ++refreshed; });
    s.clearPicture();
    QVERIFY(s.picture().isNull());
    QCOMPARE(s.image().pixelColor(5, 5), QColor(1, 2, 3));
    QCOMPARE(refreshed, 1);

    s.resizeDrawingArea(QSize(640, 480));
    QCOMPARE(s.width(), 644);
    QCOMPARE(s.scaleHeight(), 480);
}


// A 2:1 picture of four upright stripes (red, green, blue, yellow) in a square frame.
void TestFrame::framings_data()
{
    QTest::addColumn<FrameFit>("fit");
    QTest::addColumn<QList<QColor>>("row");    // the frame's middle row, at x = 5, 30, 50, 70, 95
    QTest::addColumn<QList<QColor>>("column"); // its middle column, at y = 5, 20, 50, 80, 95
    const QColor r(Qt::red), g(Qt::green), b(Qt::blue), y(Qt::yellow), k(Qt::black);
    QTest::newRow("stretch: every stripe, the whole height") << FrameFit::Stretch << QList<QColor>{r, g, b, b, y}
                                                             << QList<QColor>{b, b, b, b, b};
    QTest::newRow("letterbox: black bands top and bottom") << FrameFit::Letterbox << QList<QColor>{r, g, b, b, y}
                                                           << QList<QColor>{k, k, b, k, k};
    QTest::newRow("crop: the middle half") << FrameFit::Crop << QList<QColor>{g, g, b, b, b}
                                           << QList<QColor>{b, b, b, b, b};
}

void TestFrame::framings()
{
    QFETCH(FrameFit, fit);
    QFETCH(QList<QColor>, row);
    QFETCH(QList<QColor>, column);
    QImage stripes(200, 100, QImage::Format_RGB32);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int x = 0; x < 200; ++x)
        for (int yy = 0; yy < 100; ++yy)
            stripes.setPixelColor(x, yy, colours[x / 50]);
    const QString path = dir.filePath(QStringLiteral("stripes.png"));
    QVERIFY(stripes.save(path));
    Surface scratch(QSize(10, 10)), target(QSize(100, 100));
    QVERIFY(FitPicture(path, scratch, target, fit));
    const int xs[] = {5, 30, 50, 70, 95}, ys[] = {5, 20, 50, 80, 95};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(target.image().pixelColor(xs[i], 50), row[i]);
        QCOMPARE(target.image().pixelColor(50, ys[i]), column[i]);
    }
}

// A picture stored sideways or upside down, with its EXIF orientation, is drawn upright: its
// left half red and right half blue as stored become, upright, ...
void TestFrame::uprightByExif_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("upright");
    QTest::addColumn<QColor>("topLeft");
    QTest::addColumn<QColor>("bottomRight");
    QTest::newRow("1: as stored") << 1 << QSize(200, 100) << QColor(Qt::red) << QColor(Qt::blue);
    QTest::newRow("3: turned half round") << 3 << QSize(200, 100) << QColor(Qt::blue) << QColor(Qt::red);
    QTest::newRow("6: a quarter clockwise, red on top") << 6 << QSize(100, 200) << QColor(Qt::red) << QColor(Qt::blue);
    QTest::newRow("8: a quarter back, blue on top") << 8 << QSize(100, 200) << QColor(Qt::blue) << QColor(Qt::red);
}

void TestFrame::uprightByExif()
{
    QFETCH(int, orientation);
    QFETCH(QSize, upright);
    QFETCH(QColor, topLeft);
    QFETCH(QColor, bottomRight);
    QImage halves(200, 100, QImage::Format_RGB32);
    halves.fill(Qt::blue);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            halves.setPixelColor(x, y, Qt::red);
    const QString path = dir.filePath(QStringLiteral("exif%1.jpg").arg(orientation));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(jpegWithOrientation(halves, orientation));
    file.close();

    Surface scratch(QSize(10, 10));
    QVERIFY(LoadPicture(path, scratch));
    QCOMPARE(scratch.image().size(), upright);
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
    };
    // Letterboxed in a square frame: a tall picture leaves bands at the sides, a wide one at
    // the top and bottom.
    Surface frame(QSize(120, 120));
    QVERIFY(FitPicture(path, scratch, frame, FrameFit::Letterbox));
    const bool tall = upright.height() > upright.width();
    QCOMPARE(frame.image().pixelColor(tall ? 2 : 60, tall ? 60 : 2), QColor(Qt::black));
    QVERIFY(near(frame.image().pixelColor(tall ? 45 : 10, tall ? 10 : 45), topLeft));
    QVERIFY(near(frame.image().pixelColor(tall ? 75 : 110, tall ? 110 : 75), bottomRight));
}

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
