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

// Everything the command says, with two faces: text lines for people, or JSON Lines
// (one object a line, UTF-8 always). Messages also go to standard error either way.
// Remembers the first failed write to standard output.
class Reporter final {
public:
    Reporter(common::Console& console, bool json) : m_console(console), m_json(json) {}

    // Help and version read the same in either face.
    void line(std::string_view utf8Line) { write(utf8Line, false); }
    void verbatim(std::string_view bytes) { write(bytes, true); }
    // The teams are looked up only for JSON: completion lists every name on each Tab.
    void division(const config::DivisionTable& table, const std::string& raw) {
        const std::string name = table.isUtf8() ? raw : common::Cp1251ToUtf8(raw);
        if (!m_json) return write(name, false);
        write(json::Division(name, table.teamIds(raw).value_or(std::vector<std::int32_t>{})), true);
    }
    void team(const survey::TeamOutcome& outcome) {
        if (outcome.failure) {
            m_console.error(std::string(text::kRequestFailed) + ": team " +
                            std::to_string(outcome.teamId) + " (" + *outcome.failure + ")");
            // In JSON a failed team is its reason alone; as text, the row of an empty page.
            if (m_json) return write(json::FailedTeam(outcome.teamId, *outcome.failure), true);
        }
        // A row cut short by a conversion error is no row; the error follows.
        if (outcome.error) return;
        write(m_json ? json::Team(outcome.row) : RowLine(outcome.row), m_json);
    }
    // An error that ends the command: its message, and in JSON its last line.
    void error(std::string_view utf8Message) {
        m_console.error(utf8Message);
        if (m_json) write(json::Error(utf8Message), true);
    }
    // The status after the results: kFailed, with a message, when they were not all written.
    int status(int otherwise) const {
        if (m_error == 0) return otherwise;
        m_console.error("cannot write to standard output: " + std::string(std::strerror(m_error)));
        return kFailed;
    }

private:
    // `verbatim`: bytes as they are (JSON, the help); otherwise one line of text.
    void write(std::string_view text, bool verbatim) {
        if (m_error != 0) return;
        errno = 0;
        if (!(verbatim ? m_console.outRaw(text) : m_console.out(text)))
            m_error = errno != 0 ? errno : EIO;
    }

    common::Console& m_console;
    bool m_json;
    int m_error = 0;
};

// What a scan came to, folded from its outcomes; it gives the exit status.
struct Summary {
    survey::TeamList rows;  // the complete rows, for the save
    std::size_t failures = 0;
    std::optional<std::string> error;  // the conversion error that ended it, naming its team
    bool stopped = false;

    void add(survey::TeamOutcome&& outcome) {
        if (outcome.failure) ++failures;
        if (outcome.error)
            error = *outcome.error + " (team " + std::to_string(outcome.teamId) + ")";
        else
            rows.push_back(std::move(outcome.row));
    }
    int status() const {
        if (error) return kFailed;
        if (stopped) return kInterrupted;
        return failures > 0 ? kIncomplete : kDone;
    }
};

int List(Reporter& reporter, const Session& session) {
    const config::DivisionTable table = session.loadDivisions();
    for (const std::string& raw : table.divisionNames()) reporter.division(table, raw);
    return reporter.status(kDone);
}

// The settings' message names the file where it does not already.
std::string SettingsMessage(const Session& session) {
    const std::string message = session.settings().error->what();
    const std::string place = session.settingsPlace();
    return message.find(place) == std::string::npos ? message + " (" + place + ")" : message;
}

int ScanDivision(common::Console& console, Reporter& reporter, const Session& session,
                 const Options& options) {
    const config::DivisionTable table = session.loadDivisions();
    const std::string division =
        table.isUtf8() ? options.division : common::Utf8ToCp1251(options.division);
    std::optional<std::vector<std::int32_t>> teamIds = table.teamIds(division);
    if (!teamIds) {
        reporter.error("no division '" + options.division +
                       "' in data.ini (koravel --list shows them)");
        return kUsage;
    }
    // Settings that cannot be read never mean "no proxy": nothing goes out.
    if (session.settings().error) {
        reporter.error(SettingsMessage(session));
        return kFailed;
    }
    const common::ProxySettings proxy =
        session.settings().settings.value_or(common::ProxySettings{});

    const std::atomic<bool>& interrupted = common::CatchInterrupt();
    survey::Scan scan(std::move(*teamIds), LocaleDecimalSeparator(), [&](std::int32_t id) {
        site::Reply reply = session.fetch(id, proxy, &interrupted);
        if (reply.ok()) return survey::Fetched{std::move(reply.body), {}};
        return survey::Fetched{std::nullopt, reply.reason()};
    });
    Summary summary;
    for (;;) {
        if (scan.position() < scan.size()) console.progress(scan.position() + 1, scan.size());
        std::optional<survey::TeamOutcome> outcome = scan.next(&interrupted);
        if (!outcome) break;
        reporter.team(*outcome);
        summary.add(std::move(*outcome));
    }
    console.wipeProgress();
    // A Ctrl-C that came just after the last team still keeps save.txt as it was.
    summary.stopped = interrupted;
    if (summary.error) reporter.error(*summary.error);
    const int status = summary.status();
    if (status == kInterrupted) return status;
    const int written = reporter.status(status);
    if (written != kDone || !options.save) return written;
    return session.saveReport(summary.rows, &interrupted) ? kDone : kInterrupted;
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
    Reporter reporter(console, options.json);
    // The one boundary: whatever ends the command unexpectedly (a save that fails, a
    // setting the request cannot use) is its last message.
    try {
        switch (options.action) {
            case Options::Action::Help:
                reporter.verbatim(HelpText());
                return reporter.status(kDone);
            case Options::Action::Version:
                reporter.line("koravel " KORAVEL_VERSION);
                return reporter.status(kDone);
            case Options::Action::List:
                return List(reporter, Session());
            case Options::Action::Scan:
                return ScanDivision(console, reporter, Session(), options);
            case Options::Action::Menu:
                return std::nullopt;
        }
    } catch (const std::exception& error) {
        reporter.error(error.what());
    }
    return reporter.status(kFailed);
}

}  // namespace koravel::app
