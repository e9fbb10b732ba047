#pragma once
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <ostream>
#include <string>
#include <vector>

// Qt's command-line parser over arguments that may be any bytes (a mandate
// folder copied from Windows in Windows-1252, say): each byte becomes one
// character (Latin-1) and back, so no argument loses or changes a byte on the
// way through the parser. Option names are ASCII and match as they are.
namespace mwstcli {

// Exit statuses shared by the programs.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// `program` followed by `args`, for QCommandLineParser::parse (which skips the first).
QStringList Arguments(const std::string& program, const std::vector<std::string>& args);
std::string Bytes(const QString& text);

// "<program> <version>\n", what --version prints.
std::string VersionLine(const std::string& program);

// The options --help (-h) and --version, added to `parser`; the caller keeps them.
struct StandardOptions {
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{QStringLiteral("version")};
    void AddTo(QCommandLineParser& parser) const;
};

// The parser's error in the programs' form: "<program>: <error>".
std::string ParserError(const std::string& program, const QCommandLineParser& parser);

// After a failed parse of `arguments` (as given to parse, program first): the
// argument the parser stumbled on, as it was typed, for a message of the
// program's own: an unknown option, an option given a value it takes none of
// (`--yes=1`), else the option left without its value (the last argument).
QString BadArgument(const QCommandLineParser& parser, const QStringList& arguments);

}  // namespace mwstcli
