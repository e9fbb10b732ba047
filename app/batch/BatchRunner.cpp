#include "app/batch/BatchRunner.h"

#include <QObject>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/framework/CFrameWnd.h"
#include "app/framework/Format.h"
#include "app/framework/ScriptedUiSeam.h"
#include "app/framework/Strings.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraMessages.h"
#include "res/Resource.h"
#include "taxkeys/CM_ListTax.h"

namespace {

struct CommandName {
    const char* name;
    unsigned id;
};

constexpr CommandName kCommands[] = {
    {"show-keys", 0},
    {"insert-keys", ID_NEW_KEYS},
    {"remove-new-keys", ID_NEW_KEYS_REVERSE},
    {"adapt-accounts", ID_UPDATE_ACCOUNTS},
    {"reset-accounts", ID_UNDO_UPDATE_ACCOUNTS},
    {"form-2024", ID_FORM2024},
    {"form-2018", ID_FORM2018},
    {"remove-old-keys", ID_REMOVE_KEYS},
};

std::string Canonical(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(path, error);
    return error ? path : canonical.string();
}

// Password prompts of the data library, answered from the password file: by
// the directory being registered, or (while searching, where the directory is
// not known beforehand) by the mandate name the prompt names. A password is
// given once; a retry prompt after a wrong one is cancelled.
class BatchSeam : public ScriptedUiSeam {
public:
    std::optional<std::string> InputText(const InputRequest& request) override {
        inputs.push_back(request);
        if (current) return std::exchange(current, std::nullopt);
        if (auto found = byPrompt.find(request.prompt); found != byPrompt.end()) {
            std::string password = found->second;
            byPrompt.erase(found);
            return password;
        }
        return std::nullopt;
    }

    std::optional<std::string> current;
    std::map<std::string, std::string> byPrompt;
};

std::string MandateName(const std::string& dir) {
    Mandate mandate(0);
    if (mandate.OpenMandateFiles(dir, 1, true) != 0) return {};
    std::string name = mandate.GetName();
    mandate.CloseMandateFiles();
    return name;
}

void Usage(std::ostream& err) { err << LoadString(IDS_BATCH_USAGE) << "\n"; }

}  // namespace

bool BatchRunner::ParseArguments(const std::vector<std::string>& args, std::ostream& err) {
    // The language comes first, so that every message after it speaks it.
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--lang" && (args[i + 1] == "de" || args[i + 1] == "fr"))
            options_.culture = args[i + 1] == "fr" ? "fr-CH" : "de-CH";
    if (options_.culture) SetProcessPreferredUILanguages(*options_.culture);

    auto badOption = [&err](const std::string& arg) {
        err << Format(LoadString(IDS_BATCH_BAD_OPTION), arg) << "\n";
        Usage(err);
        return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--yes") {
            options_.yes = true;
        } else if (arg == "--on-locked") {
            if (!hasValue || (args[i + 1] != "abort" && args[i + 1] != "ignore")) return badOption(arg);
            options_.abortOnLocked = args[++i] == "abort";
        } else if (arg == "--password-file") {
            if (!hasValue) return badOption(arg);
            options_.passwordFile = args[++i];
        } else if (arg == "--search") {
            if (!hasValue) return badOption(arg);
            options_.searchRoot = args[++i];
        } else if (arg == "--lang") {
            if (!hasValue || (args[i + 1] != "de" && args[i + 1] != "fr")) return badOption(arg);
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return badOption(arg);
        } else if (options_.command.empty()) {
            options_.command = arg;
        } else {
            options_.dirs.push_back(arg);
        }
    }
    if (options_.command.empty()) {
        Usage(err);
        return false;
    }
    const CommandName* known = nullptr;
    for (const CommandName& command : kCommands)
        if (options_.command == command.name) known = &command;
    if (!known) {
        err << Format(LoadString(IDS_BATCH_UNKNOWN_COMMAND), options_.command) << "\n";
        Usage(err);
        return false;
    }
    options_.commandId = known->id;
    if (options_.dirs.empty() && !options_.searchRoot) {
        err << LoadString(IDS_BATCH_NO_MANDATES) << "\n";
        Usage(err);
        return false;
    }
    return true;
}

bool BatchRunner::ReadPasswordFile(std::ostream& err) {
    if (!options_.passwordFile) return true;
    std::ifstream in(*options_.passwordFile);
    if (!in) {
        err << Format(LoadString(IDS_BATCH_PASSWORD_FILE), *options_.passwordFile) << "\n";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) {
            err << Format(LoadString(IDS_BATCH_PASSWORD_LINE), *options_.passwordFile, number) << "\n";
            return false;
        }
        passwords_[Canonical(line.substr(0, tab))] = line.substr(tab + 1);
    }
    return true;
}

int BatchRunner::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!ParseArguments(args, err) || !ReadPasswordFile(err)) return kUsageError;

    BatchSeam seam;
    seam.echo = &err;
    seam.boxPolicy = [this](const MessageBoxRequest& request) {
        switch (request.type & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
            return options_.abortOnLocked ? int(IDABORT) : int(IDIGNORE);
        case MB_YESNO:
        case MB_YESNOCANCEL:
            if (options_.yes) return int(IDYES);
            declined_ = true;
            return int(IDNO);
        case MB_OKCANCEL:
            if (options_.yes) return int(IDOK);
            declined_ = true;
            return int(IDCANCEL);
        default:
            return DefaultButtonOf(request.type);
        }
    };
    UiSeam::Install(&seam);

    int status = kDone;
    {
        CTheApp app;
        if (app.InitInstance()) {
            // Start-up chose the product's culture; the option overrides it.
            if (options_.culture) SetProcessPreferredUILanguages(*options_.culture);
            // A mandate is open, for this run, when the title names it.
            const std::string plainTitle = LoadString(IDS_TITLE);
            QObject::connect(app.GetMainFrame(), &QWidget::windowTitleChanged, [this, plainTitle](const QString& title) {
                if (S(title) != plainTitle) opened_.insert(Canonical(Mandate::GetGlobalMandate()->GetPath()));
            });
            for (const auto& [dir, password] : passwords_)
                if (const std::string name = MandateName(dir); !name.empty())
                    seam.byPrompt[PendraMessageText(kMsgPasswordPrompt, name, 0)] = password;
            status = Register(app, err);
            if (status == kDone || app.GetListView()->GetItemCount() > 0) {
                seam.byPrompt.clear();
                app.GetListView()->OnMarkall();
                app.SwitchView(1);
                if (options_.commandId == 0)
                    ShowKeys(app, out);
                else
                    app.GetMainFrame()->DoCommand(options_.commandId);
                out << app.GetLogView()->GetText();
                out.flush();
                status = std::max(status, Report(app, err));
            }
            app.GetMainFrame()->close();
        }
        app.ExitInstance();
    }
    UiSeam::Install(nullptr);
    return status;
}

int BatchRunner::Register(CTheApp& app, std::ostream& err) {
    if (options_.searchRoot) {
        app.m_searchRoot = *options_.searchRoot;
        app.SearchMandates();
        if (app.GetListView()->GetItemCount() == 0) {
            err << Format(LoadString(IDS_BATCH_NONE_FOUND), *options_.searchRoot) << "\n";
            return kSomeMandatesFailed;
        }
    }
    std::set<std::string> seen;
    for (const std::string& dir : options_.dirs) {
        const std::string canonical = Canonical(dir);
        if (!seen.insert(canonical).second) continue;
        auto& seam = static_cast<BatchSeam&>(UiSeam::Current());
        if (auto found = passwords_.find(canonical); found != passwords_.end()) seam.current = found->second;
        const bool added = app.AddMandate(dir);
        seam.current.reset();
        if (!added) {
            err << Format(LoadString(IDS_BATCH_NOT_REGISTERED), dir) << "\n";
            ++registerFailures_;
        }
    }
    return registerFailures_ ? kSomeMandatesFailed : kDone;
}

// The overview of each mandate: its two lists, row beside row, columns and
// the two lists separated by tabs, after the dialog's title and headings.
void BatchRunner::ShowKeys(CTheApp& app, std::ostream& out) {
    app.GetMainFrame()->RunBatch([&out](const std::string&) {
        CM_ListTax dialog;
        if (!dialog.OnInitDialog()) return;
        auto columns = [](const QTreeWidgetItem* item) {
            QStringList texts;
            for (int column = 0; column < item->columnCount(); ++column) texts << item->text(column);
            return S(texts.join('\t'));
        };
        out << S(dialog.windowTitle()) << "\n";
        out << columns(dialog.LeftList()->headerItem()) << "\t" << columns(dialog.RightList()->headerItem()) << "\n";
        const int rows = std::max(dialog.LeftList()->topLevelItemCount(), dialog.RightList()->topLevelItemCount());
        for (int row = 0; row < rows; ++row) {
            const QTreeWidgetItem* left = dialog.LeftList()->topLevelItem(row);
            const QTreeWidgetItem* right = dialog.RightList()->topLevelItem(row);
            out << (left ? columns(left) : std::string()) << "\t" << (right ? columns(right) : std::string()) << "\n";
        }
        out << "\n";
    });
}

int BatchRunner::Report(CTheApp& app, std::ostream& err) {
    if (declined_ && opened_.empty()) {
        err << LoadString(IDS_BATCH_NOT_CONFIRMED) << "\n";
        return kSomeMandatesFailed;
    }
    int status = app.m_failures > 0 ? kSomeMandatesFailed : kDone;
    CTheList* list = app.GetListView();
    for (int row = 0; row < list->GetItemCount(); ++row) {
        const std::string dir = list->GetItemText(row, 0);
        if (opened_.count(Canonical(dir))) continue;
        err << Format(LoadString(IDS_BATCH_NOT_OPENED), dir) << "\n";
        status = kSomeMandatesFailed;
    }
    return status;
}
