#include "data/formats/io.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace vyxsim::fmt {

namespace {
constexpr std::size_t kFileBuffer = std::size_t{4} << 20;
}

bool VectorSink::Write(const void* data, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
    return true;
}

FileSink::~FileSink() {
    if (file_ != nullptr) {
        std::fclose(file_);
        std::remove(path_.c_str());
    }
}

bool FileSink::Open(const char* path, std::string* error) {
    file_ = std::fopen(path, "wb");
    if (file_ == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    path_ = path;
    buffer_.resize(kFileBuffer);
    used_ = 0;
    errno_ = 0;
    return true;
}

bool FileSink::Flush() {
    if (used_ == 0) return errno_ == 0;
    if (errno_ == 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) {
        errno_ = errno != 0 ? errno : EIO;
    }
    used_ = 0;
    return errno_ == 0;
}

bool FileSink::Write(const void* data, std::size_t size) {
    if (file_ == nullptr || errno_ != 0) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    // Large blocks go straight to the file unless smaller ones are waiting.
    if (used_ + size <= buffer_.size() && (used_ > 0 || size < buffer_.size() / 4)) {
        std::memcpy(buffer_.data() + used_, p, size);
        used_ += size;
        return true;
    }
    if (!Flush()) return false;
    if (size >= buffer_.size() / 4) {
        if (std::fwrite(p, 1, size, file_) != size) {
            errno_ = errno != 0 ? errno : EIO;
            return false;
        }
        return true;
    }
    std::memcpy(buffer_.data(), p, size);
    used_ = size;
    return true;
}

bool FileSink::Close(std::string* error) {
    if (file_ == nullptr) {
        *error = "file not open";
        return false;
    }
    Flush();
    if (std::fclose(file_) != 0 && errno_ == 0) errno_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    if (errno_ != 0) {
        *error = std::strerror(errno_);
        std::remove(path_.c_str());
        return false;
    }
    return true;
}

bool MemoryReader::Read(void* out, std::size_t size, std::string* error) {
    if (size > size_ - pos_) {
        *error = "unexpected end of data";
        return false;
    }
    if (size > 0) std::memcpy(out, data_ + pos_, size);
    pos_ += size;
    return true;
}

FileReader::~FileReader() {
    if (file_ != nullptr) std::fclose(file_);
}

ReadStatus FileReader::Open(const char* path, std::size_t max_size, std::string* error) {
    file_ = std::fopen(path, "rb");
    if (file_ == nullptr) {
        *error = std::strerror(errno);
        return ReadStatus::CannotOpen;
    }
    struct stat st {};
    if (fstat(fileno(file_), &st) != 0) {
        *error = std::strerror(errno);
        return ReadStatus::ReadError;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
        return ReadStatus::NotRegular;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > max_size) {
        *error = "file of " + std::to_string(st.st_size) + " bytes is larger than the " +
                 std::to_string(max_size) + " bytes accepted";
        return ReadStatus::TooLarge;
    }
    size_ = static_cast<std::size_t>(st.st_size);
    return ReadStatus::Ok;
}

bool FileReader::Read(void* out, std::size_t size, std::string* error) {
    if (file_ == nullptr) {
        *error = "file not open";
        return false;
    }
    if (size == 0) return true;
    if (std::fread(out, 1, size, file_) == size) return true;
    *error = std::ferror(file_) != 0 ? std::strerror(errno) : "the file ended early (changed while being read?)";
    return false;
}

ReadStatus ReadWholeFile(const char* path, std::size_t max_size, std::vector<uint8_t>* out,
                         std::string* error) {
    FileReader reader;
    const ReadStatus st = reader.Open(path, max_size, error);
    if (st != ReadStatus::Ok) return st;
    try {
        out->resize(reader.Size());
    } catch (const std::bad_alloc&) {
        *error = "cannot allocate " + std::to_string(reader.Size()) + " bytes to read the file";
        return ReadStatus::TooLarge;
    }
    return reader.Read(out->data(), out->size(), error) ? ReadStatus::Ok : ReadStatus::ReadError;
}

bool WriteWholeFile(const char* path, const void* data, std::size_t size, std::string* error) {
    FileSink sink;
    if (!sink.Open(path, error)) return false;
    sink.Write(data, size);
    return sink.Close(error);
}

std::string LowerExtension(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr || dot == name) return {};
    std::string ext(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace vyxsim::fmt
