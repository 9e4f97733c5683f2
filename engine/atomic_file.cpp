// Write to a temporary file, then rename it over the target; or place it beside others
// without replacing any.
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

std::string NumberedPath(const std::string& path, long n) {
    const size_t sep = path.find_last_of("/\\");
    const size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    return path.substr(0, dot) + "(" + std::to_string(n) + ")" + path.substr(dot);
}

std::string CreatePartFile(const std::string& finalPath, std::string& error) {
    for (int n = 0; n < 1000; ++n) {
        std::string part = finalPath + (n == 0 ? "" : "." + std::to_string(n)) + ".part";
        const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return part;
        }
        if (errno != EEXIST) {
            error = "cannot create the output file " + part + ": " + std::strerror(errno);
            return {};
        }
    }
    error = "cannot create the output file " + finalPath + ".part: too many of that name are being written";
    return {};
}

namespace {

// Gives `from` the name `to` unless `to` exists: 0, else the errno. A file system without
// renameat2's no-replace mode gets a hard link and the old name's removal instead; one
// without hard links either (FAT) gets the name held by an empty file of this job's own,
// created exclusively, which the rename then replaces.
int MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return errno;
    const int held = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (held < 0) return errno;
    ::close(held);
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    const int failed = errno;
    ::unlink(to.c_str());
    return failed;
}

// "clip(2).mp4" is "clip.mp4" numbered 2: gives the unnumbered path and the number; -1 when
// the name carries none.
long SplitNumber(const std::string& path, std::string& unnumbered) {
    unnumbered = path;
    const size_t sep = path.find_last_of("/\\");
    const size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    if (dot < 3 || path[dot - 1] != ')') return -1;
    const size_t open = path.rfind('(', dot - 1);
    if (open == std::string::npos || open < nameStart || open + 2 == dot || dot - open > 8) return -1;
    for (size_t k = open + 1; k + 1 < dot; ++k)
        if (path[k] < '0' || path[k] > '9') return -1;
    unnumbered = path.substr(0, open) + path.substr(dot);
    return std::stol(path.substr(open + 1, dot - open - 2));
}

}  // namespace

std::string PlaceWithoutReplacing(const std::string& partPath, const std::string& finalPath, std::string& error) {
    // A name already numbered ("clip(0).mp4", chosen free before the job) goes on counting.
    std::string unnumbered;
    const long first = SplitNumber(finalPath, unnumbered);
    for (long n = first; n < first + 100000; ++n) {
        std::string target = n == first ? finalPath : NumberedPath(unnumbered, n);
        const int rc = MoveWithoutReplacing(partPath, target);
        if (rc == 0) return target;
        if (rc != EEXIST) {
            error = "cannot give the output file its name " + target + ": " + std::strerror(rc);
            return {};
        }
    }
    error = "cannot give the output file a free name beside " + finalPath;
    return {};
}

std::optional<std::string> ReadRegularFile(const std::string& path, size_t most) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= most) {
        // Up to one read past `most`: the size fstat gave may be stale, or 0 for the kernel's files.
        bytes.emplace();
        char buffer[1 << 16];
        ssize_t n = 0;
        while (bytes && bytes->size() <= most && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || bytes->size() + static_cast<size_t>(n) > most)
                bytes.reset();
            else
                bytes->append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return bytes;
}

}  // namespace ulvane
