// The render cache: a short list of immutable results, newest last.
#include "rendering/frame_cache.h"

#include <cstring>
#include <list>
#include <mutex>
#include <string>

#include "rendering/correspondence.h"
#include "scene/scene_json.h"

namespace vyxsim::scene {

namespace {

constexpr std::size_t kMaxEntries = 12;
constexpr std::size_t kMaxBytes = std::size_t{768} << 20;

struct Entry {
    std::string key;
    std::shared_ptr<const Frame> frame;                // a frame, or
    std::shared_ptr<const std::vector<double>> uv;     // a correspondence
    std::shared_ptr<const Frame> source;               // the frame the correspondence is of
    std::size_t bytes = 0;
};

struct Cache {
    std::mutex mutex;
    std::list<Entry> entries;
    std::size_t bytes = 0;
};

Cache& TheCache() {
    static Cache* cache = new Cache();  // outlives every user at exit
    return *cache;
}

void AppendRaw(std::string* key, const void* data, std::size_t size) {
    key->append(static_cast<const char*>(data), size);
}

void AppendModel(std::string* key, const CameraModel& m) {
    AppendRaw(key, &m.width, sizeof m.width);
    AppendRaw(key, &m.height, sizeof m.height);
    const double v[4] = {m.fx, m.fy, m.cx, m.cy};
    AppendRaw(key, v, sizeof v);
    AppendRaw(key, m.distortion.data(), sizeof(double) * m.distortion.size());
    AppendRaw(key, m.pose.data(), sizeof(double) * m.pose.size());
}

std::size_t FrameBytes(const Frame& f) {
    return f.depth.size() * 4 + f.irradiance.size() * 4 + f.proj_u.size() * 4 + f.proj_v.size() * 4 +
           f.albedo.size() + f.view_cos.size() + f.object.size() * 2;
}

// The entry with `key`, moved to the newest place; null when there is none.
// Caller holds the mutex.
Entry* Find(Cache& c, const std::string& key) {
    for (auto it = c.entries.begin(); it != c.entries.end(); ++it) {
        if (it->key == key) {
            c.entries.splice(c.entries.end(), c.entries, it);
            return &c.entries.back();
        }
    }
    return nullptr;
}

// Adds `e` unless another thread added the same key meanwhile; returns the
// entry kept. Caller holds the mutex.
Entry& Insert(Cache& c, Entry e) {
    if (Entry* found = Find(c, e.key)) return *found;
    c.bytes += e.bytes;
    c.entries.push_back(std::move(e));
    while (c.entries.size() > 1 && (c.entries.size() > kMaxEntries || c.bytes > kMaxBytes)) {
        c.bytes -= c.entries.front().bytes;
        c.entries.pop_front();
    }
    return c.entries.back();
}

}  // namespace

std::shared_ptr<const Frame> RenderCached(const Scene& scene, const RenderSetup& setup) {
    if (!setup.camera) return nullptr;
    const bool whole = setup.row_begin <= 0 && setup.row_end < 0;
    if (!whole) {
        auto frame = std::make_shared<Frame>();
        if (!Render(scene, setup, frame.get())) return nullptr;
        return frame;
    }
    std::string key = "frame:";
    key += SceneToJson(scene).dump();
    AppendModel(&key, *setup.camera);
    const bool lit = setup.projector != nullptr;
    AppendRaw(&key, &lit, sizeof lit);
    if (lit) AppendModel(&key, *setup.projector);
    AppendRaw(&key, &setup.reference_distance, sizeof setup.reference_distance);
    AppendRaw(&key, &setup.step, sizeof setup.step);

    Cache& c = TheCache();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (Entry* e = Find(c, key)) return e->frame;
    }
    // Rendered outside the lock, so that cameras of different devices render
    // at the same time; two threads may render the same frame once each.
    auto frame = std::make_shared<Frame>();
    if (!Render(scene, setup, frame.get())) return nullptr;
    Entry e;
    e.key = std::move(key);
    e.bytes = FrameBytes(*frame);
    e.frame = std::move(frame);
    std::lock_guard<std::mutex> lock(c.mutex);
    return Insert(c, std::move(e)).frame;
}

std::shared_ptr<const std::vector<double>> CorrespondenceCached(const Scene& scene, const CameraModel& from,
                                                               const std::shared_ptr<const Frame>& frame,
                                                               const CameraModel& to) {
    // The frame is immutable and the entry keeps it alive, so its address
    // names its content for as long as the entry exists.
    std::string key = "uv:";
    const Frame* id = frame.get();
    AppendRaw(&key, &id, sizeof id);
    AppendModel(&key, from);
    AppendModel(&key, to);

    Cache& c = TheCache();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (Entry* e = Find(c, key)) return e->uv;
    }
    auto uv = std::make_shared<std::vector<double>>(2 * frame->Size());
    MapIntoCamera(scene, from, *frame, to, uv->data());
    Entry e;
    e.key = std::move(key);
    e.bytes = uv->size() * sizeof(double);
    e.uv = std::move(uv);
    e.source = frame;
    std::lock_guard<std::mutex> lock(c.mutex);
    return Insert(c, std::move(e)).uv;
}

void ClearRenderCache() {
    Cache& c = TheCache();
    std::list<Entry> dropped;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        dropped.swap(c.entries);
        c.bytes = 0;
    }
}

std::size_t RenderCacheEntries() {
    Cache& c = TheCache();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.entries.size();
}

std::size_t RenderCacheBytes() {
    Cache& c = TheCache();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.bytes;
}

}  // namespace vyxsim::scene
