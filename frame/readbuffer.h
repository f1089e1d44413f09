#pragma once
// Memory that a thread reads picture files (or the rows of one) into, kept from picture to
// picture.

#include <QtGlobal>

#include <cstddef>

namespace kelbo {

class ReadBuffer {
public:
    ReadBuffer() = default;
    ~ReadBuffer();
    ReadBuffer(const ReadBuffer &) = delete;
    ReadBuffer &operator=(const ReadBuffer &) = delete;

    // At least `bytes` of memory, kept until more is asked for (what it held is then lost);
    // null when none can be had.
    uchar *reserve(qsizetype bytes);

private:
    uchar *m_data = nullptr;
    std::size_t m_capacity = 0;
};

// This thread's own buffer, for one file at a time.
ReadBuffer &threadReadBuffer();

} // namespace kelbo
