// File access shared by the codecs: whole-file reads with their size checked
// first, buffered writes in large blocks, and file-name extensions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vyxsim::fmt {

// Where an encoder's bytes go. Encoders hand over large blocks; a failed
// write makes every later one fail too.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Write(const void* data, std::size_t size) = 0;
};

// Collects the bytes in memory.
class VectorSink : public Sink {
public:
    bool Write(const void* data, std::size_t size) override;
    std::vector<uint8_t> bytes;
};

// Writes to a file through a 4 MiB buffer; blocks of 1 MiB or more go
// straight to the file when nothing is buffered. Close reports the first error of the whole write.
class FileSink : public Sink {
public:
    FileSink() = default;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink() override;

    // Creates (or truncates) `path`; false with `error` set (errno text).
    bool Open(const char* path, std::string* error);
    bool Write(const void* data, std::size_t size) override;
    // Flushes and closes; false with `error` set when any write failed. A file
    // that could not be written completely is removed.
    bool Close(std::string* error);

private:
    bool Flush();
    std::FILE* file_ = nullptr;
    std::string path_;
    std::vector<uint8_t> buffer_;
    std::size_t used_ = 0;
    int errno_ = 0;
};

// Outcome of opening or reading a file.
enum class ReadStatus { Ok, CannotOpen, NotRegular, TooLarge, ReadError };

// Sequential reads of exactly the bytes asked for.
class ByteReader {
public:
    virtual ~ByteReader() = default;
    // Fills `size` bytes at the current position and moves past them; false
    // when the data ends first or a read fails (`error` says why).
    virtual bool Read(void* out, std::size_t size, std::string* error) = 0;
};

// Reads from memory.
class MemoryReader : public ByteReader {
public:
    MemoryReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Read(void* out, std::size_t size, std::string* error) override;

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A regular file opened for reading, its size known from the start.
class FileReader : public ByteReader {
public:
    FileReader() = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader() override;

    // Opens `path` if it is a regular file of at most `max_size` bytes; on
    // failure `error` says why in words (e.g. "No such file or directory").
    ReadStatus Open(const char* path, std::size_t max_size, std::string* error);
    std::size_t Size() const { return size_; }
    bool Read(void* out, std::size_t size, std::string* error) override;

private:
    std::FILE* file_ = nullptr;
    std::size_t size_ = 0;
};

// Reads a regular file of at most `max_size` bytes into `out`.
ReadStatus ReadWholeFile(const char* path, std::size_t max_size, std::vector<uint8_t>* out,
                         std::string* error);

// Writes `size` bytes to `path` (created or truncated).
bool WriteWholeFile(const char* path, const void* data, std::size_t size, std::string* error);

// The extension of the last path component, lower case, without the dot;
// empty when there is none.
std::string LowerExtension(const char* path);

}  // namespace vyxsim::fmt
