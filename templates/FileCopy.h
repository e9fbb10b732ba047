#pragma once
#include <string>

// What a file copy did: done, or which side failed and with which errno.
struct FileCopyResult {
    enum class Failure { kNone, kSource, kTarget };
    Failure failure = Failure::kNone;
    int error = 0;

    explicit operator bool() const { return failure == Failure::kNone; }
    // "cannot read SOURCE: No such file or directory" (English, for tools).
    std::string Describe(const std::string& source, const std::string& target) const;
};

// Copies `source` byte for byte over `target`. The bytes go into a temporary
// file beside the target, which is flushed to disk and then renamed over it,
// so an interrupted copy never leaves half a file: the target is either the
// old file or the whole new one. A replaced target keeps its permissions.
FileCopyResult MwstCopyFile(const std::string& source, const std::string& target);

// Copies `source` into `target`, a new file (it must not exist) in a folder of
// our own that is dropped unless what it holds is made durable later (a staging
// or scratch folder): written in place, not synced.
FileCopyResult MwstCopyIntoNewFile(const std::string& source, const std::string& target);
