#include "mandate/tools/MandantTool.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>

#include "base/RegularFile.h"
#include "cli/CommandLine.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "templates/TemplateSet.h"
#include "mandate/tools/DemoBuilder.h"
#include "mandate/tools/MandateText.h"

namespace mandant {
namespace {

using mwstcli::kExitFailed;
using mwstcli::kExitUsage;

constexpr const char* kProgram = "mwst-mandant";

constexpr const char* kUsage =
    "usage: mwst-mandant create DIR --name NAME [--version N] [--password PW] [--flat-rate] "
    "[--read-only] [--sql CONNINFO]\n"
    "       mwst-mandant load DIR [FILE]   add records from FILE (or standard input)\n"
    "       mwst-mandant dump DIR          print every record in load format\n"
    "       mwst-mandant hold DIR          hold the mandate exclusively until stdin closes\n"
    "       mwst-mandant demo DIR [--sql CONNINFO]\n"
    "                                      create the demo mandates under DIR (with --sql one\n"
    "                                      more on that PostgreSQL server, when it answers)\n"
    "       mwst-mandant read-only DIR on|off\n"
    "       mwst-mandant --help | --version\n"
    "(create's --version N is the mandate's data version; booking dates in FILE are\n"
    "YYYYMMDD or YYYY-MM-DD)\n";

struct UsageError {
    std::string message;
};

// The options of every command; each command accepts only its own.
struct Options {
    QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    QCommandLineOption dataVersion{QStringLiteral("version"), QString(), QStringLiteral("N")};
    QCommandLineOption password{QStringLiteral("password"), QString(), QStringLiteral("PW")};
    QCommandLineOption flatRate{QStringLiteral("flat-rate")};
    QCommandLineOption readOnly{QStringLiteral("read-only")};
    QCommandLineOption sql{QStringLiteral("sql"), QString(), QStringLiteral("CONNINFO")};
    mwstcli::StandardOptions standard;
};

class Command {
public:
    Command(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err)
        : args_(args), in_(in), out_(out), err_(err) {}

    int Run() {
        if (args_.empty()) throw UsageError{"no command given"};
        const std::string& name = args_[0];
        if (name == "--help" || name == "-h" || name == "help") {
            out_ << kUsage;
            return 0;
        }
        if (name == "--version") {
            out_ << mwstcli::VersionLine(kProgram);
            return 0;
        }
        if (name == "create") return Parse({&options_.name, &options_.dataVersion, &options_.password,
                                            &options_.flatRate, &options_.readOnly, &options_.sql})
                                       ? Create() : 0;
        if (name == "load") return Parse({}) ? Load() : 0;
        if (name == "dump") return Parse({}) ? Dump() : 0;
        if (name == "hold") return Parse({}) ? Hold() : 0;
        if (name == "demo") return Parse({&options_.sql}) ? Demo() : 0;
        if (name == "read-only") return Parse({}) ? ReadOnly() : 0;
        if (name.starts_with("-")) throw UsageError{"unknown option '" + name + "'"};
        throw UsageError{"unknown command '" + name + "'"};
    }

private:
    // Parses the command's arguments; false when --help was asked for (and shown).
    bool Parse(std::initializer_list<const QCommandLineOption*> accepted) {
        parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const QCommandLineOption* option : accepted) parser_.addOption(*option);
        parser_.addOption(options_.standard.help);
        const std::vector<std::string> rest(args_.begin() + 1, args_.end());
        if (!parser_.parse(mwstcli::Arguments(kProgram, rest))) throw UsageError{mwstcli::Bytes(parser_.errorText())};
        if (parser_.isSet(options_.standard.help)) {
            out_ << kUsage;
            return false;
        }
        for (const QString& positional : parser_.positionalArguments()) positional_.push_back(mwstcli::Bytes(positional));
        return true;
    }
    std::string Value(const QCommandLineOption& option) const { return mwstcli::Bytes(parser_.value(option)); }

    const std::string& Dir() const {
        if (positional_.empty()) throw UsageError{"DIR missing"};
        return positional_[0];
    }
    // At most `max` arguments after the command.
    void ExpectArgs(std::size_t max) const {
        if (positional_.size() > max) throw UsageError{"unexpected argument '" + positional_[max] + "'"};
    }
    int Fail(const std::string& message) {
        err_ << kProgram << ": " << message << '\n';
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
        ExpectArgs(1);
        MandateCreateOptions options;
        const bool haveName = parser_.isSet(options_.name);
        if (haveName) options.name = Value(options_.name);
        if (parser_.isSet(options_.dataVersion)) {
            const std::string text = Value(options_.dataVersion);
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), options.dataVersion);
            if (ec != std::errc() || ptr != text.data() + text.size() || options.dataVersion <= 0) {
                throw UsageError{"--version needs a positive whole number, not '" + text + "'"};
            }
        }
        if (parser_.isSet(options_.password)) options.password = Value(options_.password);
        if (parser_.isSet(options_.flatRate)) options.settings.push_back({0, 27, 1});
        if (parser_.isSet(options_.readOnly)) options.readOnly = true;
        // The server's master database; the password comes from ~/.pgpass or PGPASSWORD.
        if (parser_.isSet(options_.sql)) options.sqlConnection = Value(options_.sql);
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
        ExpectArgs(2);
        std::string input;
        if (positional_.size() == 2) {
            std::string error;
            if (!regularfile::ReadWhole(positional_[1], input, error, std::size_t{1} << 30))
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
        ExpectArgs(1);
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
        ExpectArgs(1);
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
        ExpectArgs(1);
        std::optional<std::string> sqlConnection;
        if (parser_.isSet(options_.sql)) sqlConnection = Value(options_.sql);
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
        ExpectArgs(2);
        if (positional_.size() < 2 || (positional_[1] != "on" && positional_[1] != "off")) {
            throw UsageError{"read-only needs on or off"};
        }
        int status = SetMandateReadOnly(dir, positional_[1] == "on");
        if (status != pendra::kOk) return Fail(OpenFailure(dir, status));
        out_ << dir << ": read-only " << positional_[1] << '\n';
        return 0;
    }

    const std::vector<std::string>& args_;
    Options options_;
    QCommandLineParser parser_;
    std::vector<std::string> positional_;
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
        err << kProgram << ": " << usage.message << '\n' << kUsage;
        return kExitUsage;
    }
}

}  // namespace mandant
