#include <iconv.h>
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>

#include "common/code_page.h"
#include "common/console.h"

namespace koravel::common {

namespace {

// One iconv conversion, owned. A code page iconv does not know passes the bytes through.
// A character the target lacks is spelt out where it can be (Cyrillic in Latin letters),
// otherwise it becomes "?".
class Recoder final {
public:
    Recoder(const std::string& to, const std::string& from)
        : m_handle(iconv_open((to + "//TRANSLIT").c_str(), from.c_str())) {}
    ~Recoder() {
        if (valid()) iconv_close(m_handle);
    }
    Recoder(const Recoder&) = delete;
    Recoder& operator=(const Recoder&) = delete;

    std::string operator()(std::string_view text) const {
        if (!valid()) return std::string(text);
        std::string result;
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char buffer[512];
        const auto drain = [&](bool flush) {
            char* out = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t done = flush ? iconv(m_handle, nullptr, nullptr, &out, &room)
                                           : iconv(m_handle, &in, &inLeft, &out, &room);
            result.append(buffer, out);
            return done != static_cast<std::size_t>(-1) || errno == E2BIG;
        };
        while (inLeft > 0) {
            if (!drain(false)) {
                result += '?';
                ++in;
                --inLeft;
            }
        }
        drain(true);
        return result;
    }

private:
    bool valid() const { return reinterpret_cast<std::intptr_t>(m_handle) != -1; }

    iconv_t m_handle;
};

bool WriteAll(std::FILE* stream, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
           std::fflush(stream) == 0;
}

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int /*signal*/) { g_interrupted.store(true); }

// Only the code page: numbers never follow the C library's locale. The C and POSIX
// locales (cron, env -i) chose no code page at all; there, as Python does since 3.7,
// arguments and output are UTF-8, so that every division can be named and listed.
std::string LocaleCodeset() {
    std::setlocale(LC_CTYPE, "");
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string name = current != nullptr ? current : "C";
    return name == "C" || name == "POSIX" ? "UTF-8" : nl_langinfo(CODESET);
}

}  // namespace

struct Console::Channels {
    std::string codeset = LocaleCodeset();
    bool utf8 = codeset == "UTF-8";
    Recoder toLocal{codeset, "UTF-8"};
    Recoder fromLocal{"UTF-8", codeset};
    bool outTerminal = isatty(STDOUT_FILENO) == 1;
    bool errTerminal = isatty(STDERR_FILENO) == 1;

    std::string local(std::string_view utf8Text) const {
        if (utf8) return std::string(utf8Text);
        if (codeset == "CP1251") return Utf8ToCp1251(utf8Text);
        return toLocal(utf8Text);
    }
};

Console::Console() : m_channels(std::make_unique<Channels>()) {}

Console::~Console() = default;

std::string Console::toUtf8(std::string_view local) const {
    if (m_channels->utf8) return std::string(local);
    if (m_channels->codeset == "CP1251") return Cp1251ToUtf8(local);
    return m_channels->fromLocal(local);
}

bool Console::out(std::string_view utf8Line) {
    wipeProgress();
    const std::string text =
        m_channels->outTerminal ? VisibleEscapes(utf8Line) : std::string(utf8Line);
    return WriteAll(stdout, m_channels->local(text) + "\n");
}

bool Console::outRaw(std::string_view bytes) {
    wipeProgress();
    return WriteAll(stdout, bytes);
}

bool Console::error(std::string_view utf8Message) {
    wipeProgress();
    return WriteAll(stderr, "koravel: " + m_channels->local(VisibleEscapes(utf8Message)) + "\n");
}

void Console::progress(std::size_t done, std::size_t total) {
    if (!m_channels->errTerminal) return;
    wipeProgress();
    WriteAll(stderr, std::to_string(done) + "/" + std::to_string(total));
    m_progressShown = true;
}

void Console::wipeProgress() {
    if (m_progressShown) WriteAll(stderr, "\r\033[K");
    m_progressShown = false;
}

std::vector<std::string> ProgramArguments(int argc, char* argv[], const Console& console) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(console.toUtf8(argv[i]));
    return arguments;
}

const std::atomic<bool>& CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    return g_interrupted;
}

}  // namespace koravel::common
