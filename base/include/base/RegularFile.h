#pragma once
#include <cstddef>
#include <string>

// Opening files that the program reads whole (workbooks, conversion tables,
// mandate texts): only a regular file is opened. A FIFO, device or folder is
// refused at once instead of being waited on: the open does not block
// (O_NONBLOCK), and the type is checked on the open descriptor, so nothing
// can swap the file between check and read.
namespace regularfile {

// The descriptor (blocking again, close-on-exec) of the regular file `path`,
// opened read-only; -1 with `error` naming the path and the reason otherwise
// (and errno set: EISDIR for a folder, EINVAL for another file that is not regular).
int OpenForReading(const std::string& path, std::string& error);

// The whole content of the regular file `path`, at most `maxSize` bytes; false
// with `error` naming the path and the reason otherwise (not found, no access,
// not a regular file, a read error, too large).
bool ReadWhole(const std::string& path, std::string& bytes, std::string& error, std::size_t maxSize);

// How a file-type check takes a symbolic link.
enum class Links {
    kFollow,       // as the file it leads to, wherever that is
    kNotFollowed,  // as itself: a link is no regular file
};

// True when `path` names a regular file, a link taken as `links` says.
bool IsRegular(const std::string& path, Links links);

// True when `path` is a regular file, or a link that leads to a regular file
// inside `folder`: a file of ours in a mandate folder that the commands write
// (through the link) and a backup keeps.
bool IsRegularInside(const std::string& folder, const std::string& path);

// True when `path` is a symbolic link that leads out of `folder`, to the
// folder itself or nowhere (`linkTarget` receives where it leads). A file,
// folder or link inside is not: this is the test for names the program
// writes, renames or deletes in a mandate folder whatever their type.
bool LeadsOutside(const std::string& folder, const std::string& path, std::string* linkTarget = nullptr);

// Whether the file of ours at `path` in the mandate folder `folder` may be
// replaced (a new file written aside and renamed over it) without touching
// anything outside that folder or anything but a regular file: yes when
// nothing is there or a regular file; a symbolic link only when the file it
// leads to is a regular file inside `folder` (`linkTarget` receives where it
// leads, for links of both kinds); anything else (a link leading out or
// nowhere, a FIFO, a device, a folder) no.
enum class Replaceable { kYes, kLinkOutside, kNotRegular };
Replaceable CheckReplaceable(const std::string& folder, const std::string& path, std::string* linkTarget = nullptr);

}  // namespace regularfile
