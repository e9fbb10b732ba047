// Opening and closing the global mandate: the data version and password tests,
// exclusive access with the Abort / Retry / Ignore box, and "Öffnen".
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheView.h"
#include "app/framework/AfxMessageBox.h"
#include "app/framework/CException.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "forms/FormPassJournal.h"
#include "forms/TemplateSet.h"
#include "mandate/MandatePath.h"
#include "mandate/OtherUsers.h"
#include "mandate/pendra/MIniSetHelper.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "res/Resource.h"

namespace {

constexpr long kRequiredVersion = 2300;
constexpr const char* kRequiredVersionText = "2300";

// The box shown while another program holds the mandate: 20001 and, for an SQL
// mandate, the other users as libholdwatch.so names them. A mandate refused
// with 88 has no path of its own, so the path asked for is named then.
std::string ExclusiveConflictText(Mandate& mandate, const std::string& path) {
    const std::string shown = mandate.GetPath().empty() ? path : mandate.GetPath();
    std::string text = Format(LoadString(IDS_NOT_EXCLUSIVE), shown);
    if (std::optional<std::string> users = OtherUsersOfMandate(mandate)) text += *users;
    return text;
}

// Statuses of an open that converts the mandate's tax ids to the current
// format and finds one that has no place there; nothing was changed.
bool IdsNotConvertible(int status) {
    return status == pendra::kNotWindows1252 || status == pendra::kDuplicateKey;
}

// kOk when granted, kMandateHeldExclusively while someone else has the
// mandate; anything else (a lock file that cannot be written) can never be
// granted, so retrying is pointless.
int GainExclusiveAccess(Mandate& mandate, MIniSetHelper* exclusive) {
    if (mandate.IsSQLMandate())
        return mandate.TryGetExclusiveLock(0) ? pendra::kOk : pendra::kMandateHeldExclusively;
    return exclusive ? exclusive->OpenExclusive() : pendra::kFileNotOpen;
}

// The global mandate when it is open on the directory `path` names.
Mandate* OpenGlobalMandateAt(const std::string& path) {
    Mandate* global = Mandate::GetGlobalMandate();
    if (!global || !global->IsMandantOpen()) return nullptr;
    return CanonicalMandatePath(global->GetPath()) == CanonicalMandatePath(path) ? global : nullptr;
}

}  // namespace

bool CTheApp::CheckVersionAndPassword(const std::string& path, std::string& outMandateName) {
    // Our own exclusive hold would refuse a second open of the mandate that
    // is open right now (88, "another program"): test it where it is open.
    if (Mandate* own = OpenGlobalMandateAt(path)) {
        const bool passed = IsVersion(own) && AskPassword(own);
        outMandateName = own->GetName();
        return passed;
    }
    Mandate mandate(0);
    const int status = mandate.OpenMandateFiles(path, 1, true);
    if (status == pendra::kFormatTooOld) {
        AfxMessageBox(Format(LoadString(IDS_FORMAT_TOO_OLD), path));
        return false;
    }
    if (IdsNotConvertible(status)) {
        AfxMessageBox(Format(LoadString(IDS_IDS_NOT_CONVERTIBLE), path));
        return false;
    }
    if (status == pendra::kMandateHeldExclusively) {
        // The library keeps the path of a failed open; show it, never an empty one.
        AfxMessageBox(Format(LoadString(IDS_HELD_EXCLUSIVELY),
                             mandate.GetPath().empty() ? path : mandate.GetPath()));
        return false;
    }
    if (status != pendra::kOk) return false;
    const bool passed = IsVersion(&mandate) && AskPassword(&mandate);
    outMandateName = mandate.GetName();
    mandate.CloseMandateFiles();
    return passed;
}

bool CTheApp::IsVersion(Mandate* mandate) {
    if (mandate->IsSQLMandate()) return true;
    long version = 0;
    if (mandate->GetVersion(version, 1) == 0) return false;
    if (version == kRequiredVersion) return true;
    AfxMessageBox(Format(LoadString(IDS_WRONG_VERSION), mandate->GetPath(), kRequiredVersionText));
    return false;
}

bool CTheApp::AskPassword(Mandate* mandate) {
    if (mandate->AskPassword() == 1) return true;
    AfxMessageBox(Format(LoadString(IDS_NO_PASSWORD), mandate->GetPath()));
    return false;
}

bool CTheApp::SelectMandate(std::string& mandatePath) {
    char buffer[1024] = {};
    mandatePath.copy(buffer, sizeof buffer - 1);
    if (Mandate::SelectMandate(buffer, sizeof buffer, 0, nullptr, nullptr, true) == 0) return false;
    mandatePath = buffer;
    return true;
}

void CMainFrame::OpenMandate(const std::string& path) {
    CloseMandate();
    Mandate* mandate = Mandate::GetGlobalMandate();
    if (!mandate) return;
    try {
        for (;;) {
            const int status = mandate->OpenMandateFiles(path, 1, true);
            if (status != pendra::kOk && status != pendra::kMandateHeldExclusively) {
                AfxMessageBox(Format(LoadString(IdsNotConvertible(status) ? IDS_IDS_NOT_CONVERTIBLE
                                                                          : IDS_OPEN_FAILED),
                                     path));
                return;
            }
            if (status == pendra::kOk) {
                const int access = GainExclusiveAccess(*mandate, m_pExclusive);
                if (access == pendra::kOk) break;
                if (access != pendra::kMandateHeldExclusively) {
                    CloseMandate();
                    AfxMessageBox(Format(LoadString(IDS_OPEN_FAILED), path));
                    return;
                }
            }

            const std::string text = ExclusiveConflictText(*mandate, path);
            const int answer = UiSeam::Current().MessageBox(
                {text, LoadString(IDS_ERROR_CAPTION),
                 MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2});
            if (answer == IDRETRY) continue;
            CloseMandate();
            if (answer == IDABORT) {
                m_abortFlag = 1;
            } else {
                TheApp().GetLogView()->AppendLine(text + "\r\n\r\n");
            }
            return;
        }
    } catch (const CException&) {
        CloseMandate();
        return;
    }
    if (!TheApp().IsVersion(mandate)) {
        CloseMandate();
        return;
    }
    // Held exclusively now, so no run of ours is writing there: what an
    // interrupted workbook replacement left behind can go.
    if (!mandate->IsReadOnly()) MwstRemoveStrayTempFiles(mandate->GetPath(), {formpass::kJournalName});
    SetWindowText(LoadString(IDS_TITLE) + " - " + mandate->GetName());
    UpdateStatusbar();
}

void CMainFrame::OnManOpen() {
    CTheApp& app = TheApp();
    std::string path;
    if (!app.SelectMandate(path)) return;
    std::string name;
    if (!app.CheckVersionAndPassword(path, name)) return;
    app.m_searchRoot = path;
    OpenMandate(path);
    UpdateStatusbar();
}
