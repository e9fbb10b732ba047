#include "workbook/ZipArchive.h"

#include <zip.h>

#include <cstdio>

#include "base/CException.h"
#include "workbook/WorkbookLimit.h"
#include "res/Resource.h"

namespace {

// zip_error_t owns a message buffer; this frees it on every path.
class ZipError {
public:
    ZipError() { zip_error_init(&error_); }
    ~ZipError() { zip_error_fini(&error_); }
    ZipError(const ZipError&) = delete;
    ZipError& operator=(const ZipError&) = delete;
    zip_error_t* get() { return &error_; }
    std::string Message() { return zip_error_strerror(&error_); }

private:
    zip_error_t error_;
};

class ZipFile {
public:
    explicit ZipFile(zip_file_t* file) : file_(file) {}
    ~ZipFile() {
        if (file_) zip_fclose(file_);
    }
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;
    zip_file_t* get() const { return file_; }

private:
    zip_file_t* file_;
};

std::string ArchiveError(zip_t* archive) { return zip_error_strerror(zip_get_error(archive)); }

}  // namespace

ZipReader::ZipReader(std::string bytes, std::string label) : bytes_(std::move(bytes)), label_(std::move(label)) {
    ZipError error;
    zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, error.get());
    if (!source) throw CFileException(Format(LoadString(IDS_WORKBOOK_NOT_AN_ARCHIVE), label_, error.Message()));
    archive_ = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, error.get());
    if (!archive_) {
        zip_source_free(source);
        throw CFileException(
            Format(LoadString(IDS_WORKBOOK_NOT_AN_ARCHIVE), label_, "not a readable zip archive: " + error.Message()));
    }
}

ZipReader::~ZipReader() { zip_discard(archive_); }

bool ZipReader::Has(const std::string& name) const { return zip_name_locate(archive_, name.c_str(), 0) >= 0; }

std::vector<std::string> ZipReader::Names() const {
    std::vector<std::string> names;
    zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
        if (!name) throw CFileException(label_ + ": cannot read the name of entry " + std::to_string(i) + ": " +
                                        ArchiveError(archive_));
        std::string entry = name;
        if (!entry.empty() && entry.back() != '/') names.push_back(std::move(entry));
    }
    return names;
}

std::optional<std::string> ZipReader::Read(const std::string& name, size_t maxSize) const {
    zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
    if (index < 0) return std::nullopt;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
        throw CFileException(Format(LoadString(IDS_WORKBOOK_FAULTY_PART), label_, name, ArchiveError(archive_)));
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > maxSize)
        workbooklimit::Refuse(IDS_WORKBOOK_PART_TOO_LARGE, label_, name, workbooklimit::SizeText(maxSize));
    ZipFile file(zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0));
    if (!file.get())
        throw CFileException(Format(LoadString(IDS_WORKBOOK_FAULTY_PART), label_, name, ArchiveError(archive_)));
    std::string content;
    // Grown to what the header claims at once, not by doubling past it.
    if (stat.valid & ZIP_STAT_SIZE) content.reserve(static_cast<size_t>(stat.size));
    char buffer[65536];
    for (;;) {
        zip_int64_t got = zip_fread(file.get(), buffer, sizeof buffer);
        if (got < 0)
            throw CFileException(Format(LoadString(IDS_WORKBOOK_FAULTY_PART), label_, name,
                                        std::string(zip_error_strerror(zip_file_get_error(file.get())))));
        if (got == 0) break;
        content.append(buffer, static_cast<size_t>(got));
        if (content.size() > maxSize)
            workbooklimit::Refuse(IDS_WORKBOOK_PART_TOO_LARGE, label_, name, workbooklimit::SizeText(maxSize));
    }
    return content;
}

ZipWriter::ZipWriter() {
    ZipError error;
    buffer_ = zip_source_buffer_create(nullptr, 0, 0, error.get());
    if (!buffer_) throw CFileException("cannot create a zip archive: " + error.Message());
    zip_source_keep(buffer_);  // the archive releases its reference at close; we read it after
    archive_ = zip_open_from_source(buffer_, ZIP_TRUNCATE, error.get());
    if (!archive_) {
        zip_source_free(buffer_);  // the reference zip_open_from_source did not take
        zip_source_free(buffer_);
        throw CFileException("cannot create a zip archive: " + error.Message());
    }
}

ZipWriter::~ZipWriter() {
    if (archive_) zip_discard(archive_);
    zip_source_free(buffer_);
}

void ZipWriter::Add(const std::string& name, std::string content) {
    AddBorrowed(name, contents_.emplace_back(std::move(content)));
}

void ZipWriter::AddBorrowed(const std::string& name, std::string_view content) {
    zip_source_t* source = zip_source_buffer(archive_, content.data(), content.size(), 0);
    if (!source) throw CFileException("cannot add " + name + " to the zip archive: " + ArchiveError(archive_));
    if (zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        throw CFileException("cannot add " + name + " to the zip archive: " + ArchiveError(archive_));
    }
}

std::string ZipWriter::Finish() {
    if (zip_close(archive_) != 0)
        throw CFileException("cannot complete the zip archive: " + ArchiveError(archive_));
    archive_ = nullptr;
    if (zip_source_open(buffer_) != 0) throw CFileException("cannot read back the zip archive");
    std::string bytes;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(buffer_, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) bytes.reserve(static_cast<size_t>(stat.size));
    char chunk[65536];
    zip_int64_t got;
    while ((got = zip_source_read(buffer_, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(got));
    zip_source_close(buffer_);
    if (got < 0) throw CFileException("cannot read back the zip archive");
    return bytes;
}
