#pragma once
// Reads an AVI file back for tests, independently of the writer: the RIFF headers are parsed
// byte by byte, the frames are demuxed and decoded with libavformat and libavcodec.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>

namespace kelbo::test {

struct AviReadBack {
    bool ok = false;
    QString error;

    // RIFF headers of the first video stream.
    std::uint32_t avihTotalFrames = 0;
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t dwScale = 0;
    std::uint32_t dwRate = 0;
    std::uint32_t dwLength = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwQuality = 0;
    std::int16_t rcFrame[4] = {};
    QByteArray strf; // the format chunk's data
    bool hasIdx1 = false;
    int idx1Entries = 0; // the frames of the first RIFF part
    int riffCount = 0; // 1 + the number of "RIFF AVIX" extensions
    // Frames the OpenDML indexes list ("indx" to each part's "ix00"), each entry checked to
    // lead to a frame chunk of its size; -1 when one does not.
    int partIndexFrames = 0;

    // What libavformat and libavcodec make of it.
    int width = 0;
    int height = 0;
    std::uint32_t codecTag = 0;
    int packets = 0;
    int keyPackets = 0;
    qint64 payloadBytes = 0; // the packets' bytes together
    QList<bool> keys; // the key-frame flag of each packet
    QList<qint64> times; // the time of each packet, in frames
    QList<QImage> frames; // decoded frames as RGB888, top row first (when asked for)
};

AviReadBack readAvi(const QString &path, bool decode);

// Peak signal-to-noise ratio in dB over the three colour channels of two RGB888 pictures of
// the same size; infinity when they are equal.
double psnr(const QImage &a, const QImage &b);

// Frames of a made-up photograph: smooth gradients, soft shapes, fine texture and a little
// noise; `index` moves the content so that consecutive frames differ.
QImage syntheticPhoto(int width, int height, int index);

// The bitmap-information header (40 bytes) and the bottom-up, 4-byte padded BGR rows of a
// picture, as a 24-bit (or 32-bit: BGR and an unused byte) DIB stores them.
struct DibFrame {
    QByteArray header;
    QByteArray bits;
};
DibFrame toDib24(const QImage &picture);
DibFrame toDib(const QImage &picture, int bitCount);

// A GIF file of the picture reduced to 256 colours (Qt reads GIF but does not write it).
QByteArray gifBytes(const QImage &picture);

} // namespace kelbo::test
