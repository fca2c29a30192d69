#include "shared/lexcore/large_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace lex {

namespace {

#if !defined(__SANITIZE_ADDRESS__)
constexpr size_t kLargeFrom = size_t(64) << 10;
constexpr size_t kHugePage = size_t(2) << 20;

size_t mappedSize(size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// A mapping of whole huge pages at a huge page boundary: a bigger one is made and trimmed.
void *mapAligned(size_t bytes) {
    const size_t size = mappedSize(bytes);
    void *p = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                     -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    const auto at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (at + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > at)
        ::munmap(p, aligned - at);
    if (const size_t after = at + size + kHugePage - (aligned + size); after > 0)
        ::munmap(reinterpret_cast<void *>(aligned + size), after);
    ::madvise(reinterpret_cast<void *>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void *>(aligned);
}

// Blocks under 1 MiB share huge pages: each is carved from a 2 MiB page in its size class (a
// power of two from 64 KiB) and goes back to that class when freed, for the next block of the
// class. A huge page is zeroed whole at its first touch, so a page to itself would cost a
// 100 KiB vector the zeroing of 2 MiB, and a block used again costs no page fault at all.
// What is freed stays with the process, bounded by the most blocks of a class ever in use.
class SharedPages {
public:
    static constexpr size_t kClasses = 5; // 64 KiB to 1 MiB

    static size_t classOf(size_t bytes) {
        size_t c = 0;
        while ((kLargeFrom << c) < bytes)
            ++c;
        return c;
    }
    void *take(size_t c) {
        std::lock_guard lock(m_mutex);
        if (!m_free[c]) {
            const size_t block = kLargeFrom << c;
            auto *page = static_cast<char *>(mapAligned(kHugePage));
            for (size_t at = kHugePage; at >= block; at -= block)
                push(c, page + at - block);
        }
        Free *f = m_free[c];
        m_free[c] = f->next;
        return f;
    }
    void give(void *p, size_t c) {
        std::lock_guard lock(m_mutex);
        push(c, p);
    }

private:
    struct Free {
        Free *next;
    };
    void push(size_t c, void *p) { m_free[c] = new (p) Free{m_free[c]}; }

    std::mutex m_mutex;
    Free *m_free[kClasses] = {};
};

SharedPages &sharedPages() {
    static SharedPages *pages = new SharedPages; // never destroyed: blocks outlive statics
    return *pages;
}
#endif

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the heap, so that overruns are caught.
void *allocateLarge(size_t bytes) {
    return ::operator new(bytes);
}

void freeLarge(void *p, size_t) noexcept {
    ::operator delete(p);
}
#else
void *allocateLarge(size_t bytes) {
    if (bytes < kLargeFrom)
        return ::operator new(bytes);
    if (bytes <= kHugePage / 2)
        return sharedPages().take(SharedPages::classOf(bytes));
    return mapAligned(bytes);
}

void freeLarge(void *p, size_t bytes) noexcept {
    if (!p)
        return;
    if (bytes < kLargeFrom)
        ::operator delete(p);
    else if (bytes <= kHugePage / 2)
        sharedPages().give(p, SharedPages::classOf(bytes));
    else
        ::munmap(p, mappedSize(bytes));
}
#endif

void adviseHugePages(const void *p, size_t bytes) noexcept {
#if !defined(__SANITIZE_ADDRESS__)
    if (bytes < kHugePage)
        return;
    const auto at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t from = (at + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t to = (at + bytes) & ~(kHugePage - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

LargeBuffer::~LargeBuffer() {
    reset();
}

LargeBuffer::LargeBuffer(LargeBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

LargeBuffer &LargeBuffer::operator=(LargeBuffer &&other) noexcept {
    if (this != &other) {
        reset();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the heap is used instead, so that overruns of these buffers are caught.
void LargeBuffer::reset() {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

void LargeBuffer::resize(size_t bytes) {
    if (bytes == 0) {
        reset();
        return;
    }
    void *p = std::realloc(m_data, bytes);
    if (!p)
        throw std::bad_alloc();
    if (bytes > m_size)
        std::memset(static_cast<char *>(p) + m_size, 0, bytes - m_size);
    m_data = p;
    m_size = bytes;
}
#else
void LargeBuffer::reset() {
    if (m_data)
        ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

void LargeBuffer::resize(size_t bytes) {
    // A big buffer is whole huge pages; the room beyond `bytes` is usable and reported.
    if (bytes >= kLargeFrom)
        bytes = mappedSize(bytes);
    if (bytes == m_size)
        return;
    if (bytes == 0) {
        reset();
        return;
    }
    void *p;
    if (bytes >= kLargeFrom && m_size < kLargeFrom) {
        // From small to big: a fresh aligned mapping, so that the huge pages line up.
        p = mapAligned(bytes);
        if (m_data) {
            std::memcpy(p, m_data, m_size);
            ::munmap(m_data, m_size);
        }
        m_data = p;
        m_size = bytes;
        return;
    }
    if (m_data)
        p = ::mremap(m_data, m_size, bytes, MREMAP_MAYMOVE);
    else
        p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    ::madvise(p, bytes, MADV_HUGEPAGE);
    m_data = p;
    m_size = bytes;
}
#endif

} // namespace lex
