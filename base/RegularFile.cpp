#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

namespace regularfile {

int OpenForReading(const std::string& path, std::string& error) {
    // O_NONBLOCK: opening a FIFO without a writer would wait forever.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int reason = errno;
        error = "cannot inspect " + path + ": " + std::strerror(reason);
        ::close(fd);
        errno = reason;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + (S_ISDIR(st.st_mode) ? " is a folder, not a file" : " is not a regular file");
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    // Regular files never block; clearing the flag keeps later reads ordinary.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool ReadWhole(const std::string& path, std::string& bytes, std::string& error, std::size_t maxSize) {
    bytes.clear();
    int fd = OpenForReading(path, error);
    if (fd < 0) return false;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > maxSize) {
            error = path + " is larger than " + std::to_string(maxSize >> 20) + " MiB";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool IsRegular(const std::string& path, Links links) {
    struct stat st {};
    const int found = links == Links::kFollow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return found == 0 && S_ISREG(st.st_mode);
}

namespace {

// Where the link `path` leads, when it leads into `folder` (not the folder itself).
std::optional<std::filesystem::path> TargetInside(const std::string& folder, const std::string& path,
                                                  std::string* linkTarget) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(path, ec);
    if (linkTarget) *linkTarget = ec ? std::string() : target.string();
    if (ec) return std::nullopt;
    const fs::path home = fs::weakly_canonical(folder, ec);
    if (ec) return std::nullopt;
    // Inside: the folder's own path is a prefix of the target's, component by component.
    auto part = target.begin();
    for (auto want = home.begin(); want != home.end(); ++want, ++part)
        if (part == target.end() || *part != *want) return std::nullopt;
    if (part == target.end()) return std::nullopt;  // the folder itself
    return target;
}

}  // namespace

bool LeadsOutside(const std::string& folder, const std::string& path, std::string* linkTarget) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    return !TargetInside(folder, path, linkTarget).has_value();
}

Replaceable CheckReplaceable(const std::string& folder, const std::string& path, std::string* linkTarget) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Replaceable::kYes : Replaceable::kNotRegular;
    if (S_ISREG(st.st_mode)) return Replaceable::kYes;
    if (!S_ISLNK(st.st_mode)) return Replaceable::kNotRegular;
    const std::optional<std::filesystem::path> target = TargetInside(folder, path, linkTarget);
    if (!target) {
        // The folder itself is no file; anything else out of it is outside.
        std::error_code ec;
        return std::filesystem::equivalent(path, folder, ec) ? Replaceable::kNotRegular : Replaceable::kLinkOutside;
    }
    if (::stat(target->c_str(), &st) != 0) return Replaceable::kLinkOutside;  // leads nowhere
    return S_ISREG(st.st_mode) ? Replaceable::kYes : Replaceable::kNotRegular;
}

bool IsRegularInside(const std::string& folder, const std::string& path) {
    return CheckReplaceable(folder, path) == Replaceable::kYes && IsRegular(path, Links::kFollow);
}

}  // namespace regularfile
