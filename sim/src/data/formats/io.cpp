#include "data/formats/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace vyxsim::fmt {

namespace {
constexpr std::size_t kFileBuffer = std::size_t{4} << 20;
constexpr int kMaxLinks = 40;  // as the kernel's own limit on a path's links

std::string NotRegularText(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "not a regular file";
}

// The file a write of `path` replaces: `path` with its symbolic links
// followed, even one that names a file not there yet. `*st` receives that
// file's status, zeroed when it does not exist.
bool ResolveTarget(const char* path, std::string* target, struct stat* st, std::string* error) {
    std::string p = path;
    for (int links = 0;; ++links) {
        if (::lstat(p.c_str(), st) != 0) {
            if (errno != ENOENT) {
                *error = std::strerror(errno);
                return false;
            }
            *st = {};
            break;
        }
        if (!S_ISLNK(st->st_mode)) break;
        if (links == kMaxLinks) {
            *error = std::strerror(ELOOP);
            return false;
        }
        std::string link(static_cast<std::size_t>(st->st_size > 0 ? st->st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0) {
            *error = std::strerror(errno);
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        const std::size_t slash = p.rfind('/');
        p = link.empty() || link[0] == '/' || slash == std::string::npos ? link : p.substr(0, slash + 1) + link;
    }
    *target = p;
    return true;
}
}  // namespace

bool VectorSink::Write(const void* data, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
    return true;
}

FileSink::~FileSink() { Discard(); }

void FileSink::Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool FileSink::Open(const char* path, std::string* error) {
    Discard();
    struct stat st {};
    if (!ResolveTarget(path, &target_, &st, error)) return false;
    const bool exists = st.st_mode != 0;
    if (exists && !S_ISREG(st.st_mode)) {
        *error = NotRegularText(st.st_mode) + "; it is left as it is";
        return false;
    }
    // The temporary file sits next to the target so that the rename stays on
    // one file system; its name starts with a dot and ends in random letters.
    const std::size_t slash = target_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string temp = dir + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; give it the target's permissions, or
    // those a newly created file would have.
    mode_t mode = st.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    temp_ = temp;
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        *error = std::strerror(errno);
        ::close(fd);
        Discard();
        return false;
    }
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

bool FileSink::Commit(std::string* error) {
    if (file_ == nullptr) {
        *error = "file not open";
        return false;
    }
    Flush();
    if (errno_ == 0 && std::fflush(file_) != 0) errno_ = errno != 0 ? errno : EIO;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 && errno_ == 0) errno_ = errno != 0 ? errno : EIO;
    if (errno_ == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) errno_ = errno;
    if (errno_ != 0) {
        *error = std::strerror(errno_);
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

bool FileSink::Finish(bool encoded, std::string* problem) {
    if (encoded) return Commit(problem);
    if (errno_ != 0) *problem = std::strerror(errno_);
    Discard();
    return false;
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
    // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for one.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = std::strerror(errno);
        return ReadStatus::CannotOpen;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = std::strerror(errno);
        ::close(fd);
        return ReadStatus::ReadError;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = NotRegularText(st.st_mode);
        ::close(fd);
        return ReadStatus::NotRegular;
    }
    // A regular file reads the same either way; plain blocking reads from here.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) {
        *error = std::strerror(errno);
        ::close(fd);
        return ReadStatus::ReadError;
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
    return sink.Commit(error);
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
