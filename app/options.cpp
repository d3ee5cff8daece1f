#include "app/options.h"

#include <QCommandLineParser>
#include <QStringList>

namespace koravel::app {

namespace {

std::string Dashed(const QString& name) {
    return (name.size() == 1 ? "-" : "--") + name.toStdString();
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& arguments) {
    Options options;
    const auto fail = [&options](std::string message) {
        options.usageError = std::move(message);
        return options;
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption scan(QStringLiteral("scan"), QString(), QStringLiteral("division"));
    const QCommandLineOption save(QStringLiteral("save"));
    const QCommandLineOption list(QStringLiteral("list"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({scan, save, list, json, help, version});

    QStringList words{QStringLiteral("koravel")};
    for (const std::string& argument : arguments) words << QString::fromStdString(argument);
    if (!parser.parse(words)) {
        if (!parser.unknownOptionNames().isEmpty())
            return fail("unknown option '" + Dashed(parser.unknownOptionNames().first()) + "'");
        // The one option that takes a value is the one that can miss it.
        if (words.last() == QLatin1String("--scan") || words.last() == QLatin1String("-scan"))
            return fail("option '--scan' needs a division");
        return fail(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument '" + parser.positionalArguments().first().toStdString() +
                    "'");

    // Each action once, and only one of them.
    const QStringList actionNames{QStringLiteral("scan"), QStringLiteral("list"),
                                  QStringLiteral("h"), QStringLiteral("help"),
                                  QStringLiteral("version")};
    int actions = 0;
    for (const QString& name : parser.optionNames()) actions += actionNames.contains(name) ? 1 : 0;
    if (parser.isSet(scan)) options.action = Options::Action::Scan;
    if (parser.isSet(list)) options.action = Options::Action::List;
    if (parser.isSet(help)) options.action = Options::Action::Help;
    if (parser.isSet(version)) options.action = Options::Action::Version;
    if (actions > 1) return fail("give one of --scan, --list, --help and --version, once");
    options.save = parser.isSet(save);
    options.json = parser.isSet(json);
    if (options.action == Options::Action::Scan)
        options.division = parser.value(scan).toStdString();
    if (options.save && options.action != Options::Action::Scan)
        return fail("--save goes with --scan");
    if (options.json && options.action != Options::Action::Scan &&
        options.action != Options::Action::List)
        return fail("--json goes with --scan or --list");
    if (actions == 0) return fail("nothing to do");
    return options;
}

const std::string& HelpText() {
    static const std::string text =
        "Usage: koravel                      open the window\n"
        "       koravel --scan DIVISION [--save] [--json]\n"
        "       koravel --list [--json] | --help | --version\n"
        "\n"
        "  --scan DIVISION  fetch every team of DIVISION (a section of data.ini in the\n"
        "                   working folder) and print one tab-separated line per team:\n"
        "                   name, players, CoSP, aged 19, talents above 1, best talent\n"
        "  --save           after a complete scan, append the list to save.txt\n"
        "  --list           print the divisions of data.ini, in file order\n"
        "  --json           print JSON Lines instead, UTF-8 whatever the locale:\n"
        "                   a team: {\"id\", \"name\", \"players\", \"cosp\", \"aged19\",\n"
        "                   \"talentsAbove1\", \"maxTalent\"} (numbers with \".\"; players\n"
        "                   and cosp as text where the page's text is no integer);\n"
        "                   a failed team: {\"id\", \"error\"}; an error that ends the\n"
        "                   command: {\"error\"}; a division: {\"division\", \"teams\"}\n"
        "  --help           print this help\n"
        "  --version        print the version\n"
        "\n"
        "Exit status: 0 done, 1 the scan or the save failed, 2 usage, 3 a team could not\n"
        "be fetched (nothing saved), 130 interrupted. See koravel(1).\n";
    return text;
}

}  // namespace koravel::app
