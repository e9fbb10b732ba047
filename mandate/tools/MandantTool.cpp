#include "mandate/tools/MandantTool.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>

#include "base/RegularFile.h"
#include "mandate/pendra/MIniSetHelper.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/MandateAdmin.h"
#include "mandate/pendra/PendraStatus.h"
#include "forms/TemplateSet.h"
#include "mandate/tools/DemoBuilder.h"
#include "mandate/tools/MandateText.h"

namespace mandant {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: mwst-mandant create DIR --name NAME [--version N] [--password PW] [--flat-rate] "
    "[--read-only] [--sql CONNINFO]\n"
    "       mwst-mandant load DIR [FILE]   add records from FILE (or standard input)\n"
    "       mwst-mandant dump DIR          print every record in load format\n"
    "       mwst-mandant hold DIR          hold the mandate exclusively until stdin closes\n"
    "       mwst-mandant demo DIR [--sql CONNINFO]\n"
    "                                      create the demo mandates under DIR (with --sql one\n"
    "                                      more on that PostgreSQL server, when it answers)\n"
    "       mwst-mandant read-only DIR on|off\n";

struct UsageError {
    std::string message;
};

class Command {
public:
    Command(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err)
        : args_(args), in_(in), out_(out), err_(err) {}

    int Run() {
        if (args_.empty()) throw UsageError{"no command given"};
        const std::string& name = args_[0];
        if (name == "create") return Create();
        if (name == "load") return Load();
        if (name == "dump") return Dump();
        if (name == "hold") return Hold();
        if (name == "demo") return Demo();
        if (name == "read-only") return ReadOnly();
        if (name == "--help" || name == "help") {
            out_ << kUsage;
            return 0;
        }
        throw UsageError{"unknown command '" + name + "'"};
    }

private:
    const std::string& Dir() const {
        if (args_.size() < 2 || args_[1].starts_with("--")) throw UsageError{"DIR missing"};
        return args_[1];
    }
    void ExpectArgs(std::size_t max) const {
        if (args_.size() > max) throw UsageError{"unexpected argument '" + args_[max] + "'"};
    }
    int Fail(const std::string& message) {
        err_ << "mwst-mandant: " << message << '\n';
        return kExitFailed;
    }
    std::string OpenFailure(const std::string& dir, int status) {
        switch (status) {
            case pendra::kFileNotFound: return dir + ": no mandate there (status 12)";
            case pendra::kNotADatabase:
                return dir + ": pendra.db is damaged or no mandate database (status 30)";
            case pendra::kFormatTooOld:
                return dir + ": the mandate's format is too old (status 60010)";
            case pendra::kMandateHeldExclusively:
                return dir + ": held exclusively by another process (status 88)";
            case pendra::kNotWindows1252:
            case pendra::kDuplicateKey:
                return dir + ": its tax ids cannot be converted to the current database format: "
                             "one holds a character Windows-1252 does not have, or two would "
                             "become the same (status " + std::to_string(status) + ")";
            default: return dir + ": cannot open the mandate (status " + std::to_string(status) + ")";
        }
    }
    bool OpenMandate(Mandate& mandate, const std::string& dir, int& exitCode) {
        int status = mandate.OpenMandateFiles(dir, 1, true);
        if (status == pendra::kOk) return true;
        exitCode = Fail(OpenFailure(dir, status));
        return false;
    }

    int Create() {
        const std::string& dir = Dir();
        MandateCreateOptions options;
        bool haveName = false;
        for (std::size_t i = 2; i < args_.size(); ++i) {
            const std::string& option = args_[i];
            auto value = [&]() -> const std::string& {
                if (i + 1 >= args_.size()) throw UsageError{option + " needs a value"};
                return args_[++i];
            };
            if (option == "--name") {
                options.name = value();
                haveName = true;
            } else if (option == "--version") {
                const std::string& text = value();
                auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(),
                                                 options.dataVersion);
                if (ec != std::errc() || ptr != text.data() + text.size() ||
                    options.dataVersion <= 0) {
                    throw UsageError{"--version needs a positive whole number, not '" + text + "'"};
                }
            } else if (option == "--password") {
                options.password = value();
            } else if (option == "--flat-rate") {
                options.settings.push_back({0, 27, 1});
            } else if (option == "--read-only") {
                options.readOnly = true;
            } else if (option == "--sql") {
                // The server's master database; the password comes from ~/.pgpass or PGPASSWORD.
                options.sqlConnection = value();
            } else {
                throw UsageError{"unknown option '" + option + "'"};
            }
        }
        if (!haveName || options.name.empty()) throw UsageError{"--name NAME missing"};
        int status = CreateMandate(dir, options);
        if (status == pendra::kDuplicateKey) return Fail(dir + ": a mandate exists there already");
        if (status != pendra::kOk) {
            return Fail(dir + ": cannot create the mandate (status " + std::to_string(status) + ")");
        }
        out_ << "created " << dir << " \"" << options.name << "\"\n";
        return 0;
    }

    int Load() {
        const std::string& dir = Dir();
        ExpectArgs(3);
        std::string input;
        if (args_.size() == 3) {
            std::string error;
            if (!regularfile::ReadWhole(args_[2], input, error, std::size_t{1} << 30))
                return Fail(error + "; nothing loaded");
        } else {
            input.assign(std::istreambuf_iterator<char>(in_), {});
        }
        ParsedText parsed = ParseMandateText(input);
        if (!parsed.errors.empty()) {
            for (const TextError& error : parsed.errors) err_ << "mwst-mandant: " << error.ToString() << '\n';
            return Fail("nothing loaded");
        }
        Mandate mandate;
        int exitCode = 0;
        if (!OpenMandate(mandate, dir, exitCode)) return exitCode;
        if (mandate.IsReadOnly()) return Fail(dir + ": the mandate is read-only; nothing loaded");
        TextError error;
        if (LoadIntoMandate(mandate, parsed, error) != pendra::kOk) {
            return Fail(error.ToString() + "; nothing loaded");
        }
        out_ << "loaded " << parsed.entries.size() << " records into " << dir << '\n';
        return 0;
    }

    int Dump() {
        const std::string& dir = Dir();
        ExpectArgs(2);
        Mandate mandate;
        int exitCode = 0;
        if (!OpenMandate(mandate, dir, exitCode)) return exitCode;
        int status = DumpMandate(mandate, out_);
        out_.flush();
        if (status != pendra::kOk) {
            return Fail(dir + ": reading failed (status " + std::to_string(status) + ")");
        }
        return 0;
    }

    int Hold() {
        const std::string& dir = Dir();
        ExpectArgs(2);
        Mandate mandate;
        int exitCode = 0;
        if (!OpenMandate(mandate, dir, exitCode)) return exitCode;
        MIniSetHelper exclusive(&mandate, true);
        int status = exclusive.OpenExclusive();
        if (status == pendra::kMandateHeldExclusively) {
            return Fail(dir + ": in use by another process, cannot hold it (status 88)");
        }
        if (status != pendra::kOk) {
            return Fail(dir + ": cannot hold the mandate (status " + std::to_string(status) + ")");
        }
        out_ << "holding " << dir << std::endl;
        in_.ignore(std::numeric_limits<std::streamsize>::max());  // until stdin closes
        return 0;
    }

    int Demo() {
        const std::string& dir = Dir();
        std::optional<std::string> sqlConnection;
        if (args_.size() == 4 && args_[2] == "--sql") {
            sqlConnection = args_[3];
        } else {
            ExpectArgs(2);
        }
        std::string error;
        // Every demo mandate starts on the 2018 form, from the templates beside the program.
        const DemoStep form2018 = [](const DemoMandate&, const std::string& mandateDir, std::string& stepError) {
            return MwstInstallTemplateSet(2018, mandateDir, stepError);
        };
        if (!BuildDemo(dir, out_, error, {form2018})) return Fail(error);
        if (sqlConnection && !BuildSqlDemo(dir, *sqlConnection, out_, error, {form2018})) {
            return Fail(error);
        }
        return 0;
    }

    int ReadOnly() {
        const std::string& dir = Dir();
        ExpectArgs(3);
        if (args_.size() < 3 || (args_[2] != "on" && args_[2] != "off")) {
            throw UsageError{"read-only needs on or off"};
        }
        int status = SetMandateReadOnly(dir, args_[2] == "on");
        if (status != pendra::kOk) return Fail(OpenFailure(dir, status));
        out_ << dir << ": read-only " << args_[2] << '\n';
        return 0;
    }

    const std::vector<std::string>& args_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace

int RunMandantTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    try {
        return Command(args, in, out, err).Run();
    } catch (const UsageError& usage) {
        err << "mwst-mandant: " << usage.message << '\n' << kUsage;
        return kExitUsage;
    }
}

}  // namespace mandant
