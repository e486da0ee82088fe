// The handle registry.
//
// Slots are spread over a fixed number of shards, each with its own
// reader-writer lock, so lookups from many threads (the common case: every
// SDK call on a handle looks it up) take a shared lock on one shard only and
// hardly ever wait. A handle's first word is the global slot index plus one;
// the global index is `local * kShards + shard`. The second word is the
// slot's generation: it starts at 1 and grows by one at every release. When
// it would wrap to 0 the slot is retired for good, so a generation never
// repeats for a slot and a released handle can never name a later object.
#include "core/handles.h"

#include <array>
#include <atomic>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "core/error.h"

namespace vyxsim {
namespace {

constexpr uint32_t kShards = 16;

struct Slot {
    uint32_t generation = 1;
    Kind kind = Kind::Device;
    std::shared_ptr<Object> object;  // null when the slot is free
};

struct Shard {
    std::shared_mutex mutex;
    std::vector<Slot> slots;
    std::vector<uint32_t> free;  // local indices of free slots
};

struct Registry {
    std::array<Shard, kShards> shards;
    std::atomic<uint32_t> next_shard{0};
    std::atomic<std::size_t> live{0};
    std::atomic<std::size_t> alive{0};
    std::atomic<std::size_t> alive_bytes{0};
};

Registry& R() {
    // Never destroyed: objects may be looked up from static destructors of
    // other code, and destroying the registry at exit would free objects in
    // an unpredictable order.
    static Registry* registry = new Registry;
    return *registry;
}

// Largest local index whose handle word still fits in 32 bits.
constexpr uint32_t kMaxLocal = (std::numeric_limits<uint32_t>::max() - kShards) / kShards;

struct Decoded {
    Shard* shard = nullptr;
    uint32_t local = 0;
};

Decoded Decode(Words words) {
    if (words.a == 0 || words.b == 0) return {};
    uint32_t index = words.a - 1;
    return {&R().shards[index % kShards], index / kShards};
}

}  // namespace

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Device: return "Device";
        case Kind::Image: return "Image";
        case Kind::DepthMap: return "DepthMap";
        case Kind::ConfidenceMap: return "ConfidenceMap";
        case Kind::CorrespondMap: return "CorrespondMap";
        case Kind::PointMap: return "PointMap";
        case Kind::Mesh: return "Mesh";
        case Kind::X1: return "X1";
        case Kind::X2: return "X2";
    }
    return "unknown";
}

Object::~Object() {
    if (!counted_) return;
    Registry& reg = R();
    reg.alive.fetch_sub(1, std::memory_order_relaxed);
    reg.alive_bytes.fetch_sub(counted_bytes_, std::memory_order_relaxed);
}

Words RegisterObject(Kind kind, std::shared_ptr<Object> object) {
    if (!object) return {};
    Registry& reg = R();
    if (!object->counted_) {
        object->counted_ = true;
        object->counted_bytes_ = object->StorageBytes();
        reg.alive.fetch_add(1, std::memory_order_relaxed);
        reg.alive_bytes.fetch_add(object->counted_bytes_, std::memory_order_relaxed);
    }
    uint32_t shard_index = reg.next_shard.fetch_add(1, std::memory_order_relaxed) % kShards;
    // Try the chosen shard first, then the others, so that one full shard
    // does not refuse registrations while others have room.
    for (uint32_t attempt = 0; attempt < kShards; ++attempt) {
        uint32_t s = (shard_index + attempt) % kShards;
        Shard& shard = reg.shards[s];
        std::unique_lock lock(shard.mutex);
        uint32_t local;
        if (!shard.free.empty()) {
            local = shard.free.back();
            shard.free.pop_back();
        } else {
            if (shard.slots.size() > kMaxLocal) continue;
            shard.slots.emplace_back();
            local = static_cast<uint32_t>(shard.slots.size() - 1);
        }
        Slot& slot = shard.slots[local];
        slot.kind = kind;
        slot.object = std::move(object);
        reg.live.fetch_add(1, std::memory_order_relaxed);
        return {local * kShards + s + 1, slot.generation};
    }
    SetLastError(kNotAvailable, std::string("cannot register another ") + KindName(kind) +
                                    ": every handle slot is in use");
    return {};
}

std::shared_ptr<Object> FindObject(Kind kind, Words words) {
    Decoded d = Decode(words);
    if (!d.shard) return nullptr;
    std::shared_lock lock(d.shard->mutex);
    if (d.local >= d.shard->slots.size()) return nullptr;
    const Slot& slot = d.shard->slots[d.local];
    if (!slot.object || slot.generation != words.b || slot.kind != kind) return nullptr;
    return slot.object;
}

namespace {
// Frees a live slot: the caller holds the shard's exclusive lock.
std::shared_ptr<Object> Release(Shard& shard, uint32_t local) {
    Slot& slot = shard.slots[local];
    std::shared_ptr<Object> object = std::move(slot.object);
    slot.object.reset();
    ++slot.generation;
    if (slot.generation != 0) shard.free.push_back(local);  // else retired for good
    R().live.fetch_sub(1, std::memory_order_relaxed);
    return object;
}
}  // namespace

std::shared_ptr<Object> RemoveObject(Kind kind, Words words) {
    Decoded d = Decode(words);
    if (!d.shard) return nullptr;
    std::shared_ptr<Object> object;
    {
        std::unique_lock lock(d.shard->mutex);
        if (d.local >= d.shard->slots.size()) return nullptr;
        const Slot& slot = d.shard->slots[d.local];
        if (!slot.object || slot.generation != words.b || slot.kind != kind) return nullptr;
        object = Release(*d.shard, d.local);
    }
    // The caller drops the object outside the lock: a destructor may itself
    // release handles.
    return object;
}

void ClearObjects() {
    std::vector<std::shared_ptr<Object>> released;
    for (Shard& shard : R().shards) {
        std::unique_lock lock(shard.mutex);
        for (uint32_t local = 0; local < shard.slots.size(); ++local) {
            if (shard.slots[local].object) released.push_back(Release(shard, local));
        }
    }
    // Destroyed here, with no registry lock held.
    released.clear();
}

std::size_t LiveObjectCount() { return R().live.load(std::memory_order_relaxed); }
std::size_t AliveObjectCount() { return R().alive.load(std::memory_order_relaxed); }
std::size_t AliveStorageBytes() { return R().alive_bytes.load(std::memory_order_relaxed); }

namespace testing {
Words SetGenerationForTest(Words words, uint32_t generation) {
    Decoded d = Decode(words);
    if (!d.shard || generation == 0) return {};
    std::unique_lock lock(d.shard->mutex);
    if (d.local >= d.shard->slots.size()) return {};
    Slot& slot = d.shard->slots[d.local];
    if (!slot.object || slot.generation != words.b) return {};
    slot.generation = generation;
    return {words.a, generation};
}
}  // namespace testing

}  // namespace vyxsim
