#pragma once
// Root passes every file-mode check, so a read-only file is writable to it.
// Tests of read-only files take that override away: for the calling thread
// while an ObeyFileModes object lives, or for good in a child before it execs
// a program. Not root: nothing to take away.
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace testsupport {

inline constexpr int kFileOverrides[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

class ObeyFileModes {
public:
    ObeyFileModes() {
        if (geteuid() != 0) {
            obeyed_ = true;
            return;
        }
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        for (int cap : kFileOverrides) reduced[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
        obeyed_ = dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~ObeyFileModes() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }
    ObeyFileModes(const ObeyFileModes&) = delete;
    ObeyFileModes& operator=(const ObeyFileModes&) = delete;

    // False when the override could not be taken away (the test must skip).
    bool Obeyed() const { return obeyed_; }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool obeyed_ = false;
    bool dropped_ = false;
};

// In a forked child before exec: the program it runs obeys file modes even as
// root (the bounding set limits what exec grants). False when refused.
inline bool ObeyFileModesFromNowOn() {
    if (geteuid() != 0) return true;
    for (int cap : kFileOverrides)
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return false;
    return true;
}

}  // namespace testsupport
