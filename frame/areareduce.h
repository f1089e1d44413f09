#pragma once
// Reducing a picture (RGB32, or rows of 24-bit BMP pixels) by averaging: each destination pixel
// is the mean of the source area it covers, fractions of pixels weighted by how much of them it
// covers. This is what a smooth reduction must do to keep fine detail from aliasing, done in two
// passes over whole rows (columns first, then along the row) with SIMD multiply-adds, all of it
// on the thread that calls it. For pictures of a megapixel or so it takes half to two thirds of
// the processor time of Qt's smooth scaling; for 12 megapixels about as much, and more wall time
// than Qt, which spreads such a picture over its thread pool.

#include <QImage>
#include <QRect>

#include <memory>

namespace kelbo {

// The longest side reduceByArea takes. Its buffers grow with the source's sides (8 bytes a
// pixel of width, 2 of height), beyond what the decoded picture's memory bound counts: longer
// sides, which only strips of panorama have, are left to Qt.
constexpr int kMaxAreaReduceSide = 1 << 16;

// True when reduceByArea can draw `sourceRect` of `source` onto `destinationRect` of
// `destination`: both images RGB32, both rectangles non-empty and inside their images, the
// destination no larger than the source in either direction, and no side over
// kMaxAreaReduceSide.
bool canReduceByArea(const QImage &source, QRect sourceRect, const QImage &destination, QRect destinationRect);

// Replaces the pixels of `destinationRect` of `destination` (which must be detached) with
// `sourceRect` of `source` reduced by averaging. Needs canReduceByArea.
void reduceByArea(const QImage &source, QRect sourceRect, QImage &destination, QRect destinationRect);

// The same from rows of blue, green and red bytes (24-bit BMP rows) rather than an image: `size`
// pixels, the top row at `top` and each next one `stride` bytes further (negative for rows
// stored from the bottom up). The pixels come out opaque: the same as reduceByArea gives for
// the same pixels as RGB32. `destination` must be RGB32 and no larger than `size`, and no side
// of `size` over kMaxAreaReduceSide.
void reduceBgrByArea(const uchar *top, qsizetype stride, QSize size, QImage &destination, QRect destinationRect);

// reduceByArea fed a few source rows at a time, as a decoder hands them out, so that the
// picture never has to be held whole: `source` is the size of the part reduced, RGB32 rows.
// The destination rows come out in order, each as soon as the rows it covers have been given;
// they are the same pixels reduceByArea gives for the same part.
class AreaReducer {
public:
    // `destinationRect` of `destination` (RGB32, detached) is replaced; it must be non-empty,
    // no larger than `source`, and no side of `source` over kMaxAreaReduceSide.
    AreaReducer(QSize source, QImage &destination, QRect destinationRect);
    ~AreaReducer();
    AreaReducer(const AreaReducer &) = delete;
    AreaReducer &operator=(const AreaReducer &) = delete;

    // The most consecutive source rows one destination row covers.
    int span() const;
    // The first source row still needed: the rows before it may be dropped.
    int firstNeeded() const;
    bool done() const;
    // Source rows `first` to `first + count - 1` (relative to the part's top), the first at
    // `rows` and each next `stride` bytes further, the part's left column first. Every
    // destination row whose rows are all there is written. `first` must be at most
    // firstNeeded().
    void add(const uchar *rows, qsizetype stride, int first, int count);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace kelbo
