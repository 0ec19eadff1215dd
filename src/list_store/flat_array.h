#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace list_store {

// Large blocks of a FlatArray. On Linux a block from kMappedBytes up is a mapping of its own,
// grown with mremap: growing never copies and never holds two copies of the data, whatever
// malloc's own threshold for such blocks has drifted to. The mapping asks for huge pages unless
// told otherwise, so a list of millions of items costs a few dozen page faults instead of
// thousands, and look-ups scattered over its text miss the address-translation cache far less.
// Elsewhere realloc does the work.
namespace large_block {

#ifdef Q_OS_LINUX
inline constexpr size_t kMappedBytes = size_t(2) << 20;
// A multiple of every page size in use, so that mapped sizes need no query of the system.
inline constexpr size_t kGranule = size_t(64) << 10;

inline size_t roundUp(size_t bytes) {
    return (bytes + kGranule - 1) & ~(kGranule - 1);
}

inline constexpr size_t kHugePageBytes = size_t(2) << 20;

// A block that starts on a huge-page boundary: only whole huge pages inside a mapping can be
// huge, so an unaligned block of many megabytes would lose one at each end, and a block moved to
// another offset within a huge page would see all of its huge pages split.
inline void* map(size_t bytes, bool hugePages) {
    const size_t reserved = bytes + kHugePageBytes;
    void* mapped =
        mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    auto* raw = static_cast<char*>(mapped);
    const size_t skip =
        (kHugePageBytes - reinterpret_cast<uintptr_t>(raw) % kHugePageBytes) % kHugePageBytes;
    char* block = raw + skip;
    if (skip > 0) munmap(raw, skip);
    if (const size_t tail = reserved - skip - bytes; tail > 0) munmap(block + bytes, tail);
    // Advice only: without huge pages it changes nothing.
    madvise(block, bytes, hugePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    return block;
}

inline void unmap(void* block, size_t bytes) {
    munmap(block, bytes);
}

// Grows a block by moving its pages, as they are, to the start of a new aligned block: nothing
// is copied, and huge pages stay huge. A block shrinks where it is.
inline void* remap(void* block, size_t oldBytes, size_t newBytes, bool hugePages) {
    if (newBytes <= oldBytes) {
        void* kept = mremap(block, oldBytes, newBytes, 0);
        if (kept == MAP_FAILED) throw std::bad_alloc();
        return kept;
    }
    void* grown = map(newBytes, hugePages);
    if (mremap(block, oldBytes, oldBytes, MREMAP_MAYMOVE | MREMAP_FIXED, grown) == MAP_FAILED) {
        unmap(grown, newBytes);
        throw std::bad_alloc();
    }
    return grown;
}
#endif

}  // namespace large_block

// Which pages a large block of a FlatArray asks the system for.
enum class Pages {
    // Huge ones: for arrays read all over, such as the lists' own, which then miss the
    // address-translation cache far less.
    Huge,
    // Small ones: for a block written once and read in order, such as the undo history's copies,
    // or filled a piece at a time, such as a look-up table. The system hands out pages freed
    // moments before (by the look-up tables, say) at once and zeroes fresh ones as they are first
    // touched, while each huge page must be found, zeroed whole, and on some virtual machines
    // first backed by the host: a copy of 120 MB took 360 ms in huge pages and 100 ms in small.
    Small,
};

// A growable array of trivially copyable values in one block.
template <typename T>
class FlatArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    FlatArray() = default;
    explicit FlatArray(Pages pages) : m_hugePages(pages == Pages::Huge) {}
    // `size` values of all bits zero. A large block is pages the system zeroes as they are first
    // touched, so that a table for millions of items costs nothing until it is filled, and the
    // filling, which lets the window handle its events, pays for the pages as it goes. In small
    // pages, calloc: below its mapping threshold (which grows to tens of megabytes once large
    // blocks are freed) it hands back pages the process already has, where a mapping of our own
    // would fault in fresh ones each time: a look-up table of a million items took 8,000 page
    // faults more that way.
    static FlatArray zeroed(qsizetype size, Pages pages) {
        FlatArray array(pages);
        if (size <= 0) return array;
        if (pages == Pages::Small) {
            array.m_data = static_cast<T*>(std::calloc(static_cast<size_t>(size), sizeof(T)));
            if (!array.m_data) throw std::bad_alloc();
            array.m_size = array.m_capacity = size;
            return array;
        }
        array.setCapacity(size);
        array.m_size = size;
        if (!array.m_mapped) std::memset(array.m_data, 0, static_cast<size_t>(size) * sizeof(T));
        return array;
    }
    FlatArray(const FlatArray&) = delete;
    FlatArray& operator=(const FlatArray&) = delete;
    FlatArray(FlatArray&& other) noexcept { swap(other); }
    FlatArray& operator=(FlatArray&& other) noexcept {
        FlatArray moved(std::move(other));
        swap(moved);
        return *this;
    }
    ~FlatArray() { release(); }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // The memory the array takes, used or not.
    size_t allocatedBytes() const {
#ifdef Q_OS_LINUX
        if (m_mapped) return mappedBytes();
#endif
        return static_cast<size_t>(m_capacity) * sizeof(T);
    }
    T* data() {
        return m_data;
    }
    const T* data() const {
        return m_data;
    }
    T& operator[](qsizetype i) {
        return m_data[i];
    }
    const T& operator[](qsizetype i) const {
        return m_data[i];
    }
    const T& last() const {
        return m_data[m_size - 1];
    }
    const T* begin() const {
        return m_data;
    }
    const T* end() const {
        return m_data + m_size;
    }

    void reserve(qsizetype capacity) {
        if (capacity <= m_capacity) return;
        setCapacity(capacity);
    }
    void append(const T& value) {
        if (m_size == m_capacity) grow(m_size + 1);
        m_data[m_size++] = value;
    }
    void append(const T* values, qsizetype count) {
        if (count <= 0) return;
        if (m_size + count > m_capacity) grow(m_size + count);
        std::memcpy(m_data + m_size, values, static_cast<size_t>(count) * sizeof(T));
        m_size += count;
    }
    void resize(qsizetype size) {
        if (size > m_capacity) grow(size);
        m_size = size;
    }
    void clear() {
        release();
        m_data = nullptr;
        m_size = m_capacity = 0;
        m_mapped = false;
    }
    // Gives back unused capacity after a large removal.
    void squeeze() {
        if (m_capacity <= m_size + m_size / 2 + 1024) return;
        if (m_size == 0) {
            clear();
            return;
        }
        try {
            setCapacity(m_size);
        } catch (const std::bad_alloc&) {
            // Keeping the larger block loses nothing.
        }
    }
    // Pages beyond the size that the array has given up but not yet back to the system.
    struct Tail {
        void* block = nullptr;
        size_t bytes = 0;
        // Gives them back; may run on any thread, as nothing refers to them any more.
        void release() const {
#ifdef Q_OS_LINUX
            if (bytes > 0) large_block::unmap(block, bytes);
#endif
        }
    };
    // As squeeze(), for a mapped block, but the pages given up are handed to the caller rather
    // than back to the system, which for a large block takes a while.
    Tail cutTail() {
#ifdef Q_OS_LINUX
        if (!m_mapped || m_capacity <= m_size + m_size / 2 + 1024) return {};
        const size_t kept = large_block::roundUp(static_cast<size_t>(m_size) * sizeof(T));
        Tail tail{reinterpret_cast<char*>(m_data) + kept, mappedBytes() - kept};
        if (kept == 0) {
            m_data = nullptr;
            m_mapped = false;
        }
        m_capacity = static_cast<qsizetype>(kept / sizeof(T));
        return tail;
#else
        squeeze();
        return {};
#endif
    }
    // Large blocks from now on take small pages (see Pages::Small).
    void useSmallPages() {
        m_hugePages = false;
    }
    void swap(FlatArray& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_mapped, other.m_mapped);
        std::swap(m_hugePages, other.m_hugePages);
    }

private:
    void grow(qsizetype needed) {
        reserve(std::max(needed, m_capacity + m_capacity / 2 + 16));
    }

    // Any capacity not below m_size; throws std::bad_alloc, leaving the array as it was.
    void setCapacity(qsizetype capacity) {
        const size_t bytes = static_cast<size_t>(capacity) * sizeof(T);
#ifdef Q_OS_LINUX
        if (m_mapped || bytes >= large_block::kMappedBytes) {
            const size_t mapped = large_block::roundUp(bytes);
            void* block = nullptr;
            if (m_mapped) {
                block = large_block::remap(m_data, mappedBytes(), mapped, m_hugePages);
            } else {
                block = large_block::map(mapped, m_hugePages);
                if (m_size > 0) std::memcpy(block, m_data, static_cast<size_t>(m_size) * sizeof(T));
                std::free(m_data);
            }
            m_data = static_cast<T*>(block);
            m_capacity = static_cast<qsizetype>(mapped / sizeof(T));
            m_mapped = true;
            return;
        }
#endif
        void* block = std::realloc(m_data, bytes);
        if (!block) throw std::bad_alloc();
        m_data = static_cast<T*>(block);
        m_capacity = capacity;
    }

#ifdef Q_OS_LINUX
    size_t mappedBytes() const {
        return large_block::roundUp(static_cast<size_t>(m_capacity) * sizeof(T));
    }
#endif

    void release() {
#ifdef Q_OS_LINUX
        if (m_mapped) {
            large_block::unmap(m_data, mappedBytes());
            return;
        }
#endif
        std::free(m_data);
    }

    T* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    bool m_mapped = false;  // m_data is a mapping of mappedBytes()
    bool m_hugePages = true;
};

}  // namespace list_store
