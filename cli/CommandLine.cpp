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

QString BadArgument(const QCommandLineParser& parser, const QStringList& arguments) {
    // Only what comes before "--" was read as options.
    QStringList options;
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i)
        if (arguments[i].size() > 1 && arguments[i].startsWith(u'-')) options << arguments[i];
    const auto nameOf = [](const QString& option) {
        return option.mid(option.startsWith(QLatin1String("--")) ? 2 : 1).section(u'=', 0, 0);
    };
    const QStringList unknown = parser.unknownOptionNames();
    for (const QString& option : options) {
        if (unknown.contains(nameOf(option))) return option;
        // A single dash may also be a cluster of short names, by the parser's mode.
        if (!option.startsWith(QLatin1String("--")))
            for (const QChar name : option.mid(1))
                if (unknown.contains(QString(name))) return option;
    }
    for (const QString& option : options)
        if (option.contains(u'=') && parser.optionNames().contains(nameOf(option)) &&
            parser.values(nameOf(option)).isEmpty())
            return option;
    return arguments.size() > 1 ? arguments.last() : QString();
}

}  // namespace mwstcli
