#pragma once

#include <unistd.h>
#include <utility>

// An open file descriptor, closed with the object.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1)
        : fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : fd(std::exchange(other.fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd, other.fd);
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    int get() const { return fd; }
    bool isOpen() const { return fd >= 0; }
    // Hands the descriptor over to the caller, who closes it.
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};
