#include "site/transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace koravel::site {
namespace {

using Clock = std::chrono::steady_clock;

// The flag may be raised from a signal handler, which allows only lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free);

// How often a running request looks at the cancel flag and its own time bounds.
constexpr std::chrono::milliseconds kCheckEvery{100};

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct MultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

// An easy handle's stay in a multi handle; it must leave before either is cleaned up.
class Attachment final {
public:
    Attachment(CURLM* multi, CURL* easy)
        : m_multi(multi), m_easy(curl_multi_add_handle(multi, easy) == CURLM_OK ? easy : nullptr) {}
    ~Attachment() {
        if (m_easy != nullptr) curl_multi_remove_handle(m_multi, m_easy);
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    explicit operator bool() const { return m_easy != nullptr; }

private:
    CURLM* m_multi;
    CURL* m_easy;
};

class HeaderList final {
public:
    HeaderList() = default;
    ~HeaderList() { curl_slist_free_all(m_list); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;

    bool append(const std::string& line) {
        curl_slist* grown = curl_slist_append(m_list, line.c_str());
        if (grown == nullptr) return false;
        m_list = grown;
        return true;
    }
    curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

// What one exchange has seen so far; the callbacks refuse the answer the moment it breaks
// a rule, so nothing of a failed answer is kept or waited for, and say why in `refused`
// (curl itself reports only that a callback refused).
struct Exchange {
    explicit Exchange(const Limits& l) : limits(l) {}

    const Limits& limits;
    AnswerHead head;
    std::string body;
    bool connected = false;
    bool inBody = false;
    Clock::time_point lastReceived;
    std::optional<Failure> refused;
};

std::size_t Refuse(Exchange& ex, Failure why) {
    ex.refused = why;
    return 0;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    ex.lastReceived = Clock::now();
    if (ex.inBody) return n;  // trailers of a chunked body
    switch (ex.head.line({data, n})) {
        case AnswerHead::Verdict::More:
            return n;
        case AnswerHead::Verdict::Body:
            ex.inBody = true;
            return n;
        case AnswerHead::Verdict::Refused:
            break;
    }
    return Refuse(ex, ex.head.failure().value_or(Failure::Malformed));
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    ex.lastReceived = Clock::now();
    if (n > ex.limits.maxBody - ex.body.size()) return Refuse(ex, Failure::TooLarge);
    ex.body.append(data, n);
    return n;
}

// The idle bound starts once the connection stands; before that the connect bound holds.
int OnConnected(void* user, char*, char*, int, int) {
    auto& ex = *static_cast<Exchange*>(user);
    ex.connected = true;
    ex.lastReceived = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Why curl gave up, where no callback of ours refused first.
Failure FailureOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return Failure::NameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return Failure::ConnectionRefused;
        case CURLE_OPERATION_TIMEDOUT:  // the connect bound is the only one curl keeps
            return Failure::ConnectTimeout;
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return Failure::CutShort;
        default:
            return Failure::Malformed;
    }
}

bool Configure(CURL* easy, const RosterRequest& request, const HeaderList& headers, Exchange& ex) {
    const std::string port = std::to_string(request.connectPort);
    std::string url;
    std::string proxy;  // empty: no proxy, whatever the environment says
    if (request.viaProxy) {
        url = request.target;
        proxy = "http://" + request.connectHost + ":" + port;
    } else {
        url = "http://" + request.connectHost + ":" + port + request.target;
    }
    // curl reads 0 as its own default of minutes, so the shortest bound is 1 ms.
    const long connectMs = std::max<long>(1, static_cast<long>(ex.limits.connect.count()));

    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_PROXY, proxy.c_str());
    set(CURLOPT_NOPROXY, "");
    set(CURLOPT_PROTOCOLS_STR, "http");
    set(CURLOPT_REQUEST_TARGET, request.target.c_str());
    set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    set(CURLOPT_POSTFIELDS, request.body.data());
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_FRESH_CONNECT, 1L);
    set(CURLOPT_FORBID_REUSE, 1L);
    set(CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_HEADERDATA, &ex);
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    set(CURLOPT_WRITEDATA, &ex);
    set(CURLOPT_PREREQFUNCTION, &OnConnected);
    set(CURLOPT_PREREQDATA, &ex);
    return ok;
}

}  // namespace

std::string Reply::reason() const {
    return failure ? FailureReason(*failure, status, viaProxy) : std::string();
}

Reply SendRosterRequest(const RosterRequest& request, const Limits& limits,
                        const std::atomic<bool>* cancel) {
    Exchange ex(limits);
    const auto failed = [&](Failure f) { return Reply{{}, f, ex.head.status(), request.viaProxy}; };
    const auto cancelled = [cancel] {
        return cancel != nullptr && cancel->load(std::memory_order_relaxed);
    };
    if (cancelled()) return failed(Failure::Cancelled);
    if (request.connectPort < 1 || request.connectPort > 65535)
        return failed(Failure::ConnectionRefused);

    HeaderList headers;
    // An empty Host entry first keeps curl from writing its own Host line ahead of the
    // others; ours then stands where the order puts it. curl adds nothing else that the
    // list already names.
    bool ok = headers.append("Host:") && headers.append("Expect:");
    for (const auto& [name, value] : request.headers) {
        std::string line = name;
        line.append(": ").append(value);
        ok = ok && headers.append(line);
    }
    const EasyHandle easy(curl_easy_init());
    const MultiHandle multi(curl_multi_init());
    if (!ok || !easy || !multi || !Configure(easy.get(), request, headers, ex)) {
        return failed(Failure::Malformed);
    }
    const Attachment attached(multi.get(), easy.get());
    if (!attached) return failed(Failure::Malformed);

    // Our own loop rather than curl_easy_perform: curl looks at its progress callback
    // only about once a second while connecting or while the site is silent, and the
    // cancel flag, the idle bound and the total bound want a look far more often.
    const auto start = Clock::now();
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            return failed(Failure::Malformed);
        }
        if (running == 0) break;
        if (cancelled()) return failed(Failure::Cancelled);
        const auto now = Clock::now();
        auto deadline = start + limits.total;
        if (now >= deadline) return failed(Failure::TotalTimeout);
        if (ex.connected) {
            const auto idleEnd = ex.lastReceived + limits.idle;
            if (now >= idleEnd) return failed(Failure::IdleTimeout);
            deadline = std::min(deadline, idleEnd);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        curl_multi_poll(multi.get(), nullptr, 0,
                        static_cast<int>(std::min(wait, kCheckEvery).count()), nullptr);
    }

    int queued = 0;
    const CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
    const CURLcode result = message != nullptr && message->msg == CURLMSG_DONE
                                ? message->data.result
                                : CURLE_RECV_ERROR;
    if (ex.refused) return failed(*ex.refused);
    // curl's own bound on a header line (100 KiB) ends a head as ours would.
    if (result == CURLE_OUT_OF_MEMORY && !ex.inBody) {
        ex.head.tooLarge();
        return failed(ex.head.failure().value_or(Failure::Malformed));
    }
    if (result != CURLE_OK) return failed(FailureOf(result));
    if (!ex.inBody) return failed(Failure::Malformed);
    return Reply{std::move(ex.body), std::nullopt, ex.head.status(), request.viaProxy};
}

Reply FetchRoster(std::int32_t teamId, const common::ProxySettings& proxy, const SiteAddress& site,
                  const Limits& limits, const std::atomic<bool>* cancel) {
    return SendRosterRequest(BuildRosterRequest(teamId, proxy, site), limits, cancel);
}

CurlGlobal::CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }

CurlGlobal::~CurlGlobal() { curl_global_cleanup(); }

}  // namespace koravel::site
