#include "app/command_line.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "app/decimal_separator.h"
#include "common/code_page.h"
#include "common/error.h"
#include "config/division_table.h"
#include "config/settings_store.h"
#include "site/roster_request.h"
#include "survey/report.h"
#include "survey/scan.h"
#include "survey/team_list.h"

namespace koravel::app {

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

constexpr std::string_view kHelp =
    "Usage: koravel                      open the window\n"
    "       koravel --scan DIVISION [--save]\n"
    "       koravel --list | --help | --version\n"
    "\n"
    "  --scan DIVISION  fetch every team of DIVISION (a section of data.ini in the\n"
    "                   working folder) and print one tab-separated line per team:\n"
    "                   name, players, CoSP, aged 19, talent above 1, best talent\n"
    "  --save           after a complete scan, append the list to save.txt\n"
    "  --list           print the divisions of data.ini, in file order\n"
    "  --help           print this help\n"
    "  --version        print the version\n"
    "\n"
    "Exit status: 0 done, 1 the scan or the save failed, 2 usage, 130 interrupted.\n"
    "See koravel(1).\n";

// Raised by Ctrl-C; the scan and the running request both watch it.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int /*signal*/) { g_interrupted.store(true); }

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

// Unknown code pages pass the bytes through. A character the target lacks is spelt out
// where it can be (Cyrillic in Latin letters), otherwise it becomes "?".
std::string Recode(std::string_view text, const std::string& to, const std::string& from) {
    const iconv_t converter = iconv_open((to + "//TRANSLIT").c_str(), from.c_str());
    if (reinterpret_cast<std::intptr_t>(converter) == -1) return std::string(text);
    std::string result;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[512];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t room = sizeof buffer;
        const bool failed =
            iconv(converter, &in, &inLeft, &out, &room) == static_cast<std::size_t>(-1);
        result.append(buffer, out);
        if (failed && errno != E2BIG) {
            result += '?';
            ++in;
            --inLeft;
        }
    }
    char* out = buffer;
    std::size_t room = sizeof buffer;
    iconv(converter, nullptr, nullptr, &out, &room);
    result.append(buffer, out);
    iconv_close(converter);
    return result;
}

// Standard output and error in the locale's code page. Progress is drawn on standard
// error only when it is a terminal, and wiped before anything else is written.
class Console final {
public:
    Console() : m_codeset(nl_langinfo(CODESET)), m_progress(isatty(STDERR_FILENO) == 1) {}

    std::string local(std::string_view utf8) const {
        if (m_codeset == "UTF-8") return std::string(utf8);
        if (m_codeset == "CP1251") return common::Utf8ToCp1251(utf8);
        return Recode(utf8, m_codeset, "UTF-8");
    }
    std::string utf8(std::string_view local) const {
        if (m_codeset == "UTF-8") return std::string(local);
        if (m_codeset == "CP1251") return common::Cp1251ToUtf8(local);
        return Recode(local, "UTF-8", m_codeset);
    }

    // False when the line could not be written.
    bool out(std::string_view utf8Line) {
        wipeProgress();
        const std::string line = local(utf8Line) + "\n";
        return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
               std::fflush(stdout) == 0;
    }
    void error(std::string_view utf8Message) {
        wipeProgress();
        const std::string line = "koravel: " + local(utf8Message) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    void progress(std::size_t done, std::size_t total) {
        if (!m_progress) return;
        wipeProgress();
        std::fprintf(stderr, "%zu/%zu", done, total);
        m_progressShown = true;
    }
    void wipeProgress() {
        if (m_progressShown) std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }

private:
    std::string m_codeset;
    bool m_progress;
    bool m_progressShown = false;
};

enum class Action { None, Scan, List, Help, Version };

struct Arguments {
    Action action = Action::None;
    std::string division;  // as typed, in the locale's code page
    bool save = false;
    std::string usageError;  // UTF-8 for Console::error
};

Arguments Parse(const Console& console, int argc, char* argv[]) {
    Arguments args;
    const auto fail = [&args](std::string message) {
        args.usageError = std::move(message);
        return args;
    };
    const auto act = [&args](Action action) {
        const bool clash = args.action != Action::None && args.action != action;
        args.action = action;
        return !clash;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool single = true;
        if (arg == "--scan" || arg.starts_with("--scan=")) {
            if (arg == "--scan" && i + 1 == argc) return fail("option '--scan' needs a division");
            args.division = arg == "--scan" ? argv[++i] : arg.substr(7);
            single = act(Action::Scan);
        } else if (arg == "--save") {
            args.save = true;
        } else if (arg == "--list") {
            single = act(Action::List);
        } else if (arg == "--help" || arg == "-h") {
            single = act(Action::Help);
        } else if (arg == "--version") {
            single = act(Action::Version);
        } else {
            const std::string shown = console.utf8(arg);
            return fail(arg.starts_with('-') ? "unknown option '" + shown + "'"
                                             : "unexpected argument '" + shown + "'");
        }
        if (!single) return fail("give one of --scan, --list, --help and --version");
    }
    if (args.save && args.action != Action::Scan) return fail("--save goes with --scan");
    return args;
}

std::filesystem::path WorkingFolder() {
    std::error_code error;
    auto folder = std::filesystem::current_path(error);
    return error ? std::filesystem::path(".") : folder;
}

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

int List(Console& console) {
    const config::DivisionTable table(config::DataIniPath(WorkingFolder()));
    const std::vector<std::string> sections = table.sectionNames();
    const bool utf8 = table.isUtf8();
    for (const std::string& name : sections) {
        if (!console.out(utf8 ? name : common::Cp1251ToUtf8(name))) return kFailed;
    }
    return kDone;
}

int Scan(Console& console, const Arguments& args) {
    const std::filesystem::path folder = WorkingFolder();
    const config::DivisionTable table(config::DataIniPath(folder));
    const std::string typed = console.utf8(args.division);
    const std::string division = table.isUtf8() ? typed : common::Utf8ToCp1251(typed);
    if (!table.hasDivision(division)) {
        console.error("no division '" + typed + "' in data.ini (koravel --list shows them)");
        return kUsage;
    }
    const std::vector<std::int32_t> teamIds = table.teamIds(division);

    const config::SettingsStore store;
    const config::LoadedSettings loaded = store.load();
    // The window shows such an error and stops its start-up; here it ends the run.
    if (loaded.error) throw *loaded.error;
    const common::ProxySettings proxy = loaded.settings.value_or(common::ProxySettings{});
    const site::SiteAddress address{store.siteHost().value_or(site::DefaultSiteHost()), 80};

    CatchInterrupt();
    survey::TeamList list;
    std::size_t done = 0;
    std::int32_t current = 0;
    bool written = true;
    try {
        const bool complete = survey::RunScan(
            teamIds, LocaleDecimalSeparator(),
            [&](std::int32_t id) -> std::optional<std::string> {
                current = id;
                console.progress(done, teamIds.size());
                site::Reply reply = site::SendRosterRequest(
                    site::BuildRosterRequest(id, proxy, address), {}, &g_interrupted);
                if (reply.ok()) return std::move(reply.body);
                if (!g_interrupted)
                    console.error("Произошла ошибка: team " + std::to_string(id) + " (" +
                                  std::string(site::FailureName(*reply.failure)) + ")");
                return std::nullopt;
            },
            [&](survey::TeamRow&& row) {
                // A row cut short by a conversion error is no row; the error follows.
                if (row.subItems.size() + 1 < survey::kColumnCount) return;
                ++done;
                written = console.out(RowLine(row)) && written;
                list.push_back(std::move(row));
            },
            &g_interrupted);
        console.wipeProgress();
        if (!complete) return kInterrupted;
    } catch (const common::Error& error) {
        console.error(common::Cp1251ToUtf8(error.what()) + " (team " + std::to_string(current) +
                      ")");
        return kFailed;
    }
    if (!written) {
        console.error("cannot write the rows to standard output");
        return kFailed;
    }
    // A Ctrl-C that came just after the last team still keeps save.txt as it was.
    if (g_interrupted) return kInterrupted;
    if (args.save) survey::AppendReport(folder / "save.txt", list);
    return kDone;
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char* argv[]) {
    if (argc <= 1) return std::nullopt;
    // Only the code page: numbers never follow the C library's locale.
    std::setlocale(LC_CTYPE, "");
    Console console;
    const Arguments args = Parse(console, argc, argv);
    if (!args.usageError.empty()) {
        console.error(args.usageError + " (see koravel --help)");
        return kUsage;
    }
    try {
        switch (args.action) {
            case Action::Help:
                return console.out(std::string(kHelp.substr(0, kHelp.size() - 1))) ? kDone
                                                                                   : kFailed;
            case Action::Version:
                return console.out("koravel " KORAVEL_VERSION) ? kDone : kFailed;
            case Action::List:
                return List(console);
            case Action::Scan:
                return Scan(console, args);
            case Action::None:
                break;
        }
    } catch (const common::Error& error) {
        console.error(common::Cp1251ToUtf8(error.what()));
        return kFailed;
    } catch (const std::exception& error) {
        console.error(error.what());
        return kFailed;
    }
    console.error("nothing to do (see koravel --help)");
    return kUsage;
}

}  // namespace koravel::app
