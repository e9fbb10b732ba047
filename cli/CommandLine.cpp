#include "cli/CommandLine.h"

#include "base/InstallLayout.h"

namespace mwstcli {

QStringList Arguments(const std::string& program, const std::vector<std::string>& args) {
    QStringList list{QString::fromLatin1(program.data(), static_cast<qsizetype>(program.size()))};
    for (const std::string& arg : args)
        list << QString::fromLatin1(arg.data(), static_cast<qsizetype>(arg.size()));
    return list;
}

std::string Bytes(const QString& text) { return text.toLatin1().toStdString(); }

std::string VersionLine(const std::string& program) { return program + ' ' + MwstPackageVersion() + '\n'; }

void StandardOptions::AddTo(QCommandLineParser& parser) const {
    parser.addOption(help);
    parser.addOption(version);
}

std::string ParserError(const std::string& program, const QCommandLineParser& parser) {
    return program + ": " + Bytes(parser.errorText());
}

}  // namespace mwstcli
