#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace koravel::common {

// Text that cannot drive a terminal: control characters (C0 but tab, DEL, and C1
// U+0080..U+009F) become "\x1b"-style escapes and the bidirectional overrides and
// isolates (U+202A..U+202E, U+2066..U+2069) "\u202e"-style ones. UTF-8 in and out;
// bytes that are not UTF-8 are escaped too.
std::string VisibleEscapes(std::string_view utf8);

// The program's standard output and error as text: UTF-8 in, the console's code page
// out (UTF-8 under the C and POSIX locales). What goes to a terminal, and every message
// on standard error, is passed through VisibleEscapes. Progress is drawn on standard
// error only when that is a terminal, and wiped before anything else is written.
class Console final {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One line on standard output; false when it could not be written whole.
    bool out(std::string_view utf8Line);
    // Bytes on standard output as they are (JSON, always UTF-8); false on a failed write.
    bool outRaw(std::string_view bytes);
    // One message on standard error, after "koravel: "; false on a failed write.
    bool error(std::string_view utf8Message);
    void progress(std::size_t done, std::size_t total);
    void wipeProgress();

    // Text in the console's code page (as arguments arrive) as UTF-8.
    std::string toUtf8(std::string_view local) const;

private:
    struct Channels;
    std::unique_ptr<Channels> m_channels;
    bool m_progressShown = false;
};

// The program's arguments, without the program's name, as UTF-8 (from the wide command
// line on Windows, from the locale's code page elsewhere; UTF-8 as they are under the C
// and POSIX locales).
std::vector<std::string> ProgramArguments(int argc, char* argv[], const Console& console);

// Lets Ctrl-C raise the returned flag instead of ending the process (SIGINT, or the
// console's Ctrl-C and Ctrl-Break on Windows). Call once.
const std::atomic<bool>& CatchInterrupt();

}  // namespace koravel::common
