#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "app/decimal_separator.h"
#include "app/json_lines.h"
#include "app/options.h"
#include "app/session.h"
#include "common/code_page.h"
#include "common/console.h"
#include "common/error.h"
#include "config/division_table.h"
#include "survey/scan.h"
#include "survey/team_list.h"

namespace koravel::app {

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kIncomplete = 3;
constexpr int kInterrupted = 130;

// A cell may hold anything a page holds; a row stays one line of six fields.
std::string RowLine(const survey::TeamRow& row) {
    std::string line;
    for (int column = 0; column < survey::kColumnCount; ++column) {
        if (column > 0) line += '\t';
        std::string cell = common::Cp1251ToUtf8(row.cell(column));
        std::replace_if(
            cell.begin(), cell.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
            ' ');
        line += cell;
    }
    return line;
}

// Standard output as the command's results go there; remembers the first failed write.
class Output final {
public:
    // `json`: the lines are JSON, written as they are.
    Output(common::Console& console, bool json) : m_console(console), m_json(json) {}

    void line(const std::string& utf8Line) {
        if (m_error != 0) return;
        errno = 0;
        const bool written = m_json ? m_console.outRaw(utf8Line) : m_console.out(utf8Line);
        if (!written) m_error = errno != 0 ? errno : EIO;
    }
    bool json() const { return m_json; }
    // The status after the results: kFailed, with a message, when they were not all written.
    int status(int otherwise) const {
        if (m_error == 0) return otherwise;
        m_console.error("cannot write to standard output: " + std::string(std::strerror(m_error)));
        return kFailed;
    }

private:
    common::Console& m_console;
    bool m_json;
    int m_error = 0;
};

int List(common::Console& console, const Session& session, bool json) {
    const config::DivisionTable table = session.loadDivisions();
    Output output(console, json);
    for (const std::string& raw : table.divisionNames()) {
        const std::string name = table.isUtf8() ? raw : common::Cp1251ToUtf8(raw);
        output.line(
            json ? json::Division(name, table.teamIds(raw).value_or(std::vector<std::int32_t>{}))
                 : name);
    }
    return output.status(kDone);
}

// The settings' message names the file where it does not already.
std::string SettingsMessage(const Session& session) {
    const std::string message = session.settings().error->what();
    const std::string place = session.settingsPlace();
    const std::string named =
        message.find(place) == std::string::npos ? message + " (" + place + ")" : message;
    return common::Cp1251ToUtf8(named);
}

int Scan(common::Console& console, const Session& session, const Options& options) {
    const config::DivisionTable table = session.loadDivisions();
    const std::string division =
        table.isUtf8() ? options.division : common::Utf8ToCp1251(options.division);
    const std::optional<std::vector<std::int32_t>> teamIds = table.teamIds(division);
    if (!teamIds) {
        console.error("no division '" + options.division +
                      "' in data.ini (koravel --list shows them)");
        return kUsage;
    }
    // Settings that cannot be read never mean "no proxy": nothing goes out.
    if (session.settings().error) {
        console.error(SettingsMessage(session));
        return kFailed;
    }
    const common::ProxySettings proxy =
        session.settings().settings.value_or(common::ProxySettings{});
    const std::string separator = LocaleDecimalSeparator();

    const std::atomic<bool>& interrupted = common::CatchInterrupt();
    Output output(console, options.json);
    survey::TeamList list;
    std::size_t fetched = 0;
    std::size_t failures = 0;
    bool lastFailed = false;
    std::int32_t current = 0;
    try {
        const bool complete = survey::RunScan(
            *teamIds, separator,
            [&](std::int32_t id) -> std::optional<std::string> {
                current = id;
                lastFailed = false;
                console.progress(++fetched, teamIds->size());
                site::Reply reply = session.fetch(id, proxy, &interrupted);
                if (reply.ok()) return std::move(reply.body);
                if (interrupted) return std::nullopt;
                ++failures;
                lastFailed = true;
                console.error(std::string(text::kRequestFailed) + ": team " + std::to_string(id) +
                              " (" + reply.reason() + ")");
                if (output.json()) output.line(json::FailedTeam(id, reply.reason()));
                return std::nullopt;
            },
            [&](survey::TeamRow&& row) {
                // A row cut short by a conversion error is no row; the error follows.
                if (!row.complete) return;
                // In JSON a failed team is its error alone; as text, the row of an empty page.
                if (!(output.json() && lastFailed))
                    output.line(output.json() ? json::Team(row, separator) : RowLine(row));
                list.push_back(std::move(row));
            },
            &interrupted);
        console.wipeProgress();
        if (!complete) return kInterrupted;
    } catch (const common::Error& error) {
        console.wipeProgress();
        const std::string message =
            std::string(error.what()) + " (team " + std::to_string(current) + ")";
        console.error(common::Cp1251ToUtf8(message));
        if (output.json()) output.line(json::Error(message));
        return output.status(kFailed);
    }
    // A Ctrl-C that came just after the last team still keeps save.txt as it was.
    if (interrupted) return kInterrupted;
    if (const int status = output.status(kDone); status != kDone) return status;
    if (failures > 0) return kIncomplete;
    if (options.save && !session.saveReport(list, &interrupted)) return kInterrupted;
    return kDone;
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char* argv[]) {
    if (argc <= 1) return std::nullopt;
    common::Console console;
    const Options options = ParseOptions(common::ProgramArguments(argc, argv, console));
    if (!options.usageError.empty()) {
        console.error(options.usageError + " (see koravel --help)");
        return kUsage;
    }
    try {
        switch (options.action) {
            case Options::Action::Help: {
                Output output(console, true);
                output.line(HelpText());
                return output.status(kDone);
            }
            case Options::Action::Version: {
                Output output(console, false);
                output.line("koravel " KORAVEL_VERSION);
                return output.status(kDone);
            }
            case Options::Action::List:
                return List(console, Session(), options.json);
            case Options::Action::Scan:
                return Scan(console, Session(), options);
            case Options::Action::Menu:
                return std::nullopt;
            case Options::Action::Window:
                break;
        }
    } catch (const common::Error& error) {
        console.error(common::Cp1251ToUtf8(error.what()));
        return kFailed;
    } catch (const std::exception& error) {
        console.error(error.what());
        return kFailed;
    }
    return kUsage;
}

}  // namespace koravel::app
