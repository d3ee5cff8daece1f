// koravel.com, the console twin of koravel.exe. cmd.exe and PowerShell take .com before
// .exe, and they wait only for a console program: this one runs koravel.exe (a window
// program, so that no console flashes up when the window opens) with the same arguments
// and handles, in this console, and hands back its exit status.
#include <windows.h>

#include <string>

namespace {

// Its own, so that a script tells "the twin could not run koravel.exe" from any status
// of koravel.exe (125, as env and xargs use it).
constexpr int kCannotRun = 125;

std::wstring SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return message.empty() ? L"error " + std::to_wstring(error) : message;
}

int CannotRun(const wchar_t* what, const std::wstring& program) {
    const std::wstring message = L"koravel: cannot " + std::wstring(what) + L" " + program + L": " +
                                 SystemText(GetLastError()) + L"\r\n";
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(err, &mode) != 0) {
        WriteConsoleW(err, message.data(), static_cast<DWORD>(message.size()), &done, nullptr);
    } else {
        // The same rule as koravel.exe's: UTF-8 wherever it is not a console.
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, message.data(), static_cast<int>(message.size()),
                                nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, message.data(), static_cast<int>(message.size()),
                            bytes.data(), size, nullptr, nullptr);
        WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    }
    return kCannotRun;
}

// This program's own path, however long.
std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Ctrl-C and Ctrl-Break reach koravel.exe too, which acts on them; this one waits for it
// to end. A handler, not SetConsoleCtrlHandler(nullptr, TRUE): that would be inherited
// and keep the events from koravel.exe as well.
BOOL WINAPI IgnoreControl(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

}  // namespace

int main() {
    std::wstring program = OwnPath();
    if (program.size() < 4) return CannotRun(L"find", L"koravel.exe");
    program.replace(program.size() - 4, 4, L".exe");

    // The command line after this program's own name, as it was typed.
    std::wstring_view rest = GetCommandLineW();
    bool quoted = false;
    while (!rest.empty() && (quoted || (rest.front() != L' ' && rest.front() != L'\t'))) {
        if (rest.front() == L'"') quoted = !quoted;
        rest.remove_prefix(1);
    }
    std::wstring line = L"\"" + program + L"\"" + std::wstring(rest);

    SetConsoleCtrlHandler(&IgnoreControl, TRUE);
    // koravel.exe ends with this program, whatever ends it (Ctrl-Break, a closed console,
    // the task manager), and never writes after the prompt has come back. Where no job
    // can be had (a system that refuses nested jobs), it runs all the same.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                       nullptr, nullptr, &startup, &child) == 0)
        return CannotRun(L"start", program);
    if (job != nullptr) AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = kCannotRun;
    if (GetExitCodeProcess(child.hProcess, &status) == 0) return CannotRun(L"wait for", program);
    return static_cast<int>(status);
}
