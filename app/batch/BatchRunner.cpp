#include "app/batch/BatchRunner.h"

#include <QObject>
#include <QTreeWidget>
#include <fstream>
#include <functional>
#include <utility>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/framework/CFrameWnd.h"
#include "app/framework/Format.h"
#include "app/framework/ScriptedUiSeam.h"
#include "app/framework/Strings.h"
#include "mandate/MandatePath.h"
#include "mandate/pendra/Mandate.h"
#include "res/Resource.h"
#include "taxkeys/CM_ListTax.h"

namespace {

struct CommandName {
    const char* name;
    unsigned id;
    int endLineId;  // the line the command writes when it completed on a mandate; 0: none
};

constexpr CommandName kCommands[] = {
    {"show-keys", 0, 0},
    {"insert-keys", ID_NEW_KEYS, IDS_END_INSERT},
    {"remove-new-keys", ID_NEW_KEYS_REVERSE, IDS_END_REMOVE_NEW},
    {"adapt-accounts", ID_UPDATE_ACCOUNTS, IDS_END_ADAPT},
    {"reset-accounts", ID_UNDO_UPDATE_ACCOUNTS, IDS_END_RESET},
    {"form-2024", ID_FORM2024, IDS_END_FORM2024},
    {"form-2018", ID_FORM2018, IDS_END_FORM2018},
    {"remove-old-keys", ID_REMOVE_KEYS, IDS_END_REMOVE_OLD},
};

const CommandName* FindCommand(const std::string& name) {
    for (const CommandName& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

}  // namespace

// Password prompts of the data library, answered from the password file by
// the directory being registered (set for the one check, searched or given).
// A password is given once; a retry prompt after a wrong one is cancelled.
class BatchSeam : public ScriptedUiSeam {
public:
    std::optional<std::string> InputText(const InputRequest& request) override {
        inputs.push_back(request);
        return std::exchange(current, std::nullopt);
    }

    std::optional<std::string> current;
};

// The program as mwst-batch runs it: every registration, of a directory given
// or of one the search met, goes through `registering`.
class BatchApp : public CTheApp {
public:
    bool AddMandate(const std::string& path) override { return registering(path); }
    bool RegisterUnchanged(const std::string& path) { return CTheApp::AddMandate(path); }

    std::function<bool(const std::string& path)> registering;
};

namespace {

void Usage(std::ostream& stream) { stream << LoadString(IDS_BATCH_USAGE) << "\n"; }

}  // namespace

bool BatchRunner::ParseArguments(const std::vector<std::string>& args, std::ostream& err) {
    // The language comes first, so that every message after it speaks it.
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--lang" && (args[i + 1] == "de" || args[i + 1] == "fr"))
            options_.culture = args[i + 1] == "fr" ? "fr-CH" : "de-CH";
    if (options_.culture) SetProcessPreferredUILanguages(*options_.culture);
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") {
            options_.help = true;
            return true;
        }

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
    const CommandName* known = FindCommand(options_.command);
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
        passwords_[CanonicalMandatePath(line.substr(0, tab))] = line.substr(tab + 1);
    }
    return true;
}

int BatchRunner::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!ParseArguments(args, err)) return kUsageError;
    if (options_.help) {
        Usage(out);
        return kDone;
    }
    if (!ReadPasswordFile(err)) return kUsageError;

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
        default: {
            // While the command runs, an error box means a mandate failed.
            const unsigned icon = request.type & MB_ICONMASK;
            if (running_ && (icon == MB_ICONERROR || icon == MB_ICONEXCLAMATION)) ++errorBoxes_;
            return DefaultButtonOf(request.type);
        }
        }
    };
    UiSeam::Install(&seam);

    int status = kDone;
    {
        BatchApp app;
        app.registering = [this, &app, &seam, &err](const std::string& path) {
            return RegisterOne(app, seam, path, err);
        };
        if (app.InitInstance()) {
            // Start-up chose the product's culture; the option overrides it.
            if (options_.culture) SetProcessPreferredUILanguages(*options_.culture);
            // A mandate is open, for this run, when the title names it.
            const std::string plainTitle = LoadString(IDS_TITLE);
            QObject::connect(app.GetMainFrame(), &QWidget::windowTitleChanged, [this, plainTitle](const QString& title) {
                if (S(title) == plainTitle) return;
                const Mandate* mandate = Mandate::GetGlobalMandate();
                const std::string dir = CanonicalMandatePath(mandate->GetPath());
                opened_.insert(dir);
                if (mandate->IsReadOnly()) readOnly_.insert(dir);
            });
            // The log goes out line by line as the commands write it.
            app.GetLogView()->AddLineListener([&out](const std::string& line) { out << line << std::flush; });
            status = Register(app, err);
            if (status == kDone || app.GetListView()->GetItemCount() > 0) {
                running_ = true;
                app.GetListView()->OnMarkall();
                app.SwitchView(1);
                if (options_.commandId == 0)
                    ShowKeys(app, out);
                else
                    app.GetMainFrame()->DoCommand(options_.commandId);
                running_ = false;
                status = std::max(status, Report(app, err));
            }
            app.GetMainFrame()->close();
        }
        app.ExitInstance();
    }
    UiSeam::Install(nullptr);
    return status;
}

// Searched mandates first, in the order met, then the directories given.
int BatchRunner::Register(CTheApp& app, std::ostream& err) {
    bool noneFound = false;
    if (options_.searchRoot) {
        app.m_searchRoot = *options_.searchRoot;
        app.SearchMandates();
        if (checked_.empty()) {
            err << Format(LoadString(IDS_BATCH_NONE_FOUND), *options_.searchRoot) << "\n";
            noneFound = true;
        }
    }
    for (const std::string& dir : options_.dirs) app.AddMandate(dir);
    return registerFailures_ || noneFound ? kSomeMandatesFailed : kDone;
}

// One registration, under the canonical path: that path names the mandate in
// the list and the log, and a mandate met again (written differently, through
// a link, given and found) is registered once, with one line saying so.
bool BatchRunner::RegisterOne(BatchApp& app, BatchSeam& seam, const std::string& path, std::ostream& err) {
    const std::string canonical = CanonicalMandatePath(path);
    if (!checked_.insert(canonical).second) {
        err << Format(LoadString(IDS_BATCH_DUPLICATE), canonical) << "\n";
        return false;
    }
    if (auto found = passwords_.find(canonical); found != passwords_.end()) seam.current = found->second;
    const bool added = app.RegisterUnchanged(canonical);
    seam.current.reset();
    if (!added) {
        err << Format(LoadString(IDS_BATCH_NOT_REGISTERED), canonical) << "\n";
        ++registerFailures_;
    }
    return added;
}

// The overview of each mandate: its two lists, row beside row, columns and
// the two lists separated by tabs, after the dialog's title and headings.
void BatchRunner::ShowKeys(CTheApp& app, std::ostream& out) {
    app.GetMainFrame()->RunBatch([this, &out](const std::string& dir) {
        CM_ListTax dialog;
        if (!dialog.OnInitDialog()) {
            incomplete_.insert(CanonicalMandatePath(dir));
            return;
        }
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

// Every mandate of the list must have been opened, and the command must have
// completed on it: a changing command on a writable mandate, ending with the
// command's own end line (a refusal writes its "gesperrt" line or a reason
// instead). Failures the commands counted, and error boxes, fail the run too.
int BatchRunner::Report(CTheApp& app, std::ostream& err) {
    if (declined_ && opened_.empty()) {
        err << LoadString(IDS_BATCH_NOT_CONFIRMED) << "\n";
        return kSomeMandatesFailed;
    }
    int status = app.m_failures > 0 || errorBoxes_ > 0 || declined_ ? kSomeMandatesFailed : kDone;
    const CommandName* command = FindCommand(options_.command);
    const bool changes = options_.commandId != 0;
    const std::string log = app.GetLogView()->GetText();
    CTheList* list = app.GetListView();
    for (int row = 0; row < list->GetItemCount(); ++row) {
        const std::string dir = list->GetItemText(row, 0);
        const std::string canonical = CanonicalMandatePath(dir);
        int problem = 0;
        if (!opened_.count(canonical))
            problem = IDS_BATCH_NOT_OPENED;
        else if (changes && readOnly_.count(canonical))
            problem = IDS_BATCH_READ_ONLY;
        else if (incomplete_.count(canonical) ||
                 (command->endLineId && log.find(Format(LoadString(command->endLineId), dir)) == std::string::npos))
            problem = IDS_BATCH_NOT_COMPLETED;
        if (!problem) continue;
        err << Format(LoadString(problem), dir) << "\n";
        status = kSomeMandatesFailed;
    }
    return status;
}
