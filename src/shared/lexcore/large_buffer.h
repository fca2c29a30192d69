#pragma once
// Memory for the big buffers of a run (decoded text, encoded output, slot tables): mapped
// directly and marked for transparent huge pages, because on virtual machines every 4 KiB page
// fault costs microseconds and a million-line lexicon touches tens of thousands of pages.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lex {

// Memory of `bytes` for a big buffer, not initialised: from 64 KiB to 1 MiB a block of a huge
// page shared with others, above that whole 2 MiB-aligned huge pages where the system gives them
// (a page fault per 2 MiB instead of per 4 KiB), below the heap. Freed with the same size.
void *allocateLarge(size_t bytes);
void freeLarge(void *p, size_t bytes) noexcept;
// Marks the whole huge pages inside memory of another allocator (a reserved standard vector,
// not yet touched) for transparent huge pages.
void adviseHugePages(const void *p, size_t bytes) noexcept;

// An allocator for standard containers that grow big (line ends, chunk buffers).
template <class T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U> &) noexcept {}
    T *allocate(size_t n) { return static_cast<T *>(allocateLarge(n * sizeof(T))); }
    void deallocate(T *p, size_t n) noexcept { freeLarge(p, n * sizeof(T)); }
    friend bool operator==(const LargeAllocator &, const LargeAllocator &) { return true; }
};

template <class T> using LargeVector = std::vector<T, LargeAllocator<T>>;

// A fixed block of elements from allocateLarge, not initialised.
template <class T> class LargeBlock {
public:
    LargeBlock() = default;
    explicit LargeBlock(size_t n) : m_p(static_cast<T *>(allocateLarge(n * sizeof(T)))), m_n(n) {}
    ~LargeBlock() { freeLarge(m_p, m_n * sizeof(T)); }
    LargeBlock(LargeBlock &&other) noexcept
        : m_p(std::exchange(other.m_p, nullptr)), m_n(std::exchange(other.m_n, 0)) {}
    LargeBlock &operator=(LargeBlock &&other) noexcept {
        if (this != &other) {
            freeLarge(m_p, m_n * sizeof(T));
            m_p = std::exchange(other.m_p, nullptr);
            m_n = std::exchange(other.m_n, 0);
        }
        return *this;
    }
    LargeBlock(const LargeBlock &) = delete;
    LargeBlock &operator=(const LargeBlock &) = delete;

    T *get() const { return m_p; }
    size_t size() const { return m_n; }
    explicit operator bool() const { return m_p != nullptr; }
    void reset(size_t n) { *this = LargeBlock(n); }

private:
    T *m_p = nullptr;
    size_t m_n = 0;
};
using LargeString =
    std::basic_string<char16_t, std::char_traits<char16_t>, LargeAllocator<char16_t>>;
// Where each line of a decoded text ends (its LF).
using LineEnds = LargeVector<uint32_t>;

class LargeBuffer {
public:
    LargeBuffer() = default;
    explicit LargeBuffer(size_t bytes) { resize(bytes); }
    ~LargeBuffer();
    LargeBuffer(LargeBuffer &&other) noexcept;
    LargeBuffer &operator=(LargeBuffer &&other) noexcept;
    LargeBuffer(const LargeBuffer &) = delete;
    LargeBuffer &operator=(const LargeBuffer &) = delete;

    // Grows (keeping the content) or shrinks the mapping; new bytes read as zero.
    void resize(size_t bytes);
    void reset();
    void *data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    void *m_data = nullptr;
    size_t m_size = 0;
};

// A growable array of trivially copyable elements in a LargeBuffer.
template <class T> class LargeArray {
public:
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T *data() const { return static_cast<T *>(m_buffer.data()); }
    T &operator[](size_t i) { return data()[i]; }
    const T &operator[](size_t i) const { return data()[i]; }
    T *begin() const { return data(); }
    T *end() const { return data() + m_size; }

    void reserve(size_t n) {
        if (n * sizeof(T) > m_buffer.size())
            m_buffer.resize(n * sizeof(T));
    }
    void push_back(const T &v) {
        if ((m_size + 1) * sizeof(T) > m_buffer.size())
            reserve(m_size * 2 + 4096 / sizeof(T) + 1);
        data()[m_size++] = v;
    }
    void append(const T *p, size_t n) {
        if ((m_size + n) * sizeof(T) > m_buffer.size())
            reserve(std::max(m_size * 2, m_size + n) + 4096 / sizeof(T));
        std::copy(p, p + n, data() + m_size);
        m_size += n;
    }
    // Room for n more elements at the end, not initialised; the array grows by doubling.
    T *extend(size_t n) {
        if ((m_size + n) * sizeof(T) > m_buffer.size())
            reserve(std::max(m_size * 2, m_size + n) + 4096 / sizeof(T));
        T *p = data() + m_size;
        m_size += n;
        return p;
    }
    // n elements, each `fill`.
    void assign(size_t n, const T &fill) {
        reserve(n);
        std::fill_n(data(), n, fill);
        m_size = n;
    }
    void clear() {
        m_buffer.reset();
        m_size = 0;
    }
    // Empty, keeping the memory for a refill.
    void truncate() { m_size = 0; }
    void swap(LargeArray &other) {
        std::swap(m_buffer, other.m_buffer);
        std::swap(m_size, other.m_size);
    }

private:
    LargeBuffer m_buffer;
    size_t m_size = 0;
};

} // namespace lex
