#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cerrno>
#include <system_error>

#include "common/code_page.h"
#include "common/console.h"

namespace koravel::common {

namespace {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string Narrow(std::wstring_view wide, UINT codePage) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

// Every line ends so on Windows, whatever the command.
std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\n' && (at == 0 || text[at - 1] != '\r')) out += '\r';
        out += text[at];
    }
    return out;
}

// The C runtime's error number for what the system said, for the callers' strerror: a
// broken pipe reads as one.
void SetErrno(DWORD error) {
    const std::error_condition meaning =
        std::system_category().default_error_condition(static_cast<int>(error));
    errno = meaning.category() == std::generic_category() ? meaning.value() : EIO;
}

// One of the standard handles. A console gets UTF-16, so every letter shows whatever
// its code page. Anything else (a file, a pipe) gets UTF-8, for every command alike:
// no code page holds every name, and the console's (CP866 in cmd.exe) would differ
// from the system's (without a console) for the same command.
struct Channel {
    HANDLE handle;
    bool console;

    explicit Channel(DWORD which) : handle(GetStdHandle(which)) {
        DWORD mode = 0;
        console = handle != nullptr && handle != INVALID_HANDLE_VALUE &&
                  GetConsoleMode(handle, &mode) != 0;
    }

    bool write(std::string_view utf8) const {
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
            errno = EBADF;
            return false;
        }
        const std::string text = WithCrLf(utf8);
        DWORD done = 0;
        if (console) {
            const std::wstring wide = Wide(text);
            if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &done,
                              nullptr) != 0)
                return true;
            SetErrno(GetLastError());
            return false;
        }
        for (std::string_view rest = text; !rest.empty(); rest.remove_prefix(done)) {
            if (WriteFile(handle, rest.data(), static_cast<DWORD>(rest.size()), &done, nullptr) ==
                0) {
                SetErrno(GetLastError());
                return false;
            }
            if (done == 0) {
                errno = EIO;
                return false;
            }
        }
        return true;
    }
};

std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_interrupted.store(true);
    return TRUE;
}

// Started from the console twin (koravel.com) or a console of its own: output goes there.
bool JoinParentConsole() { return AttachConsole(ATTACH_PARENT_PROCESS) != 0; }

}  // namespace

struct Console::Channels {
    bool attached = JoinParentConsole();
    Channel out{STD_OUTPUT_HANDLE};
    Channel err{STD_ERROR_HANDLE};
};

Console::Console() : m_channels(std::make_unique<Channels>()) {}

Console::~Console() = default;

std::string Console::toUtf8(std::string_view local) const {
    const int size =
        MultiByteToWideChar(CP_ACP, 0, local.data(), static_cast<int>(local.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, local.data(), static_cast<int>(local.size()), wide.data(), size);
    return Narrow(wide, CP_UTF8);
}

bool Console::out(std::string_view utf8Line) {
    wipeProgress();
    const Channel& out = m_channels->out;
    return out.write((out.console ? VisibleEscapes(utf8Line) : std::string(utf8Line)) + "\n");
}

bool Console::outRaw(std::string_view bytes) {
    wipeProgress();
    return m_channels->out.write(bytes);
}

bool Console::error(std::string_view utf8Message) {
    wipeProgress();
    return m_channels->err.write("koravel: " + VisibleEscapes(utf8Message) + "\n");
}

void Console::progress(std::size_t done, std::size_t total) {
    if (!m_channels->err.console) return;
    wipeProgress();
    m_channels->err.write(std::to_string(done) + "/" + std::to_string(total));
    m_progressShown = true;
}

void Console::wipeProgress() {
    // The console may not take escape sequences: blanks over the progress instead.
    if (m_progressShown) m_channels->err.write("\r                    \r");
    m_progressShown = false;
}

std::vector<std::string> ProgramArguments(int, char*[], const Console&) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Narrow(wide[i], CP_UTF8));
    LocalFree(wide);
    return arguments;
}

const std::atomic<bool>& CatchInterrupt() {
    SetConsoleCtrlHandler(&OnControl, TRUE);
    return g_interrupted;
}

}  // namespace koravel::common
