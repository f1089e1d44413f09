#include "avireadback.h"

#include <QFile>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace kelbo::test {

namespace {

std::uint32_t le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | (std::uint32_t(u[1]) << 8) | (std::uint32_t(u[2]) << 16)
           | (std::uint32_t(u[3]) << 24);
}

std::uint64_t le64(const char *p)
{
    return std::uint64_t(le32(p)) | (std::uint64_t(le32(p + 4)) << 32);
}

// An entry of the OpenDML super index: where a part's index chunk is, and its frame count.
struct PartIndex {
    qint64 at;
    std::uint32_t frames;
};

// Walks the chunks between `begin` and `end`, descending into LIST hdrl and LIST strl.
void walkHeaders(QFile &file, qint64 begin, qint64 end, AviReadBack &r, bool &streamSeen,
                 QList<PartIndex> &parts)
{
    qint64 pos = begin;
    while (pos + 8 <= end) {
        file.seek(pos);
        const QByteArray head = file.read(12);
        if (head.size() < 8)
            return;
        const std::uint32_t size = le32(head.constData() + 4);
        const QByteArray id = head.left(4);
        file.seek(pos + 8); // the chunk's data
        if (id == "LIST" && head.size() == 12) {
            const QByteArray type = head.mid(8, 4);
            if (type == "hdrl" || type == "strl") {
                walkHeaders(file, pos + 12, std::min<qint64>(end, pos + 8 + size), r, streamSeen, parts);
            }
        } else if (id == "avih") {
            const QByteArray data = file.read(std::min<std::uint32_t>(size, 56));
            if (data.size() >= 20)
                r.avihTotalFrames = le32(data.constData() + 16);
        } else if (id == "strh" && !streamSeen) {
            const QByteArray data = file.read(std::min<std::uint32_t>(size, 56));
            if (data.size() >= 56) {
                r.fccType = le32(data.constData());
                r.fccHandler = le32(data.constData() + 4);
                r.dwScale = le32(data.constData() + 20);
                r.dwRate = le32(data.constData() + 24);
                r.dwLength = le32(data.constData() + 32);
                r.dwSuggestedBufferSize = le32(data.constData() + 36);
                r.dwQuality = le32(data.constData() + 40);
                for (int i = 0; i < 4; ++i) {
                    const auto *u = reinterpret_cast<const unsigned char *>(data.constData() + 48 + 2 * i);
                    r.rcFrame[i] = std::int16_t(u[0] | (u[1] << 8));
                }
            }
        } else if (id == "strf" && !streamSeen) {
            r.strf = file.read(size);
            streamSeen = true;
        } else if (id == "indx" && parts.isEmpty()) {
            const QByteArray data = file.read(size);
            const std::uint32_t count = data.size() >= 24 ? le32(data.constData() + 4) : 0;
            for (std::uint32_t i = 0; i < count && 24 + 16 * qint64(i + 1) <= data.size(); ++i) {
                const char *e = data.constData() + 24 + 16 * i;
                parts.append({qint64(le64(e)), le32(e + 12)});
            }
        } else if (id == "idx1") {
            r.hasIdx1 = true;
            r.idx1Entries = int(size / 16);
        }
        pos += 8 + qint64(size) + (size & 1);
    }
}

// Follows the super index to each part's "ix00" and each of its entries to the frame chunk it
// names: the frames listed, or -1 when an entry does not lead to a chunk of its size.
int checkPartIndexes(QFile &file, const QList<PartIndex> &parts)
{
    int frames = 0;
    for (const PartIndex &part : parts) {
        file.seek(part.at);
        const QByteArray head = file.read(32);
        if (head.size() < 32 || !head.startsWith("ix00") || le32(head.constData() + 12) != part.frames)
            return -1;
        const qint64 base = qint64(le64(head.constData() + 20));
        const QByteArray entries = file.read(8 * qint64(part.frames));
        if (entries.size() != 8 * qint64(part.frames))
            return -1;
        for (std::uint32_t i = 0; i < part.frames; ++i) {
            const std::uint32_t offset = le32(entries.constData() + 8 * i);
            const std::uint32_t size = le32(entries.constData() + 8 * i + 4) & 0x7fffffffu;
            file.seek(base + offset - 8);
            const QByteArray chunk = file.read(8);
            if (chunk.size() != 8 || !chunk.startsWith("00d") || le32(chunk.constData() + 4) != size)
                return -1;
            ++frames;
        }
    }
    return frames;
}

void readRiff(const QString &path, AviReadBack &r)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qint64 end = file.size();
    qint64 pos = 0;
    bool streamSeen = false;
    QList<PartIndex> parts;
    while (pos + 12 <= end) {
        file.seek(pos);
        const QByteArray head = file.read(12);
        if (head.left(4) != "RIFF")
            break;
        const std::uint32_t size = le32(head.constData() + 4);
        ++r.riffCount;
        if (head.mid(8, 4) == "AVI ")
            walkHeaders(file, pos + 12, std::min<qint64>(end, pos + 8 + size), r, streamSeen, parts);
        pos += 8 + qint64(size) + (size & 1);
    }
    r.partIndexFrames = checkPartIndexes(file, parts);
}

struct InputCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

QImage toImage(const AVFrame *f)
{
    QImage image(f->width, f->height, QImage::Format_RGB888);
    const auto format = AVPixelFormat(f->format);
    SwsContext *sws = sws_getContext(f->width, f->height, format, f->width, f->height,
                                     AV_PIX_FMT_RGB24,
                                     SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                     nullptr, nullptr, nullptr);
    if (!sws)
        return {};
    const bool fullRange = f->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P
                           || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P;
    const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws, bt601, fullRange ? 1 : 0, bt601, 1, 0, 1 << 16, 1 << 16);
    uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
    sws_freeContext(sws);
    return image;
}

} // namespace

AviReadBack readAvi(const QString &path, bool decode)
{
    AviReadBack r;
    readRiff(path, r);
    // The reader's notes (pixel formats, probing) would fill the tests' output; errors remain.
    av_log_set_level(AV_LOG_ERROR);

    AVFormatContext *raw = nullptr;
    const QByteArray url = "file:" + QFile::encodeName(path);
    if (avformat_open_input(&raw, url.constData(), nullptr, nullptr) < 0) {
        r.error = QStringLiteral("libavformat cannot open the file");
        return r;
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        r.error = QStringLiteral("no stream information");
        return r;
    }
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        r.error = QStringLiteral("no video stream");
        return r;
    }
    const AVStream *st = input->streams[index];
    r.width = st->codecpar->width;
    r.height = st->codecpar->height;
    r.codecTag = st->codecpar->codec_tag;

    std::unique_ptr<AVCodecContext, CodecCloser> dec;
    if (decode) {
        const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) {
            r.error = QStringLiteral("no decoder");
            return r;
        }
        dec.reset(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(dec.get(), st->codecpar);
        dec->thread_count = 1;
        if (avcodec_open2(dec.get(), codec, nullptr) < 0) {
            r.error = QStringLiteral("decoder does not open");
            return r;
        }
    }
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    auto receive = [&]() {
        while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            r.frames.append(toImage(frame.get()));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            ++r.packets;
            r.payloadBytes += pkt->size;
            if (pkt->flags & AV_PKT_FLAG_KEY)
                ++r.keyPackets;
            r.keys.append(pkt->flags & AV_PKT_FLAG_KEY);
            r.times.append(pkt->pts);
            if (dec) {
                if (avcodec_send_packet(dec.get(), pkt.get()) < 0) {
                    r.error = QStringLiteral("packet %1 does not decode").arg(r.packets);
                    return r;
                }
                receive();
            }
        }
        av_packet_unref(pkt.get());
    }
    if (dec) {
        avcodec_send_packet(dec.get(), nullptr);
        receive();
    }
    r.ok = true;
    return r;
}

double psnr(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 0;
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i) {
            const double d = double(p[i]) - double(q[i]);
            sum += d * d;
        }
    }
    const double mse = sum / (double(x.width()) * x.height() * 3);
    if (mse == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / mse);
}

QImage syntheticPhoto(int width, int height, int index)
{
    QImage image(width, height, QImage::Format_RGB888);
    const double shift = index * 0.37;
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            // Sky-like gradients with a gentle texture.
            const double t = 0.5 + 0.5 * std::sin(6.0 * u + 4.0 * v + shift);
            int r = int(40 + 150 * v + 40 * t);
            int g = int(70 + 110 * u + 30 * std::cos(5.0 * v - shift));
            int b = int(200 - 120 * v + 25 * t);
            // A little deterministic grain.
            const unsigned h = unsigned(x * 73856093u) ^ unsigned(y * 19349663u) ^ unsigned(index * 83492791u);
            const int grain = int((h >> 13) % 7) - 3;
            r += grain;
            g += grain;
            b += grain;
            line[3 * x] = uchar(std::clamp(r, 0, 255));
            line[3 * x + 1] = uchar(std::clamp(g, 0, 255));
            line[3 * x + 2] = uchar(std::clamp(b, 0, 255));
        }
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre(width * (0.3 + 0.05 * index), height * 0.6);
    QRadialGradient sun(centre, std::min(width, height) * 0.3);
    sun.setColorAt(0, QColor(255, 230, 150));
    sun.setColorAt(1, QColor(220, 120, 60, 0));
    p.setBrush(sun);
    p.drawEllipse(centre, std::min(width, height) * 0.3, std::min(width, height) * 0.3);
    p.setBrush(QColor(30, 90, 40));
    p.drawEllipse(QPointF(width * 0.75, height * 1.05), width * 0.5, height * 0.3);
    return image;
}

DibFrame toDib24(const QImage &picture)
{
    return toDib(picture, 24);
}

DibFrame toDib(const QImage &picture, int bitCount)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width(), height = rgb.height();
    const int stride = ((width * bitCount + 31) / 32) * 4;
    const int bytes = bitCount / 8;
    DibFrame dib;
    // The fourth byte of a 32-bit pixel is not used: it holds a value readers must ignore.
    dib.bits = QByteArray(stride * height, bitCount == 32 ? '\x5a' : '\0');
    for (int y = 0; y < height; ++y) {
        const uchar *src = rgb.constScanLine(y);
        char *dst = dib.bits.data() + std::ptrdiff_t(stride) * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            dst[bytes * x] = char(src[3 * x + 2]);
            dst[bytes * x + 1] = char(src[3 * x + 1]);
            dst[bytes * x + 2] = char(src[3 * x]);
        }
    }
    auto put32 = [&dib](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            dib.header.append(char((v >> (8 * i)) & 0xFF));
    };
    auto put16 = [&dib](std::uint16_t v) {
        dib.header.append(char(v & 0xFF));
        dib.header.append(char(v >> 8));
    };
    put32(40);
    put32(std::uint32_t(width));
    put32(std::uint32_t(height));
    put16(1);
    put16(std::uint16_t(bitCount));
    put32(0);
    put32(std::uint32_t(stride * height));
    put32(3780);
    put32(3780);
    put32(0);
    put32(0);
    return dib;
}

QByteArray gifBytes(const QImage &picture)
{
    const QImage indexed = picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QVector<QRgb> table = indexed.colorTable();
    table.resize(256, qRgb(0, 0, 0));
    QByteArray gif("GIF89a");
    auto put16 = [&gif](int v) {
        gif.append(char(v & 0xFF));
        gif.append(char((v >> 8) & 0xFF));
    };
    put16(indexed.width());
    put16(indexed.height());
    gif.append(char(0xF7)); // global table of 256 colours
    gif.append('\0');
    gif.append('\0');
    for (const QRgb c : table) {
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    gif.append(',');
    put16(0);
    put16(0);
    put16(indexed.width());
    put16(indexed.height());
    gif.append('\0');
    gif.append(char(8)); // minimum code size
    // Literal codes of 9 bits only: a clear code before the table would need 10-bit codes.
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    auto putCode = [&](int code) {
        bits |= quint32(code) << count;
        count += 9;
        while (count >= 8) {
            data.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    int sinceClear = 0;
    putCode(256);
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x) {
            if (sinceClear == 250) {
                putCode(256);
                sinceClear = 0;
            }
            putCode(indexed.pixelIndex(x, y));
            ++sinceClear;
        }
    putCode(257);
    if (count > 0)
        data.append(char(bits & 0xFF));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif.append(char(block.size()));
        gif.append(block);
    }
    gif.append('\0');
    gif.append(';');
    return gif;
}

} // namespace kelbo::test
