#include "mandate/OtherUsers.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "base/InstallLayout.h"
#include "mandate/HoldwatchApi.h"
#include "pendra/IDbAccess.h"
#include "pendra/IMandateConfiguration.h"
#include "pendra/Mandate.h"

namespace {

// A dlopen handle, closed on every way out.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& name) : handle_(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() {
        if (handle_) dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    template <typename Fn>
    Fn Find(const char* name) const {
        return reinterpret_cast<Fn>(dlsym(handle_, name));
    }

private:
    void* handle_;
};

// A string of the library, released with the library's own function.
class LibraryString {
public:
    explicit LibraryString(HoldwatchFreeStringFn release) : release_(release) {}
    ~LibraryString() {
        if (text_) release_(text_);
    }
    LibraryString(const LibraryString&) = delete;
    LibraryString& operator=(const LibraryString&) = delete;

    char** Out() { return &text_; }
    const char* Get() const { return text_; }

private:
    HoldwatchFreeStringFn release_;
    char* text_ = nullptr;
};

}  // namespace

std::optional<std::string> OtherUsersOfDatabase(const IMandateConfiguration& configuration,
                                                const std::string& libraryName) {
    LoadedLibrary library(libraryName);
    if (!library) return std::nullopt;
    auto redirect = library.Find<RedirectAdoConnectionStringFromMasterToMandateDatabaseFn>(
        holdwatch::kRedirectName);
    auto otherUsers = library.Find<GetOtherUsersHoldingTheDatabaseFn>(holdwatch::kOtherUsersName);
    auto release = library.Find<HoldwatchFreeStringFn>(holdwatch::kFreeName);
    if (!redirect || !otherUsers || !release) return std::nullopt;

    const std::string connection = configuration.GetConnectionString();
    const std::string databaseId = configuration.GetDatabaseId();
    LibraryString redirected(release), users(release), reserved(release);
    redirect(connection.c_str(), databaseId.c_str(), redirected.Out());
    if (!redirected.Get()) return std::nullopt;
    if (otherUsers(redirected.Get(), users.Out(), reserved.Out()) != 0 || !users.Get())
        return std::nullopt;
    return std::string(users.Get());
}

std::optional<std::string> OtherUsersOfMandate(Mandate& mandate) {
    IMandateConfiguration* configuration = nullptr;
    if (IDbAccess* access = mandate.GetDbAccess()) configuration = access->GetMandateConfiguration();
    if (!configuration) configuration = mandate.GetMandateConfiguration();
    if (!configuration) return std::nullopt;
    return OtherUsersOfDatabase(*configuration, HoldwatchLibraryName());
}

std::string HoldwatchLibraryName() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return holdwatch::kLibraryName;
    const std::string programDir = program.parent_path().string();
    for (const std::string& dir : {programDir, MwstInstalledLibraryDir(programDir)}) {
        const std::string path = dir + '/' + holdwatch::kLibraryName;
        if (::access(path.c_str(), F_OK) == 0) return path;
    }
    return holdwatch::kLibraryName;
}
