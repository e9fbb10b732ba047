#pragma once
#include <optional>
#include <cstddef>
#include <string>
#include <vector>

// Message box flags and answers, as the converter's messages are written.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
    MB_DEFBUTTON1 = 0x000,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
    MB_DEFMASK = 0xF00,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// A box or prompt may carry a check box under its text, as the Windows task
// dialog's verification flag: `verification` is its text (empty: none) and
// the seam writes whether the user ticked it through `verificationChecked`.
// `problem` names what a box of a run over many mandates tells (the id of its
// text), so that one answer can stand for the same problem of every mandate.
struct MessageBoxRequest {
    std::string text;
    std::string caption;
    unsigned type = MB_OK;
    int problem = 0;
    std::string verification = {};
    bool* verificationChecked = nullptr;
};

struct ChoiceRequest {
    std::string prompt;
    std::string caption;
    std::vector<std::string> items;
};

struct InputRequest {
    std::string prompt;
    std::string caption;
    bool masked = false;
    int problem = 0;
    std::string verification = {};
    bool* verificationChecked = nullptr;
};

// The one seam through which every message box, question and prompt passes.
// The window passes QtUiSeam to what it runs, the batch tool its own seam, and
// tests a ScriptedUiSeam.
class UiSeam {
public:
    virtual ~UiSeam() = default;
    // Shows the box and returns the button chosen (IDOK, IDYES, ...).
    virtual int MessageBox(const MessageBoxRequest& request) = 0;
    // A text prompt; nullopt when cancelled.
    virtual std::optional<std::string> InputText(const InputRequest& request) = 0;
    // The folder browser, opening at `preselected` (may be empty); nullopt when cancelled.
    virtual std::optional<std::string> BrowseForFolder(const std::string& preselected) = 0;
    // The mandate chooser: a directory holding a mandate, or nullopt.
    virtual std::optional<std::string> ChooseMandate(const std::string& proposal) = 0;
    // One of `items` (its index), or nullopt when cancelled. Without a way to
    // ask, nothing is chosen.
    virtual std::optional<std::size_t> ChooseItem(const ChoiceRequest& request) {
        (void)request;
        return std::nullopt;
    }
};

// The buttons a box of `type` offers, in order (IDOK, IDCANCEL, ...).
int DefaultButtonOf(unsigned type);
bool BoxOffers(unsigned type, int answer);
