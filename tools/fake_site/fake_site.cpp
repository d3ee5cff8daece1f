#include "tools/fake_site/fake_site.h"

#include <algorithm>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "tools/fake_site/roster_page.h"

namespace koravel::tools {
namespace {

using Clock = std::chrono::steady_clock;

// The few calls that differ between BSD sockets and Winsock, so that the tests that
// cross-build for Windows have their site too. Descriptors stay ints on both.
#ifdef _WIN32
constexpr int kNoSignal = 0;
constexpr int kShutWrite = SD_SEND;

struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

int OpenSocket(bool nonBlocking = false) {
    static const Winsock started;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return -1;
    u_long on = nonBlocking ? 1 : 0;
    ::ioctlsocket(s, FIONBIO, &on);
    return static_cast<int>(s);
}
void CloseSocket(int fd) { ::closesocket(static_cast<SOCKET>(fd)); }
int Poll(pollfd* fds, int count, int timeout) {
    return ::WSAPoll(fds, static_cast<ULONG>(count), timeout);
}
bool WouldBlock() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }
bool Interrupted() { return false; }
int Accept(int listener) {
    const SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) return -1;
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
    return static_cast<int>(s);
}
// A connected loopback pair stands in for a pipe, which WSAPoll cannot watch.
bool WakePair(int ends[2]) {
    const int listener = OpenSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    ends[1] = OpenSocket();
    const bool ok =
        ::connect(ends[1], reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        (ends[0] = Accept(listener)) >= 0;
    CloseSocket(listener);
    return ok;
}
void Wake(int fd) { ::send(fd, "x", 1, 0); }
#else
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kShutWrite = SHUT_WR;

int OpenSocket(bool nonBlocking = false) {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}
void CloseSocket(int fd) { ::close(fd); }
int Poll(pollfd* fds, int count, int timeout) {
    return ::poll(fds, static_cast<nfds_t>(count), timeout);
}
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
bool Interrupted() { return errno == EINTR; }
int Accept(int listener) {
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
}
bool WakePair(int ends[2]) { return ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0; }
void Wake(int fd) { [[maybe_unused]] const auto written = ::write(fd, "x", 1); }
#endif

// A client that stops sending halfway through its request is given up on after this.
constexpr milliseconds kReadPatience{5000};
constexpr std::size_t kMaxRequest = 1u << 20;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Where the header block ends (just past its empty line), or npos.
std::size_t HeaderEnd(std::string_view bytes) {
    for (std::size_t i = bytes.find('\n'); i != std::string_view::npos;
         i = bytes.find('\n', i + 1)) {
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') return i + 2;
        if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
    }
    return std::string_view::npos;
}

std::size_t ContentLength(std::string_view head) {
    std::size_t pos = 0;
    while (pos < head.size()) {
        const std::size_t eol = std::min(head.find('\n', pos), head.size());
        const std::string_view line = head.substr(pos, eol - pos);
        if (StartsWithNoCase(line, "content-length:")) {
            std::string_view value = line.substr(15);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            std::size_t length = 0;
            std::from_chars(value.data(), value.data() + value.size(), length);
            return length;
        }
        pos = eol + 1;
    }
    return 0;
}

std::string_view RequestTarget(std::string_view request) {
    const std::size_t first = request.find(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t second = request.find_first_of(" \r\n", first + 1);
    if (second == std::string_view::npos) return {};
    return request.substr(first + 1, second - first - 1);
}

}  // namespace

Answer Answer::Raw(std::string bytes) {
    Answer answer;
    answer.head = std::move(bytes);
    return answer;
}

Answer Answer::Silent(std::string bytes, milliseconds hold) {
    Answer answer = Raw(std::move(bytes));
    answer.holdOpen = hold;
    return answer;
}

Answer Answer::Endless(std::string head, std::string piece) {
    Answer answer = Raw(std::move(head));
    answer.tail = std::move(piece);
    answer.endless = true;
    return answer;
}

Answer Answer::Repeated(std::string head, std::string piece, std::size_t times) {
    Answer answer = Raw(std::move(head));
    answer.tail = std::move(piece);
    answer.repeats = times;
    return answer;
}

Answer Answer::Drip(std::string head, std::string piece, milliseconds interval) {
    Answer answer = Endless(std::move(head), std::move(piece));
    answer.pieceSize = 1;
    answer.interval = interval;
    return answer;
}

Answer Answer::Reset(std::string bytes) {
    Answer answer = Raw(std::move(bytes));
    answer.reset = true;
    return answer;
}

Answer Answer::Http(std::string_view status, std::string_view body, std::string_view extraHeaders) {
    std::string bytes = "HTTP/1.0 ";
    bytes.append(status).append("\r\nContent-Length: ").append(std::to_string(body.size()));
    bytes.append("\r\n").append(extraHeaders).append("\r\n").append(body);
    return Raw(std::move(bytes));
}

std::string DemoPage(std::int32_t teamId) { return MakeRosterPage(DemoTeam(teamId)); }

std::optional<std::int32_t> RosterTargetId(std::string_view target) {
    constexpr std::string_view kScheme = "http://";
    constexpr std::string_view kPath = "/xml/school/roster.php?id=";
    if (target.substr(0, kScheme.size()) == kScheme) {
        const std::size_t slash = target.find('/', kScheme.size());
        if (slash == std::string_view::npos) return std::nullopt;
        target.remove_prefix(slash);
    }
    if (target.substr(0, kPath.size()) != kPath) return std::nullopt;
    target.remove_prefix(kPath.size());
    std::int32_t id = 0;
    const auto [end, error] = std::from_chars(target.data(), target.data() + target.size(), id);
    if (error != std::errc() || end != target.data() + target.size()) return std::nullopt;
    return id;
}

FakeSite::FakeSite(std::uint16_t port) {
    int wake[2];
    if (!WakePair(wake)) throw std::runtime_error("fake site: no wake-up pair");
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];

    m_listenFd = OpenSocket();
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                 sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 128) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string reason = "fake site: cannot listen on port " + std::to_string(port);
        if (m_listenFd >= 0) CloseSocket(m_listenFd);
        CloseSocket(m_wakeRead);
        CloseSocket(m_wakeWrite);
        throw std::runtime_error(reason);
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread(&FakeSite::acceptLoop, this);
}

FakeSite::~FakeSite() {
    // Never drained, so every poll from now on sees it and returns.
    Wake(m_wakeWrite);
    m_acceptor.join();
    for (Worker& worker : m_workers) worker.thread.join();
    CloseSocket(m_listenFd);
    CloseSocket(m_wakeRead);
    CloseSocket(m_wakeWrite);
}

void FakeSite::push(Answer answer) {
    const std::lock_guard lock(m_mutex);
    m_script.push_back(std::move(answer));
}

void FakeSite::servePages(PageSource source) {
    const std::lock_guard lock(m_mutex);
    m_pages = std::move(source);
}

void FakeSite::overrideTeam(std::int32_t teamId, Answer answer) {
    const std::lock_guard lock(m_mutex);
    m_overrides.insert_or_assign(teamId, std::move(answer));
}

std::vector<std::string> FakeSite::requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

void FakeSite::forgetRequests() {
    const std::lock_guard lock(m_mutex);
    m_requests.clear();
}

std::size_t FakeSite::connections() const {
    const std::lock_guard lock(m_mutex);
    return m_connections;
}

bool FakeSite::waitForRequests(std::size_t count, milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

bool FakeSite::waitForHangUps(std::size_t count, milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_hangUps >= count; });
}

bool FakeSite::waitUntilIdle(milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        return std::all_of(m_workers.begin(), m_workers.end(),
                           [](const Worker& worker) { return worker.done; });
    });
}

void FakeSite::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        if (Poll(fds, 2, -1) < 0) {
            if (Interrupted()) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        const int fd = Accept(m_listenFd);
        if (fd < 0) continue;
        reapFinished();
        const std::lock_guard lock(m_mutex);
        ++m_connections;
        Worker& worker = m_workers.emplace_back();
        worker.thread = std::thread(&FakeSite::serve, this, fd, std::ref(worker));
    }
}

void FakeSite::reapFinished() {
    std::list<Worker> finished;
    {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            const auto next = std::next(it);
            if (it->done) finished.splice(finished.end(), m_workers, it);
            it = next;
        }
    }
    for (Worker& worker : finished) worker.thread.join();
}

FakeSite::Link FakeSite::sendAll(int fd, std::string_view bytes) const {
    while (!bytes.empty()) {
        const auto sent =
            ::send(fd, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)),
                   kNoSignal);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && !WouldBlock() && !Interrupted()) return Link::ClientLeft;
        pollfd fds[2] = {{fd, POLLOUT, 0}, {m_wakeRead, POLLIN, 0}};
        if (Poll(fds, 2, -1) < 0 && !Interrupted()) return Link::ClientLeft;
        if (fds[1].revents != 0) return Link::Stopping;
        if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) return Link::ClientLeft;
    }
    return Link::Open;
}

// Sits on the connection for `duration`, throwing away anything that comes.
FakeSite::Link FakeSite::waitQuiet(int fd, milliseconds duration) const {
    const auto until = Clock::now() + duration;
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
        if (left.count() <= 0) return Link::Open;
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        const int ready = Poll(fds, 2, static_cast<int>(left.count()) + 1);
        if (ready < 0 && !Interrupted()) return Link::ClientLeft;
        if (fds[1].revents != 0) return Link::Stopping;
        if (fds[0].revents != 0) {
            char sink[4096];
            const auto got = ::recv(fd, sink, sizeof sink, 0);
            if (got == 0 || (got < 0 && !WouldBlock() && !Interrupted())) return Link::ClientLeft;
        }
    }
}

FakeSite::Link FakeSite::play(int fd, const Answer& answer) const {
    Link link = sendAll(fd, answer.head);
    const std::size_t piece = answer.pieceSize == 0 ? answer.tail.size() : answer.pieceSize;
    std::size_t round = 0;
    do {
        for (std::size_t at = 0; link == Link::Open && at < answer.tail.size(); at += piece) {
            link = sendAll(fd, std::string_view(answer.tail).substr(at, piece));
            if (link == Link::Open && answer.interval.count() > 0) {
                link = waitQuiet(fd, answer.interval);
            }
        }
    } while (link == Link::Open && !answer.tail.empty() &&
             (answer.endless || ++round < answer.repeats));
    if (link == Link::Open && answer.holdOpen.count() > 0) link = waitQuiet(fd, answer.holdOpen);
    return link;
}

Answer FakeSite::answerFor(const std::string& request) {
    std::unique_lock lock(m_mutex);
    if (!m_pages) {
        if (m_script.empty()) return Answer{};
        Answer answer = std::move(m_script.front());
        m_script.pop_front();
        return answer;
    }
    const std::optional<std::int32_t> id = RosterTargetId(RequestTarget(request));
    if (!id) return Answer::Http("404 Not Found", "");
    if (const auto found = m_overrides.find(*id); found != m_overrides.end()) {
        return found->second;
    }
    const PageSource source = *m_pages;
    lock.unlock();
    return Answer::Http("200 OK", source(*id), "Content-Type: text/html; charset=windows-1251\r\n");
}

void FakeSite::serve(int fd, Worker& worker) {
    std::string request;
    std::size_t wanted = std::string::npos;  // total request size, once the headers are in
    auto lastByte = Clock::now();
    bool stopping = false;
    while (request.size() < std::min(wanted, kMaxRequest)) {
        const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - lastByte);
        if (waited >= kReadPatience) break;
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        if (Poll(fds, 2, static_cast<int>((kReadPatience - waited).count())) < 0 && !Interrupted())
            break;
        if (fds[1].revents != 0) {
            stopping = true;
            break;
        }
        if (fds[0].revents == 0) continue;
        char buffer[16384];
        const auto got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && (WouldBlock() || Interrupted())) continue;
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
        lastByte = Clock::now();
        if (wanted == std::string::npos) {
            if (const std::size_t end = HeaderEnd(request); end != std::string::npos) {
                wanted = end + ContentLength(std::string_view(request).substr(0, end));
            }
        }
    }
    if (!request.empty()) {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        m_changed.notify_all();
    }

    Link link = stopping ? Link::Stopping : Link::Open;
    if (!stopping) {
        const Answer answer = answerFor(request);
        link = play(fd, answer);
        if (answer.reset) {
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                         sizeof abort);
        } else {
            ::shutdown(fd, kShutWrite);
        }
    }
    CloseSocket(fd);
    const std::lock_guard lock(m_mutex);
    if (link == Link::ClientLeft) ++m_hangUps;
    worker.done = true;
    m_changed.notify_all();
}

FullBacklog::FullBacklog() {
    m_listenFd = OpenSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // A backlog of 0 still queues one connection; two fillers leave no doubt.
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 0) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listenFd >= 0) CloseSocket(m_listenFd);
        throw std::runtime_error("full backlog: cannot listen");
    }
    m_port = ntohs(address.sin_port);
    for (int i = 0; i < 2; ++i) {
        const int fd = OpenSocket(true);
        if (fd < 0) continue;
        m_fillers.push_back(fd);
        // Non-blocking: EINPROGRESS is the expected answer; the poll below waits it out.
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    // The first filler must stand in the queue before anyone relies on it being full.
    if (!m_fillers.empty()) {
        pollfd first{m_fillers.front(), POLLOUT, 0};
        Poll(&first, 1, 1000);
    }
}

FullBacklog::~FullBacklog() {
    for (const int fd : m_fillers) CloseSocket(fd);
    CloseSocket(m_listenFd);
}

}  // namespace koravel::tools
