// A buffered byte stream over a file, with every read and write checked.
// A failed write makes the stream "failed" for good, so a writer can do its
// work and test once at the end (Close reports it too).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace qm {

class File {
  public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens with an fopen mode ("rb", "wb", "r+b", "w+b"). Closes any file
    // this object held first. A mode that writes never follows a symbolic
    // link in the last component of the path: such a path fails to open.
    // Opening never waits: a FIFO without a reader on the other side fails
    // to open for writing and opens empty for reading.
    bool Open(const std::string& path, const char* mode);
    // Creates or truncates a file of the caller's own for writing ("wb",
    // "w+b"): a symbolic link at the name is removed first (never what it
    // points to), and anything but a regular file there (a folder, FIFO,
    // device or socket) fails the open without waiting.
    bool Create(const std::string& path, const char* mode);
    // Opens an input ("rb") that must be a regular file (or a link to one): a
    // folder, FIFO, device or socket fails to open, without waiting.
    bool OpenInput(const std::string& path);
    // Takes over an open descriptor under an fopen mode that suits how it was
    // opened; it is closed with this object (at once when it cannot be taken
    // over). path names it in messages.
    bool Attach(int fd, const std::string& path, const char* mode);
    // The descriptor of the open file, or -1.
    int Descriptor() const;
    bool IsOpen() const { return fp_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Reads up to n bytes; returns how many were read.
    size_t Read(void* buf, size_t n);
    // Reads exactly n bytes; false on a short read.
    bool ReadExact(void* buf, size_t n);

    bool Write(const void* buf, size_t n);
    bool WriteU8(uint8_t v) { return Write(&v, 1); }
    bool WriteU16(uint16_t v);
    bool WriteU32(uint32_t v);
    bool WriteZeros(size_t n);

    bool Seek(int64_t offset, int whence = SEEK_SET);
    bool SeekEnd() { return Seek(0, SEEK_END); }
    int64_t Tell();
    // Length of the file (the position is kept).
    int64_t Size();
    bool Flush();
    // Closes the file; false if it was not open or any write, the flush or
    // the close failed.
    bool Close();
    // True once any write, seek or flush has failed.
    bool Failed() const { return failed_; }

  private:
    FILE* fp_ = nullptr;
    bool failed_ = false;
    std::string path_;
};

}  // namespace qm
