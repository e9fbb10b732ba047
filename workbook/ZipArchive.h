#pragma once
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_source;

// Read access to a zip archive held in memory. Entries are looked up by name and
// read whole, with a size limit so a hostile archive cannot exhaust memory.
// Failures throw CFileException naming `label` (the file the bytes came from).
class ZipReader {
public:
    static constexpr size_t kMaxEntrySize = 256u << 20;

    ZipReader(std::string bytes, std::string label);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool Has(const std::string& name) const;
    // The names of all file entries (directories left out), in archive order.
    std::vector<std::string> Names() const;
    // nullopt when there is no such entry. An entry that unpacks to more than
    // `maxSize` bytes throws, however small its header claims it to be.
    std::optional<std::string> Read(const std::string& name, size_t maxSize = kMaxEntrySize) const;

private:
    std::string bytes_;
    std::string label_;
    zip* archive_ = nullptr;
};

// Builds a zip archive in memory; Finish returns its bytes.
class ZipWriter {
public:
    ZipWriter();
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void Add(const std::string& name, std::string content);
    // Without a copy: `content` must stay alive and unchanged until Finish.
    void AddBorrowed(const std::string& name, std::string_view content);
    std::string Finish();

private:
    std::list<std::string> contents_;  // libzip reads them at Finish; a list keeps them in place
    zip_source* buffer_ = nullptr;
    zip* archive_ = nullptr;
};
