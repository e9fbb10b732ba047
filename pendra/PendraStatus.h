#pragma once
// Status codes of the data library. 0 is success; callers test the named ones.
namespace pendra {

enum Status : int {
    kOk = 0,
    kIoError = 2,           // the database could not be read or written
    kFileNotOpen = 3,       // operation on a handle that is not open
    kKeyNotFound = 4,       // no record with that key
    kDuplicateKey = 5,      // insert of a key that exists already
    kNoCurrentRecord = 8,   // update/delete without a record read through this object
    kEndOfFile = 9,         // walk reached the last record
    kFileNotFound = 12,     // no mandate database in that directory
    kKeyTooLong = 21,       // an id longer than its field; never cut silently
    kNotADatabase = 30,     // corrupt, truncated or foreign file
    kAccessDenied = 46,     // write through a read-only handle or on a read-only mandate
    kRecordLocked = 84,     // another handle or process holds the record lock
    kFileLocked = 85,       // another handle or process holds the file
    kMandateHeldExclusively = 88,  // another process holds the mandate exclusively
    kBadArgument = 99,      // malformed input (bad field value)
    kFormatTooOld = 60010,  // database format older than this library supports
    kNotWindows1252 = 60011,  // an id with a character Windows-1252 does not have
    kPathTooLong = 60012,   // the mandate's folder is too long a path for its database
    kServerUnreachable = 60013,  // an SQL mandate's server did not answer or refused the login
    kLinkOutside = 60014,   // the lock file is a link, or a journal of the database one leading out of its folder
};

// True for the statuses that end a walk normally: past the last record, or
// no record at all. Any other status is a read that failed.
inline bool WalkEnded(int status) { return status == kEndOfFile || status == kKeyNotFound; }

}  // namespace pendra
