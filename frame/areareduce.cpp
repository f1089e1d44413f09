#include "frame/areareduce.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelbo {

namespace {

// Weights are fractions of 1 << kWeightBits. The column pass keeps 6 bits below the byte
// (sums of at most 255 << 6), so that the row pass's sums stay within 32 bits and rounding
// happens once per pass, never more than half a unit of the kept precision.
constexpr int kWeightBits = 14;
constexpr int kOne = 1 << kWeightBits;
constexpr int kColumnShift = kWeightBits - 6;
constexpr int kRowShift = kWeightBits + 6;

// Along one direction: for each destination index, the first source index it covers and the
// weights of the consecutive source indices it covers, which add up to exactly kOne so that a
// flat area stays exactly its colour. The weights are kept in pairs, each pair one 32-bit word
// (the first weight in the low half), because the passes weigh two rows or two pixels with one
// multiply-add; an odd count ends with a pair whose second weight is 0.
struct Taps {
    std::vector<int> first;
    std::vector<int> begin; // into pairs; one more entry than first
    std::vector<std::uint32_t> pairs;

    int count(int d) const { return begin[d + 1] - begin[d]; }
    const std::uint32_t *of(int d) const { return pairs.data() + begin[d]; }
};

Taps coverage(int from, int to)
{
    Taps t;
    t.first.resize(to);
    t.begin.resize(to + 1);
    t.pairs.reserve(std::size_t(from) / 2 + std::size_t(to) * 2);
    std::vector<int> weights;
    // In units of 1 / (from * to) of a source length: source index i spans [i * to, (i + 1) * to)
    // and destination index d spans [d * from, (d + 1) * from).
    for (int d = 0; d < to; ++d) {
        const std::int64_t low = std::int64_t(d) * from, high = low + from;
        const int i0 = int(low / to), i1 = int((high - 1) / to);
        // Each weight is the rounded share covered so far less the one before it: the weights add
        // up to exactly kOne and none is more than one unit from its exact share, however many
        // pixels one destination pixel covers.
        weights.clear();
        std::int64_t covered = 0;
        int before = 0;
        for (int i = i0; i <= i1; ++i) {
            covered += std::min(high, std::int64_t(i + 1) * to) - std::max(low, std::int64_t(i) * to);
            const int sofar = int((covered * kOne + from / 2) / from);
            weights.push_back(sofar - before);
            before = sofar;
        }
        weights.push_back(0);
        t.first[d] = i0;
        t.begin[d] = int(t.pairs.size());
        for (std::size_t k = 0; k + 1 < weights.size(); k += 2)
            t.pairs.push_back(std::uint32_t(weights[k]) | std::uint32_t(weights[k + 1]) << 16);
    }
    t.begin[to] = int(t.pairs.size());
    return t;
}

// The rows from `row` on, `stride` apart, weighed by `pairs` (`count` pairs) and added up into
// `out`, kColumnShift bits below the sum: `bytes` values. The second row of a pair whose second
// weight is 0 may be one past the last, and is not read.
void addRows(const uchar *row, qsizetype stride, const std::uint32_t *pairs, int count, int bytes,
             std::uint16_t *out)
{
    int i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a round, two rows interleaved so that one multiply-add weighs both.
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(1 << (kColumnShift - 1));
    for (; i + 16 <= bytes; i += 16) {
        __m128i sum0 = half, sum1 = half, sum2 = half, sum3 = half;
        for (int k = 0; k < count; ++k) {
            const uchar *a = row + 2 * k * stride + i;
            const __m128i w = _mm_set1_epi32(int(pairs[k]));
            const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
            const __m128i bottom = pairs[k] >> 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + stride)) : zero;
            const __m128i topLow = _mm_unpacklo_epi8(top, zero), topHigh = _mm_unpackhi_epi8(top, zero);
            const __m128i bottomLow = _mm_unpacklo_epi8(bottom, zero), bottomHigh = _mm_unpackhi_epi8(bottom, zero);
            sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_unpacklo_epi16(topLow, bottomLow), w));
            sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_unpackhi_epi16(topLow, bottomLow), w));
            sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_unpacklo_epi16(topHigh, bottomHigh), w));
            sum3 = _mm_add_epi32(sum3, _mm_madd_epi16(_mm_unpackhi_epi16(topHigh, bottomHigh), w));
        }
        // At most 255 << 6: within the signed 16-bit range the packing saturates to.
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                         _mm_packs_epi32(_mm_srli_epi32(sum0, kColumnShift), _mm_srli_epi32(sum1, kColumnShift)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8),
                         _mm_packs_epi32(_mm_srli_epi32(sum2, kColumnShift), _mm_srli_epi32(sum3, kColumnShift)));
    }
#endif
    for (; i < bytes; ++i) {
        std::uint32_t sum = 1u << (kColumnShift - 1);
        for (int k = 0; k < count; ++k) {
            const uchar *a = row + 2 * k * stride + i;
            sum += (pairs[k] & 0xffffu) * a[0];
            if (pairs[k] >> 16)
                sum += (pairs[k] >> 16) * a[stride];
        }
        out[i] = std::uint16_t(sum >> kColumnShift);
    }
}

// One destination row from the column sums `in`: `Channels` values a pixel (4 for RGB32, 3 for
// blue, green, red rows, whose pixels come out opaque), and at least 8 zeros past the last
// pixel's, which the second pixel of a pair whose weight is 0 may meet.
template <int Channels>
void reduceRow(const std::uint16_t *in, const Taps &taps, QRgb *out)
{
    const int width = int(taps.first.size());
    for (int x = 0; x < width; ++x) {
        const std::uint16_t *pixel = in + std::ptrdiff_t(taps.first[x]) * Channels;
        const std::uint32_t *pairs = taps.of(x);
        const int count = taps.count(x);
#if defined(__SSE2__)
        // Two pixels a pair: their channels interleaved, one multiply-add weighs both.
        __m128i sum = _mm_set1_epi32(1 << (kRowShift - 1));
        for (int k = 0; k < count; ++k, pixel += 2 * Channels) {
            const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixel));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(two, _mm_srli_si128(two, 2 * Channels)),
                                                    _mm_set1_epi32(int(pairs[k]))));
        }
        sum = _mm_srli_epi32(sum, kRowShift);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, sum), sum);
        out[x] = QRgb(_mm_cvtsi128_si32(bytes)) | (Channels == 3 ? 0xff000000u : 0u);
#else
        std::uint32_t sum[4] = {};
        for (int k = 0; k < count; ++k, pixel += 2 * Channels)
            for (int c = 0; c < Channels; ++c)
                sum[c] += (pairs[k] & 0xffffu) * pixel[c] + (pairs[k] >> 16) * pixel[Channels + c];
        uchar bytes[4];
        for (int c = 0; c < Channels; ++c)
            bytes[c] = uchar((sum[c] + (1u << (kRowShift - 1))) >> kRowShift);
        // The values are bytes in memory order: an RGB32 pixel's as they are, or blue, green, red.
        if constexpr (Channels == 3)
            out[x] = qRgb(bytes[2], bytes[1], bytes[0]);
        else
            std::memcpy(out + x, bytes, sizeof bytes);
#endif
    }
}

// Both passes: `size` pixels of `Channels` bytes from `origin` on, rows `stride` apart, onto
// `destinationRect` of `destination`.
template <int Channels>
void reduce(const uchar *origin, qsizetype stride, QSize size, QImage &destination, QRect destinationRect)
{
    const Taps across = coverage(size.width(), destinationRect.width());
    const Taps down = coverage(size.height(), destinationRect.height());
    const int bytes = size.width() * Channels;
    std::vector<std::uint16_t> columns(std::size_t(bytes) + 8); // + 8: see reduceRow
    for (int y = 0; y < destinationRect.height(); ++y) {
        addRows(origin + down.first[y] * stride, stride, down.of(y), down.count(y), bytes, columns.data());
        reduceRow<Channels>(columns.data(), across,
                            reinterpret_cast<QRgb *>(destination.scanLine(destinationRect.top() + y))
                                + destinationRect.left());
    }
}

// One past the last row of `taps`' destination index `d`: the second row of a last pair whose
// weight is 0 is not read.
int coveredEnd(const Taps &taps, int d)
{
    const int count = taps.count(d);
    return taps.first[d] + 2 * count - (count > 0 && (taps.of(d)[count - 1] >> 16) == 0 ? 1 : 0);
}

} // namespace

struct AreaReducer::State {
    Taps across;
    Taps down;
    std::vector<std::uint16_t> columns;
    QImage *destination;
    QRect rect;
    int bytes;
    int y = 0;
    int span = 1;
};

AreaReducer::AreaReducer(QSize source, QImage &destination, QRect destinationRect)
    : m_state(new State{coverage(source.width(), destinationRect.width()),
                        coverage(source.height(), destinationRect.height()),
                        std::vector<std::uint16_t>(std::size_t(source.width()) * 4 + 8), // + 8: see reduceRow
                        &destination, destinationRect, source.width() * 4})
{
    for (int d = 0; d < destinationRect.height(); ++d)
        m_state->span = std::max(m_state->span, coveredEnd(m_state->down, d) - m_state->down.first[d]);
}

AreaReducer::~AreaReducer() = default;

int AreaReducer::span() const
{
    return m_state->span;
}

int AreaReducer::firstNeeded() const
{
    const State &s = *m_state;
    return s.y < s.rect.height() ? s.down.first[s.y] : std::numeric_limits<int>::max();
}

bool AreaReducer::done() const
{
    return m_state->y >= m_state->rect.height();
}

void AreaReducer::add(const uchar *rows, qsizetype stride, int first, int count)
{
    State &s = *m_state;
    for (; s.y < s.rect.height() && coveredEnd(s.down, s.y) <= first + count; ++s.y) {
        addRows(rows + (s.down.first[s.y] - first) * stride, stride, s.down.of(s.y), s.down.count(s.y), s.bytes,
                s.columns.data());
        reduceRow<4>(s.columns.data(), s.across,
                     reinterpret_cast<QRgb *>(s.destination->scanLine(s.rect.top() + s.y)) + s.rect.left());
    }
}

bool canReduceByArea(const QImage &source, QRect sourceRect, const QImage &destination, QRect destinationRect)
{
    return source.format() == QImage::Format_RGB32 && destination.format() == QImage::Format_RGB32
           && !sourceRect.isEmpty() && !destinationRect.isEmpty() && source.rect().contains(sourceRect)
           && destination.rect().contains(destinationRect) && destinationRect.width() <= sourceRect.width()
           && destinationRect.height() <= sourceRect.height() && sourceRect.width() <= kMaxAreaReduceSide
           && sourceRect.height() <= kMaxAreaReduceSide;
}

void reduceByArea(const QImage &source, QRect sourceRect, QImage &destination, QRect destinationRect)
{
    reduce<4>(source.constScanLine(sourceRect.top()) + qsizetype(sourceRect.left()) * 4, source.bytesPerLine(),
              sourceRect.size(), destination, destinationRect);
}

void reduceBgrByArea(const uchar *top, qsizetype stride, QSize size, QImage &destination, QRect destinationRect)
{
    reduce<3>(top, stride, size, destination, destinationRect);
}

} // namespace kelbo
