// koravel.com, the console twin of koravel.exe. cmd.exe and PowerShell take .com before
// .exe, and they wait only for a console program: this one runs koravel.exe (a window
// program, so that no console flashes up when the window opens) with the same arguments
// and handles, in this console, and hands back its exit status.
#include <windows.h>

#include <string>

int main() {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return 1;
    std::wstring program(self, length);
    program.replace(program.size() - 4, 4, L".exe");

    // The command line after this program's own name, as it was typed.
    std::wstring_view rest = GetCommandLineW();
    bool quoted = false;
    while (!rest.empty() && (quoted || (rest.front() != L' ' && rest.front() != L'\t'))) {
        if (rest.front() == L'"') quoted = !quoted;
        rest.remove_prefix(1);
    }
    std::wstring line = L"\"" + program + L"\"" + std::wstring(rest);

    // Ctrl-C reaches both; the window program acts on it, this one waits for it to end.
    SetConsoleCtrlHandler(nullptr, TRUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &child) == 0)
        return 1;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(status);
}
