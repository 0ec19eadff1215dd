#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include <QtGlobal>

namespace platform {

// A growable array of trivially copyable values in one malloc'd block. Growing goes through
// realloc, which for large blocks remaps pages instead of copying, so a list of millions of
// items never holds two copies of its storage at once.
template <typename T>
class FlatArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    FlatArray() = default;
    FlatArray(const FlatArray&) = delete;
    FlatArray& operator=(const FlatArray&) = delete;
    FlatArray(FlatArray&& other) noexcept { swap(other); }
    FlatArray& operator=(FlatArray&& other) noexcept {
        FlatArray moved(std::move(other));
        swap(moved);
        return *this;
    }
    ~FlatArray() { std::free(m_data); }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](qsizetype i) { return m_data[i]; }
    const T& operator[](qsizetype i) const { return m_data[i]; }
    const T& last() const { return m_data[m_size - 1]; }

    void reserve(qsizetype capacity) {
        if (capacity <= m_capacity) return;
        void* grown = std::realloc(m_data, static_cast<size_t>(capacity) * sizeof(T));
        if (!grown) throw std::bad_alloc();
        m_data = static_cast<T*>(grown);
        m_capacity = capacity;
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
        std::free(m_data);
        m_data = nullptr;
        m_size = m_capacity = 0;
    }
    // Gives back unused capacity after a large removal.
    void squeeze() {
        if (m_capacity > m_size + m_size / 2 + 1024) {
            void* shrunk = std::realloc(m_data, static_cast<size_t>(m_size) * sizeof(T));
            if (shrunk || m_size == 0) {
                m_data = static_cast<T*>(shrunk);
                m_capacity = m_size;
            }
        }
    }
    void swap(FlatArray& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

private:
    void grow(qsizetype needed) { reserve(std::max(needed, m_capacity + m_capacity / 2 + 16)); }

    T* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

}  // namespace platform
