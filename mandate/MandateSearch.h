#pragma once
#include <functional>
#include <string>

// The mandate search below a folder: every folder holding a mandate is passed
// to `found` as it was met (no trailing "/"), depth first, the folders of each
// folder in name order (letter case aside).
// A folder met again through a symbolic link is searched once; folders that
// cannot be read are passed over. `stopped` is asked before each folder; the
// search ends when it says so. False when it was stopped.
bool SearchMandates(const std::string& root, const std::function<void(const std::string& path)>& found,
                    const std::function<bool()>& stopped);

// `path` without its trailing "/" (the root "/" stays).
std::string WithoutTrailingSlash(std::string path);
