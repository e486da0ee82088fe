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

// Writes a file through a 4 MiB buffer; blocks of 1 MiB or more go straight
// to the file when nothing is buffered. The bytes go to a temporary file in
// the target's directory, which Commit renames over the target once every
// byte is written and flushed: a write that fails part way (a full disk)
// leaves what was at the target as it was. A target that is a symbolic link
// is followed (the file it names is replaced, the link kept); an existing
// target that is not a regular file (a directory, a FIFO, a device) is
// refused. A sink destroyed before Commit removes its temporary file.
class FileSink : public Sink {
public:
    FileSink() = default;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink() override;

    // Starts the write of `path`; false with `error` set in words.
    bool Open(const char* path, std::string* error);
    bool Write(const void* data, std::size_t size) override;
    // Flushes, closes and puts the file in place; false with `error` set when
    // any write failed (the target is then untouched).
    bool Commit(std::string* error);
    // Ends an encoder's write: commits when `encoded`, otherwise discards the
    // file. False when the file was not put in place; `problem` then says why
    // (the write's own error, when a write failed, over the encoder's words).
    bool Finish(bool encoded, std::string* problem);

private:
    bool Flush();
    void Discard();
    std::FILE* file_ = nullptr;
    std::string target_;  // the file replaced, symbolic links followed
    std::string temp_;
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
    // failure `error` says why in words (e.g. "No such file or directory",
    // "is a directory"). Never blocks: a FIFO or a device is refused before
    // anything is read from it.
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

// Writes `size` bytes to `path` through a FileSink (the whole file or
// nothing).
bool WriteWholeFile(const char* path, const void* data, std::size_t size, std::string* error);

// The extension of the last path component, lower case, without the dot;
// empty when there is none.
std::string LowerExtension(const char* path);

}  // namespace vyxsim::fmt
