// Shared by the data objects: storage sizing and allocation (with the reuse
// pool), file reading and writing with the SDK's error reporting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/formats/buffer.h"
#include "vyx/types.h"

namespace vyxsim::data {

// No object's storage exceeds this many bytes (4 GiB).
constexpr uint64_t kMaxStorageBytes = uint64_t{1} << 32;
// Files larger than this are not read.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 32;

// The element count of a grid of `size` cells with `per_cell` elements of
// `element_bytes` each. False when a side is not positive or the storage
// would exceed kMaxStorageBytes.
bool GridElements(Vyx::Size size, std::size_t per_cell, std::size_t element_bytes,
                  std::size_t* count);

// "640 x 480".
std::string SizeText(Vyx::Size size);
// The path in quotes for messages, or "(null)".
std::string PathText(const char* path);

// Owned storage of `count` elements set to `fill` (left as they are without
// one: for callers that write every element): a pooled buffer of that size
// when one is kept, otherwise a new one. False (and the last error set,
// naming `what`) when memory runs out.
bool AllocateBytes(std::size_t count, std::optional<uint8_t> fill, std::vector<uint8_t>* out, const char* what);
bool AllocateDoubles(std::size_t count, std::optional<double> fill, fmt::DoubleBuffer* out, const char* what);

// Storage of a destroyed object offered for reuse by a later allocation of
// the same size. The pool keeps at most kPoolBuffers buffers and
// kPoolBytes bytes in all, dropping the oldest first; larger buffers are
// freed at once.
constexpr std::size_t kPoolBuffers = 4;
constexpr std::size_t kPoolBytes = std::size_t{256} << 20;
void RecycleBytes(std::vector<uint8_t>&& storage);
void RecycleDoubles(fmt::DoubleBuffer&& storage);
std::size_t PooledBytes();

// Reads a file for `op`; on failure sets the last error (kIoError, with the
// path and the reason) and returns false.
bool ReadInputFile(const char* op, const char* path, std::vector<uint8_t>* bytes);
// Writes a file for `op`; on failure sets the last error (kIoError).
bool WriteOutputFile(const char* op, const char* path, const std::vector<uint8_t>& bytes);

// Records that the file at `path` is damaged or unsupported (kBadFile) and
// returns false.
bool BadFile(const char* op, const char* path, const std::string& problem);
// Records an invalid argument (kInvalidArgument) and returns false.
bool BadArgument(const char* op, const std::string& problem);

}  // namespace vyxsim::data
