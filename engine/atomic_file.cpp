// Write to a temporary file, then rename it over the target.
#include "engine/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ulvane {

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error,
                         const AtomicWriteOptions& options) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write beside " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat old {};
    const bool keep = options.keepMode && ::stat(path.c_str(), &old) == 0;
    fchmod(fd, keep ? (old.st_mode & 07777) : 0644);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool written = done == bytes.size();
    if (written && options.sync && ::fsync(fd) != 0) written = false;
    const int savedErrno = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temp.c_str());
        error = "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno);
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace ulvane
