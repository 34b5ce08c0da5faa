// The pool of MIDI events; see MidiEvent.h. Taken on the driver's thread, given back on the
// user-interface thread, so a mutex guards the free list.
#include "MidiEvent.h"

#include <mutex>
#include <new>

namespace {

constexpr int kPoolSize = 4096;  // four seconds of a dense controller stream

struct Pool {
    alignas(CMidiEvent) unsigned char blocks[kPoolSize][sizeof(CMidiEvent)];
    int free[kPoolSize];
    int freeCount = 0;
    std::mutex mutex;

    Pool()
    {
        for (int i = 0; i < kPoolSize; ++i) free[i] = kPoolSize - 1 - i;
        freeCount = kPoolSize;
    }
    bool Owns(const void* block) const
    {
        const auto* p = static_cast<const unsigned char*>(block);
        return p >= &blocks[0][0] && p < &blocks[0][0] + sizeof blocks;
    }
};

Pool& ThePool()
{
    static Pool pool;
    return pool;
}

}  // namespace

void* CMidiEvent::operator new(std::size_t size)
{
    Pool& pool = ThePool();
    if (size == sizeof(CMidiEvent)) {
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (pool.freeCount > 0) return pool.blocks[pool.free[--pool.freeCount]];
    }
    return ::operator new(size);
}

void CMidiEvent::operator delete(void* block, std::size_t size)
{
    Pool& pool = ThePool();
    if (!pool.Owns(block)) {
        ::operator delete(block, size);
        return;
    }
    const auto offset = static_cast<unsigned char*>(block) - &pool.blocks[0][0];
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.free[pool.freeCount++] = static_cast<int>(offset / sizeof(CMidiEvent));
}

int CMidiEvent::InUse()
{
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    return kPoolSize - pool.freeCount;
}
