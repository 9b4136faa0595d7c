#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/bytes.h"

namespace qm {

File::~File() {
    if (fp_ != nullptr) std::fclose(fp_);
}

namespace {

// open() flags of an fopen mode that writes; 0 for a read-only mode.
int WriteFlags(const char* mode) {
    const bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
        case 'w':
            return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
        case 'a':
            return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        case 'r':
            return plus ? O_RDWR : 0;
        default:
            return 0;
    }
}

// Opens without waiting on a FIFO's other end, then makes the descriptor
// blocking again for ordinary buffered reads and writes. With regularOnly
// anything but a regular file is closed again.
int OpenNonBlocking(const std::string& path, int flags, bool regularOnly) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    struct stat st;
    const int fl = ::fcntl(fd, F_GETFL);
    if ((regularOnly && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) || fl < 0 ||
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool File::Open(const std::string& path, const char* mode) {
    if (fp_ != nullptr) Close();
    failed_ = false;
    path_ = path;
    const int flags = WriteFlags(mode);
    // Writing goes to the file the name itself holds, never through a link.
    const int fd = flags == 0 ? OpenNonBlocking(path, O_RDONLY, false)
                              : OpenNonBlocking(path, flags | O_NOFOLLOW, false);
    return Attach(fd, path, mode);
}

bool File::Create(const std::string& path, const char* mode) {
    if (fp_ != nullptr) Close();
    failed_ = false;
    path_ = path;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::unlink(path.c_str()) != 0)
        return false;
    return Attach(OpenNonBlocking(path, WriteFlags(mode) | O_NOFOLLOW, true), path, mode);
}

bool File::OpenInput(const std::string& path) {
    if (fp_ != nullptr) Close();
    return Attach(OpenNonBlocking(path, O_RDONLY, true), path, "rb");
}

bool File::Attach(int fd, const std::string& path, const char* mode) {
    if (fp_ != nullptr) Close();
    failed_ = false;
    path_ = path;
    fp_ = fd >= 0 ? ::fdopen(fd, mode) : nullptr;
    if (fp_ == nullptr && fd >= 0) ::close(fd);
    return fp_ != nullptr;
}

int File::Descriptor() const { return fp_ != nullptr ? ::fileno(fp_) : -1; }

size_t File::Read(void* buf, size_t n) {
    if (fp_ == nullptr || n == 0) return 0;
    return std::fread(buf, 1, n, fp_);
}

bool File::ReadExact(void* buf, size_t n) { return Read(buf, n) == n; }

bool File::Write(const void* buf, size_t n) {
    if (fp_ == nullptr) {
        failed_ = true;
        return false;
    }
    if (n == 0) return !failed_;
    if (std::fwrite(buf, 1, n, fp_) != n) failed_ = true;
    return !failed_;
}

bool File::WriteU16(uint16_t v) {
    unsigned char b[2];
    PutU16(b, v);
    return Write(b, 2);
}

bool File::WriteU32(uint32_t v) {
    unsigned char b[4];
    PutU32(b, v);
    return Write(b, 4);
}

bool File::WriteZeros(size_t n) {
    static const unsigned char zeros[4096] = {};
    while (n > 0) {
        size_t k = n < sizeof zeros ? n : sizeof zeros;
        if (!Write(zeros, k)) return false;
        n -= k;
    }
    return !failed_;
}

bool File::Seek(int64_t offset, int whence) {
    if (fp_ == nullptr || std::fseek(fp_, static_cast<long>(offset), whence) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}

int64_t File::Tell() { return fp_ == nullptr ? -1 : static_cast<int64_t>(std::ftell(fp_)); }

int64_t File::Size() {
    if (fp_ == nullptr) return -1;
    long here = std::ftell(fp_);
    if (here < 0 || std::fseek(fp_, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(fp_);
    std::fseek(fp_, here, SEEK_SET);
    return end;
}

bool File::Flush() {
    if (fp_ == nullptr || std::fflush(fp_) != 0) failed_ = true;
    return !failed_;
}

bool File::Close() {
    if (fp_ == nullptr) return false;
    if (std::fflush(fp_) != 0) failed_ = true;
    if (std::ferror(fp_)) failed_ = true;
    if (std::fclose(fp_) != 0) failed_ = true;
    fp_ = nullptr;
    return !failed_;
}

}  // namespace qm
