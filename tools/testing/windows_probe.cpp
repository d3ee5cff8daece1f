// What scripts/test-windows needs of Windows that a shell under wine cannot do:
//   windows_probe hold FILE SECONDS         opens FILE without sharing it, as a spreadsheet
//                                           does, says "held" and keeps it that long
//   windows_probe interrupt MS PROGRAM ...  runs PROGRAM in this console, presses Ctrl-C
//                                           after MS, and ends with PROGRAM's status
//   windows_probe orphan MS PROGRAM ...     runs PROGRAM (the console twin), ends it after
//                                           MS the way the task manager does, and ends
//                                           with 0 when nothing it started outlives it
#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

BOOL WINAPI IgnoreControl(DWORD) { return TRUE; }

PROCESS_INFORMATION Start(int argc, wchar_t** argv) {
    std::wstring line;
    for (int i = 0; i < argc; ++i) line += (i > 0 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &child) == 0) {
        std::fprintf(stderr, "windows_probe: cannot start %ls (%lu)\n", argv[0], GetLastError());
        ExitProcess(99);
    }
    return child;
}

std::vector<DWORD> ChildrenOf(DWORD parent) {
    std::vector<DWORD> children;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent) children.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return children;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"hold" && argc == 4) {
        const HANDLE file = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(_wtoi(argv[3])) * 1000);
        return 0;
    }
    if ((mode == L"interrupt" || mode == L"orphan") && argc > 3) {
        SetConsoleCtrlHandler(&IgnoreControl, TRUE);
        const PROCESS_INFORMATION child = Start(argc - 3, argv + 3);
        Sleep(static_cast<DWORD>(_wtoi(argv[2])));
        if (mode == L"interrupt") {
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            WaitForSingleObject(child.hProcess, 30000);
            DWORD status = 99;
            GetExitCodeProcess(child.hProcess, &status);
            return static_cast<int>(status);
        }
        std::vector<HANDLE> started;
        for (const DWORD id : ChildrenOf(child.dwProcessId))
            if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id))
                started.push_back(process);
        TerminateProcess(child.hProcess, 1);
        if (started.empty()) return 2;
        return WaitForMultipleObjects(static_cast<DWORD>(started.size()), started.data(), TRUE,
                                      5000) == WAIT_TIMEOUT;
    }
    std::fprintf(stderr,
                 "usage: windows_probe hold FILE SECONDS | interrupt MS PROGRAM ... | "
                 "orphan MS PROGRAM ...\n");
    return 2;
}
