#pragma once
// A file descriptor closed when it goes out of scope (none when negative).
#include <unistd.h>

namespace marbrook::posix {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace marbrook::posix
