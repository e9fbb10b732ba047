#pragma once
#include <map>
#include <optional>
#include <ostream>
#include <string>

// The file of --password-file: a line "DIRECTORY<TAB>PASSWORD" for each
// mandate (a CR before the line's end is dropped); empty lines and lines
// opening with '#' are skipped.
class PasswordFile {
public:
    // False, told on `err`, when the file cannot be read, group or others may
    // read or write it, or a line has no directory before its tab.
    bool Read(const std::string& path, std::ostream& err);
    // The password of the mandate in the canonical directory `dir`, if the file holds one.
    std::optional<std::string> PasswordOf(const std::string& dir) const;

private:
    bool TakeLines(const std::string& text, const std::string& path, std::ostream& err);

    std::map<std::string, std::string> passwords_;  // canonical directory -> password
};
