#pragma once
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "mandate/MandateStatus.h"

class LogSink;
class MIniSetHelper;
class Mandate;
class UiSeam;

// Opening and closing one mandate at a time under the program's rules: the
// data version and the password when a mandate is registered, exclusive
// access with the Abort / Retry / Ignore box while another program holds it,
// the data version and the password again once it is open, and the clean-up
// of what an interrupted workbook replacement left behind. The boxes and prompts go
// through the seam handed in, the conflict text of an Ignore to the log. The
// window and mwst-batch each keep one session on the process's mandate object.
class MandateSession {
public:
    enum class Opened { kYes, kNo, kAborted };
    // The data version a mandate must have, as the texts name it.
    static constexpr const char* kRequiredVersionText = "2300";

    explicit MandateSession(Mandate& mandate);
    // Leaves the mandate as it is: the owner closes it while the mandate object lives.
    ~MandateSession();
    MandateSession(const MandateSession&) = delete;
    MandateSession& operator=(const MandateSession&) = delete;

    // Closes what is open and opens the mandate in `path`, held exclusively.
    // kAborted when the user chose Abort in the exclusive-access box: a
    // batch stops there. The password of the database held is asked unless
    // this session was given it before for the very same stored hash: a
    // registered mandate opens without a second prompt, one whose database
    // was replaced since asks again.
    Opened Open(const std::string& path, UiSeam& seam, LogSink& log);
    // Why the last Open or CheckVersionAndPassword refused the mandate, as
    // the id of the text that told the user (IDS_NOT_EXCLUSIVE after Ignore
    // or Abort, IDS_WRONG_VERSION, IDS_NO_PASSWORD, IDS_OPEN_FAILED, ...); 0
    // when it passed or the folder holds no mandate.
    int LastRefusal() const { return refusal_; }
    void Close();
    bool IsOpen() const;

    // The registration test of a mandate directory: data version and
    // password (asked through the data library's prompt); the mandate's name
    // on success. Tested where it is open when it is this session's mandate.
    bool CheckVersionAndPassword(const std::string& path, std::string& outMandateName, UiSeam& seam);
    // With a `change`, each mandate that passes the registration test has its
    // status for that change (without the bookings) read while it is open
    // there: the list shows its stage without a second password prompt. Null:
    // no status is read. The change outlives the session.
    void ReadStatusOnRegistration(const RateChange* change) { statusChange_ = change; }
    bool ReadsStatusOnRegistration() const { return statusChange_ != nullptr; }
    // The status read for the last mandate that passed.
    const MandateStatus& RegisteredStatus() const { return registered_; }
    static bool IsVersion(Mandate& mandate, UiSeam& seam);
    static bool AskPassword(Mandate& mandate, UiSeam& seam);

    Mandate& Current() { return mandate_; }
    MIniSetHelper& Exclusive() { return *exclusive_; }

private:
    Mandate* OpenAt(const std::string& path);
    bool PassesVersionAndPassword(Mandate& mandate, UiSeam& seam);
    // The password test of an open: asked unless known for the stored hash.
    bool PasswordKnownOrGiven(Mandate& mandate, UiSeam& seam);
    void RememberPasswordGiven(const Mandate& mandate);

    Mandate& mandate_;
    std::unique_ptr<MIniSetHelper> exclusive_;
    int refusal_ = 0;
    const RateChange* statusChange_ = nullptr;
    MandateStatus registered_;
    // Stored password hashes whose password the user gave in this session.
    // Keyed by the hash, never by the folder: the folder's database may be
    // another one by the time it is opened. Runs use it from the work thread.
    std::mutex givenMutex_;
    std::set<std::string> givenPasswords_;
};
