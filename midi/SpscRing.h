// A fixed ring of N values from one producing thread to one consuming thread, with neither
// lock nor allocation: what the MIDI reader's thread and the user-interface thread pass on.
#ifndef KOVRA_MIDI_SPSCRING_H
#define KOVRA_MIDI_SPSCRING_H

#include <array>
#include <atomic>
#include <cstddef>

template <class T, std::size_t N>
class CSpscRing {
    static_assert(N != 0 && (N & (N - 1)) == 0, "the capacity is a power of two");
    static_assert(std::atomic<std::size_t>::is_always_lock_free, "no lock behind the indexes");

public:
    // Producer: false when the ring is full (the value is not taken).
    bool Push(const T& value)
    {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) == N) return false;
        m_items[tail & (N - 1)] = value;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Producer: the places left, at least (the consumer may be freeing more).
    std::size_t Free() const
    {
        return N -
               (m_tail.load(std::memory_order_relaxed) - m_head.load(std::memory_order_acquire));
    }

    // Consumer: false when the ring is empty.
    bool Pop(T& value)
    {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire)) return false;
        value = m_items[head & (N - 1)];
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

private:
    // Apart, so that the two threads do not share a cache line for their own index.
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
    std::array<T, N> m_items{};
};

#endif
