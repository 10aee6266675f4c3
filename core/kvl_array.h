// KVLArray: a growable array of plain elements (pointers, numbers, small records
// copied bytewise) on the C heap. No constructors or destructors run inside it: an
// owner whose elements hold resources releases them itself.
//
// Growth: with the built-in rule (grow step -1) capacities run 32, 64, ... 1024, then
// multiples of 1024; with a positive step the capacity grows by that step.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

// The capacity the growth rule gives for a need of `need` elements.
inline int32_t KVLArrayGrowCapacity(int32_t capacity, int32_t growStep, int32_t need) {
    int64_t result = capacity;
    if (growStep != -1 && growStep > 0) {
        while (result < need) {
            result += growStep;
        }
    } else if (need <= 32) {
        result = 32;
    } else if (need < 1024) {
        result = 32;
        while (result < need) {
            result *= 2;
        }
    } else {
        result = (static_cast<int64_t>(need - 1) & ~int64_t{1023}) + 1024;
    }
    if (result > INT32_MAX) {
        throw std::bad_alloc();
    }
    return static_cast<int32_t>(result);
}

template <class T>
class KVLArray {
    static_assert(std::is_trivially_copyable_v<T>, "KVLArray holds plain elements only");

public:
    explicit KVLArray(int32_t growStep = -1) : m_growStep(growStep) {}
    KVLArray(const KVLArray& other) : m_growStep(other.m_growStep) { CopyFrom(other); }
    KVLArray& operator=(const KVLArray& other) {
        if (this != &other) {
            RemoveAll();
            CopyFrom(other);
        }
        return *this;
    }
    ~KVLArray() { std::free(m_data); }

    int32_t GetCount() const { return m_count; }
    int32_t GetCapacity() const { return m_capacity; }
    int32_t GetGrowStep() const { return m_growStep; }
    bool IsEmpty() const { return m_count == 0; }

    T& operator[](int32_t i) { return m_data[i]; }
    const T& operator[](int32_t i) const { return m_data[i]; }
    T* GetData() { return m_data; }
    const T* GetData() const { return m_data; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_count; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_count; }

    void Reserve(int32_t n) {
        if (m_capacity < n) {
            Reallocate(KVLArrayGrowCapacity(m_capacity, m_growStep, n));
        }
    }

    // Inserts v before index i (0 <= i <= count); other indices are ignored.
    void InsertAt(int32_t i, const T& v) {
        if (i < 0 || i > m_count) {
            return;
        }
        // v may live inside this array: copy it before the storage moves.
        const T value = v;
        if (m_count + 1 > m_capacity) {
            Reallocate(KVLArrayGrowCapacity(m_capacity, m_growStep, m_count + 1));
        }
        std::memmove(static_cast<void*>(m_data + i + 1), static_cast<const void*>(m_data + i),
                     sizeof(T) * static_cast<size_t>(m_count - i));
        std::memcpy(static_cast<void*>(m_data + i), &value, sizeof(T));
        ++m_count;
    }

    // Appending into spare capacity is the common case (readers filling reserved
    // lists): a plain copy, without InsertAt's checks and moves.
    void Add(const T& v) {
        if (m_count < m_capacity) {
            std::memcpy(static_cast<void*>(m_data + m_count), &v, sizeof(T));
            ++m_count;
            return;
        }
        InsertAt(m_count, v);
    }

    // Removes the element at i, moving the later ones down.
    void RemoveAt(int32_t i) {
        if (i < 0 || i >= m_count) {
            return;
        }
        std::memmove(static_cast<void*>(m_data + i), static_cast<const void*>(m_data + i + 1),
                     sizeof(T) * static_cast<size_t>(m_count - i - 1));
        --m_count;
    }

    // Count becomes 0; storage and capacity stay.
    void RemoveAll() { m_count = 0; }

    // Releases the storage as well.
    void FreeAll() {
        std::free(m_data);
        m_data = nullptr;
        m_count = 0;
        m_capacity = 0;
    }

private:
    void Reallocate(int32_t capacity) {
        void* p = std::realloc(static_cast<void*>(m_data), sizeof(T) * static_cast<size_t>(capacity));
        if (p == nullptr) {
            throw std::bad_alloc();
        }
        m_data = static_cast<T*>(p);
        m_capacity = capacity;
    }

    void CopyFrom(const KVLArray& other) {
        if (other.m_count == 0) {
            return;
        }
        Reserve(other.m_count);
        std::memcpy(static_cast<void*>(m_data), static_cast<const void*>(other.m_data),
                    sizeof(T) * static_cast<size_t>(other.m_count));
        m_count = other.m_count;
    }

    int32_t m_growStep;
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    T* m_data = nullptr;
};
