#pragma once
#include <functional>
#include <string>

// The mandate search below a folder: every folder holding a mandate is passed
// to `found` as it was met, also one whose database cannot be opened (every
// folder with a file or folder named pendra.db in any letter case) (no trailing "/"), depth first, the folders of each
// folder in name order (letter case aside).
// A folder met again through a symbolic link is searched once; a folder that
// cannot be read (no access, a path beyond PATH_MAX) is passed over and
// handed to `unreadable` with the reason in the user's language. `stopped` is
// asked before each folder; the search ends when it says so. False when it
// was stopped.
using UnreadableFolder = std::function<void(const std::string& path, const std::string& reason)>;
bool SearchMandates(const std::string& root, const std::function<void(const std::string& path)>& found,
                    const std::function<bool()>& stopped, const UnreadableFolder& unreadable = {});

// `path` without its trailing "/" (the root "/" stays).
std::string WithoutTrailingSlash(std::string path);
