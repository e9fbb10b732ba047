#pragma once
#include <stdexcept>
#include <string>

// The exception family of the framework: the workbook layer and the framework's
// containers throw these; callers catch CException where they handle failures.
class CException : public std::runtime_error {
public:
    explicit CException(const std::string& what) : std::runtime_error(what) {}
};

// A file that cannot be read or written, or whose content is malformed.
class CFileException : public CException {
public:
    using CException::CException;
};

// A bad argument: a row, column or sheet out of range, an index past the end.
class CInvalidArgException : public CException {
public:
    using CException::CException;
};
