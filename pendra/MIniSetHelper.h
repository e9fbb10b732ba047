#pragma once

class Mandate;

// Exclusive use of a file mandate. OpenExclusive succeeds (0) only when no other
// process has the mandate open; while held, other processes' OpenMandateFiles
// answer 88. The lock is an OS file lock, released by Close, by destruction and
// when the process ends.
class MIniSetHelper {
public:
    MIniSetHelper(Mandate* mandate, bool global);
    ~MIniSetHelper();
    MIniSetHelper(const MIniSetHelper&) = delete;
    MIniSetHelper& operator=(const MIniSetHelper&) = delete;

    int OpenExclusive();  // 0 when granted; 88 when another process has the mandate open
    void Close();
    bool IsOpen() const { return open_; }

    // True while the global instance holds its mandate exclusively.
    static bool IsGlobalBtrieveFileInstanceOpen();

private:
    Mandate* mandate_;
    bool global_;
    bool open_ = false;
};
