#include "batch/PasswordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/MandatePath.h"
#include "res/Resource.h"

namespace {

std::optional<std::string> Unreadable(const std::string& path, std::ostream& err) {
    err << Format(LoadString(IDS_BATCH_PASSWORD_FILE), path) << "\n";
    return std::nullopt;
}

std::optional<std::string> ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

// The mode is taken from the descriptor that is read, so the file cannot be
// swapped between the check and the read. Passwords that group or others may
// read, or overwrite, are refused as libpq refuses such a .pgpass.
std::optional<std::string> ReadOwnerOnlyFrom(int fd, const std::string& path, std::ostream& err) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return Unreadable(path, err);
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        err << Format(LoadString(IDS_BATCH_PASSWORD_FILE_MODE), path) << "\n";
        return std::nullopt;
    }
    std::optional<std::string> text = ReadAll(fd);
    if (!text) return Unreadable(path, err);
    return text;
}

std::optional<std::string> ReadOwnerOnly(const std::string& path, std::ostream& err) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Unreadable(path, err);
    std::optional<std::string> text = ReadOwnerOnlyFrom(fd, path, err);
    ::close(fd);
    return text;
}

}  // namespace

bool PasswordFile::Read(const std::string& path, std::ostream& err) {
    const std::optional<std::string> text = ReadOwnerOnly(path, err);
    return text && TakeLines(*text, path, err);
}

std::optional<std::string> PasswordFile::PasswordOf(const std::string& dir) const {
    const auto found = passwords_.find(dir);
    if (found == passwords_.end()) return std::nullopt;
    return found->second;
}

bool PasswordFile::TakeLines(const std::string& text, const std::string& path, std::ostream& err) {
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) {
            err << Format(LoadString(IDS_BATCH_PASSWORD_LINE), path, number) << "\n";
            return false;
        }
        passwords_[CanonicalMandatePath(line.substr(0, tab))] = line.substr(tab + 1);
    }
    return true;
}
