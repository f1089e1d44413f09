#include "frame/readbuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

namespace kelbo {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

} // namespace

ReadBuffer::~ReadBuffer()
{
    if (m_data)
        ::munmap(m_data, m_capacity);
}

uchar *ReadBuffer::reserve(qsizetype bytes)
{
    if (bytes < 0)
        return nullptr;
    if (m_data && std::size_t(bytes) <= m_capacity)
        return m_data;
    if (m_data) {
        ::munmap(m_data, m_capacity);
        m_data = nullptr;
        m_capacity = 0;
    }
    // Whole huge pages, on a huge page's boundary, which the system is asked to back with huge
    // pages (Linux does where transparent huge pages are on "madvise", as Debian has them).
    // Each first touch of a page is a fault that costs microseconds, tens of them on some
    // virtual machines: reading a photograph into fresh 4 KB pages took a thousand of them,
    // a few percent of an export. Where huge pages cannot be had, the memory is ordinary.
    const std::size_t capacity = (std::max<std::size_t>(std::size_t(bytes), 1) + kHugePage - 1) & ~(kHugePage - 1);
    const std::size_t mapped = capacity + kHugePage;
    void *area = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        return nullptr;
    auto *start = static_cast<uchar *>(area);
    auto *aligned = reinterpret_cast<uchar *>((reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1));
    // The parts before and after the aligned pages go back at once.
    if (aligned > start)
        ::munmap(start, std::size_t(aligned - start));
    if (const std::size_t after = mapped - std::size_t(aligned - start) - capacity; after > 0)
        ::munmap(aligned + capacity, after);
    (void)::madvise(aligned, capacity, MADV_HUGEPAGE);
    m_data = aligned;
    m_capacity = capacity;
    return m_data;
}

ReadBuffer &threadReadBuffer()
{
    thread_local ReadBuffer buffer;
    return buffer;
}

} // namespace kelbo
