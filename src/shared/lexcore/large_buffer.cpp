#include "shared/lexcore/large_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace lex {

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
    if (bytes == m_size)
        return;
    if (bytes == 0) {
        reset();
        return;
    }
    void *p;
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
