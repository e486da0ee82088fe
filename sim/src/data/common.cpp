#include "data/common.h"

#include <deque>
#include <mutex>
#include <new>
#include <optional>

#include "core/error.h"
#include "data/formats/io.h"

namespace vyxsim::data {

namespace {

// A small pool of released buffers, keyed by their exact element count.
template <class Buffer>
class StoragePool {
    using T = typename Buffer::value_type;

public:
    bool Take(std::size_t count, Buffer* out) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = buffers_.begin(); it != buffers_.end(); ++it) {
            if (it->size() == count) {
                bytes_ -= count * sizeof(T);
                *out = std::move(*it);
                buffers_.erase(it);
                return true;
            }
        }
        return false;
    }

    void Give(Buffer&& storage) {
        const std::size_t bytes = storage.size() * sizeof(T);
        if (bytes == 0 || bytes > kPoolBytes) return;  // freed by the caller's vector
        std::deque<Buffer> evicted;  // freed after the lock is released
        std::lock_guard<std::mutex> lock(mutex_);
        buffers_.push_back(std::move(storage));
        bytes_ += bytes;
        while (buffers_.size() > kPoolBuffers || bytes_ > kPoolBytes) {
            bytes_ -= buffers_.front().size() * sizeof(T);
            evicted.push_back(std::move(buffers_.front()));
            buffers_.pop_front();
        }
    }

    std::size_t Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    std::mutex mutex_;
    std::deque<Buffer> buffers_;
    std::size_t bytes_ = 0;
};

// Never destroyed: objects that die during the process's exit still give
// their storage back.
StoragePool<std::vector<uint8_t>>& BytePool() {
    static auto* pool = new StoragePool<std::vector<uint8_t>>;
    return *pool;
}

StoragePool<fmt::DoubleBuffer>& DoublePool() {
    static auto* pool = new StoragePool<fmt::DoubleBuffer>;
    return *pool;
}

template <class Buffer, class T = typename Buffer::value_type>
bool Allocate(StoragePool<Buffer>& pool, std::size_t count, std::optional<T> fill, Buffer* out, const char* what) {
    try {
        if (pool.Take(count, out)) {
            if (fill) std::fill(out->begin(), out->end(), *fill);
        } else if (fill) {
            out->assign(count, *fill);
        } else {
            out->resize(count);
        }
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(kInvalidArgument, std::string("cannot allocate ") +
                                           std::to_string(count * sizeof(T)) + " bytes for " +
                                           what);
        return false;
    }
}

}  // namespace

bool GridElements(Vyx::Size size, std::size_t per_cell, std::size_t element_bytes,
                  std::size_t* count) {
    if (size.width <= 0 || size.height <= 0) return false;
    const uint64_t cells = static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height);
    // cells < 2^62; the limit check below keeps the products in range.
    if (cells > kMaxStorageBytes) return false;
    const uint64_t elements = cells * per_cell;
    if (elements * element_bytes > kMaxStorageBytes) return false;
    *count = static_cast<std::size_t>(elements);
    return true;
}

std::string SizeText(Vyx::Size size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

std::string PathText(const char* path) {
    return path == nullptr ? std::string("(null)") : "'" + std::string(path) + "'";
}

bool AllocateBytes(std::size_t count, std::optional<uint8_t> fill, std::vector<uint8_t>* out, const char* what) {
    return Allocate(BytePool(), count, fill, out, what);
}

bool AllocateDoubles(std::size_t count, std::optional<double> fill, fmt::DoubleBuffer* out, const char* what) {
    return Allocate(DoublePool(), count, fill, out, what);
}

void RecycleBytes(std::vector<uint8_t>&& storage) { BytePool().Give(std::move(storage)); }
void RecycleDoubles(fmt::DoubleBuffer&& storage) { DoublePool().Give(std::move(storage)); }
std::size_t PooledBytes() { return BytePool().Bytes() + DoublePool().Bytes(); }

namespace {

bool ReadFailed(const char* op, const char* path, fmt::ReadStatus st, const std::string& reason) {
    const char* what = st == fmt::ReadStatus::CannotOpen ? "cannot open " : "cannot read ";
    SetLastError(kIoError, std::string(op) + ": " + what + PathText(path) + ": " + reason);
    return false;
}

}  // namespace

bool ReadInputFile(const char* op, const char* path, std::vector<uint8_t>* bytes) {
    std::string reason;
    const fmt::ReadStatus st = fmt::ReadWholeFile(path, kMaxFileBytes, bytes, &reason);
    return st == fmt::ReadStatus::Ok || ReadFailed(op, path, st, reason);
}

bool WriteOutputFile(const char* op, const char* path, const std::vector<uint8_t>& bytes) {
    std::string reason;
    if (fmt::WriteWholeFile(path, bytes.data(), bytes.size(), &reason)) return true;
    SetLastError(kIoError, std::string(op) + ": cannot write " + PathText(path) + ": " + reason);
    return false;
}

bool BadFile(const char* op, const char* path, const std::string& problem) {
    SetLastError(kBadFile, std::string(op) + ": " + PathText(path) + ": " + problem);
    return false;
}

bool BadArgument(const char* op, const std::string& problem) {
    SetLastError(kInvalidArgument, std::string(op) + ": " + problem);
    return false;
}

}  // namespace vyxsim::data
