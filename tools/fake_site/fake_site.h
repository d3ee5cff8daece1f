#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace koravel::tools {

using std::chrono::milliseconds;

// One scripted answer: `head` at once, then `tail` in pieces of `pieceSize` bytes every
// `interval`, `repeats` times (again and again while `endless`, until the client goes),
// then `holdOpen` of silence, then a close, or a reset when `reset` is set.
struct Answer {
    std::string head;
    std::string tail;
    std::size_t pieceSize = 0;  // 0: the tail in one piece
    milliseconds interval{0};
    std::size_t repeats = 1;
    bool endless = false;
    milliseconds holdOpen{0};
    bool reset = false;

    static Answer Raw(std::string bytes);
    // The bytes, then silence for `hold` (ended early when the client leaves).
    static Answer Silent(std::string bytes, milliseconds hold);
    // The head, then `piece` sent again and again until the client leaves.
    static Answer Endless(std::string head, std::string piece);
    // The head, then `piece` `times` over: a large answer that is never held whole.
    static Answer Repeated(std::string head, std::string piece, std::size_t times);
    // The head, then `piece` one byte per `interval`, repeated until the client leaves.
    static Answer Drip(std::string head, std::string piece, milliseconds interval);
    static Answer Reset(std::string bytes);
    // "HTTP/1.0 <status>", Content-Length and the body, then close.
    static Answer Http(std::string_view status, std::string_view body,
                       std::string_view extraHeaders = {});
};

// Team id -> page bytes, for the page mode.
using PageSource = std::function<std::string(std::int32_t teamId)>;

// The demo team of the id, as a roster page.
std::string DemoPage(std::int32_t teamId);

// A stand-in for the game site on 127.0.0.1. Every request is read whole (headers, then
// Content-Length body bytes) and recorded as received; the answer comes from the script,
// in order, or in page mode from a generated roster page for the id in the target, in
// origin form or absolute form alike, so it serves as a proxy too. Each connection has a
// thread of its own; the destructor ends them all.
class FakeSite final {
public:
    explicit FakeSite(std::uint16_t port = 0);
    ~FakeSite();
    FakeSite(const FakeSite&) = delete;
    FakeSite& operator=(const FakeSite&) = delete;

    std::uint16_t port() const { return m_port; }
    static std::string host() { return "127.0.0.1"; }

    // Scripted mode: answers go out in the order pushed. A connection that finds the
    // script empty is closed unanswered.
    void push(Answer answer);
    // Page mode: "HTTP/1.0 200 OK" with the page for the target's id; 404 for other targets.
    void servePages(PageSource source = DemoPage);
    // In page mode, this id gets `answer` instead of its page.
    void overrideTeam(std::int32_t teamId, Answer answer);

    std::vector<std::string> requests() const;
    // Drops the recorded requests, so a long-running client (a fuzzer) keeps memory flat.
    void forgetRequests();
    std::size_t connections() const;
    // Waits until `count` requests are in; false when `timeout` passed first.
    bool waitForRequests(std::size_t count, milliseconds timeout) const;
    // Waits until clients have hung up on `count` answers before their end; false when
    // `timeout` passed first.
    bool waitForHangUps(std::size_t count, milliseconds timeout) const;
    // Waits until no connection is being served; false when `timeout` passed first.
    bool waitUntilIdle(milliseconds timeout) const;

private:
    struct Worker {
        std::thread thread;
        bool done = false;
    };

    enum class Link { Open, ClientLeft, Stopping };

    void acceptLoop();
    void serve(int fd, Worker& worker);
    Answer answerFor(const std::string& request);
    Link play(int fd, const Answer& answer) const;
    Link sendAll(int fd, std::string_view bytes) const;
    Link waitQuiet(int fd, milliseconds duration) const;
    void reapFinished();

    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::uint16_t m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<Answer> m_script;
    std::optional<PageSource> m_pages;
    std::map<std::int32_t, Answer> m_overrides;
    std::vector<std::string> m_requests;
    std::size_t m_connections = 0;
    std::size_t m_hangUps = 0;
    std::list<Worker> m_workers;
    std::thread m_acceptor;
};

// A loopback port that never completes a connection: its accept queue is kept full and
// never drained, so Linux drops the SYN of every further connect, which hangs until the
// client gives up. For connect bounds and for cancelling a request that is connecting.
class FullBacklog final {
public:
    FullBacklog();
    ~FullBacklog();
    FullBacklog(const FullBacklog&) = delete;
    FullBacklog& operator=(const FullBacklog&) = delete;

    std::uint16_t port() const { return m_port; }

private:
    int m_listenFd = -1;
    std::vector<int> m_fillers;
    std::uint16_t m_port = 0;
};

// The team id of a roster target ("/xml/school/roster.php?id=N" or "http://host:port" in
// front of it); nullopt for anything else.
std::optional<std::int32_t> RosterTargetId(std::string_view target);

}  // namespace koravel::tools
