#pragma once
#include <string>

// Names of a mandate's record files. A file mandate is a directory holding one
// database (kDatabaseFileName); its record files are tables in it, named
// "<dir>/pendra.db#tax", "#konto" and "#buch". The names are what BFile::Open
// takes and what error boxes show.
class MandateFiles {
public:
    static constexpr const char* kDatabaseFileName = "pendra.db";

    virtual ~MandateFiles() = default;

    // Mandate directory, without trailing "/"; empty while no mandate is open.
    const std::string& GetPath() const { return path_; }
    std::string GetTaxName() const { return FileName("tax"); }
    std::string GetKontoName() const { return FileName("konto"); }
    std::string GetBuchName() const { return FileName("buch"); }
    // The file last opened or last failing to open (named in error boxes).
    const std::string& GetLastName() const { return lastName_; }
    void SetLastName(const std::string& name) { lastName_ = name; }

protected:
    std::string FileName(const char* table) const {
        return path_ + "/" + kDatabaseFileName + "#" + table;
    }
    std::string path_;
    std::string lastName_;
};
