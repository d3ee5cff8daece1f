#include "site/roster_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <memory>

#include "common/number_text.h"

namespace koravel::site {
namespace {

using Clock = std::chrono::steady_clock;

// The one site account every request carries; not configurable.
constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kFormFields{{
    {"auth_name", "hvk"},
    {"auth_pass", "rmqtadzwle"},
}};

// A header line may be this long, CR included and LF not. The whole header text of an
// exchange, interim answers included, is capped too, so a site that never ends its
// headers (or sends "100 Continue" for ever) cannot keep a request alive or grow memory.
constexpr std::size_t kMaxHeaderLine = 16384;
constexpr std::size_t kMaxHeaderBytes = 256u << 10;

// The flag may be raised from a signal handler, which allows only lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free);

// How often a running request looks at the cancel flag and its own time bounds.
constexpr std::chrono::milliseconds kCheckEvery{100};

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto v = std::uint32_t(std::uint8_t(bytes[i])) << 16 |
                       std::uint32_t(std::uint8_t(bytes[i + 1])) << 8 | std::uint8_t(bytes[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
        if (rest == 2) v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string FormBody() {
    std::string body;
    for (const auto& [name, value] : kFormFields) {
        body.append(name).append("=").append(EncodeFormValue(value)).append("&");
    }
    return body;
}

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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The number in the second blank-separated word of a status line.
std::optional<int> StatusCode(std::string_view line) {
    std::size_t p = line.find(' ');
    if (p == std::string_view::npos) return std::nullopt;
    while (p < line.size() && line[p] == ' ') ++p;
    const std::size_t end = std::min(line.find(' ', p), line.size());
    const std::string_view word = line.substr(p, end - p);
    if (word.empty() || word.size() > 9) return std::nullopt;
    int code = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return std::nullopt;
        code = code * 10 + (c - '0');
    }
    return code;
}

bool IsNonEmptyLocation(std::string_view line) {
    constexpr std::string_view kName = "location:";
    if (line.size() < kName.size()) return false;
    for (std::size_t i = 0; i < kName.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != kName[i]) return false;
    }
    for (char c : line.substr(kName.size())) {
        if (!IsBlank(c)) return true;
    }
    return false;
}

// What one exchange has seen so far; the callbacks refuse the answer the moment it breaks
// a rule, so nothing of a failed answer is kept or waited for, and say why in `refused`
// (curl itself reports only that a callback refused).
struct Exchange {
    explicit Exchange(const Limits& l) : limits(l) {}

    const Limits& limits;
    std::string body;
    bool connected = false;
    Clock::time_point lastReceived;
    std::size_t headerBytes = 0;
    bool atStatusLine = true;
    bool inBody = false;
    bool location = false;  // a non-empty Location in the current header block
    int status = 0;
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
    ex.headerBytes += n;
    std::string_view line(data, n);
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.size() > kMaxHeaderLine || ex.headerBytes > kMaxHeaderBytes) {
        return Refuse(ex, Failure::Malformed);
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (ex.inBody) return n;  // trailers of a chunked body

    if (ex.atStatusLine) {
        const std::optional<int> code = StatusCode(line);
        if (!code) return Refuse(ex, Failure::Malformed);
        ex.atStatusLine = false;
        ex.status = *code;
        ex.location = false;
        return n;
    }
    if (!line.empty()) {
        ex.location = ex.location || IsNonEmptyLocation(line);
        return n;
    }
    // The block is whole, so a failure status is told apart from a redirect that names
    // its Location late; either way no byte of its body is waited for.
    if (ex.status == 100) {
        ex.atStatusLine = true;
        return n;
    }
    if (ex.location || (ex.status >= 300 && ex.status <= 399 && ex.status != 304)) {
        return Refuse(ex, Failure::Redirect);
    }
    if (ex.status < 200 || ex.status > 299) return Refuse(ex, Failure::FailureStatus);
    ex.inBody = true;
    return n;
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

const std::string& DefaultSiteHost() {
    static const std::string host = KORAVEL_SITE_HOST_NAME;
    return host;
}

const std::string& DefaultSiteWebHost() {
    static const std::string host = KORAVEL_SITE_WEB_HOST_NAME;
    return host;
}

std::string BrowserLink(std::string_view webHost, std::int32_t teamId) {
    std::string link = "http://";
    link.append(webHost).append(kRosterPath).append(std::to_string(teamId));
    return link;
}

std::string EncodeFormValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9')) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

RosterRequest BuildRosterRequest(std::int32_t teamId, const common::ProxySettings& proxy,
                                 const SiteAddress& site) {
    std::string login;
    std::string password;
    std::string server;
    int proxyPort = 0;
    if (proxy.UseProxy) {
        login = proxy.ProxyLogin;
        password = proxy.ProxyPasswd;
        server = proxy.ProxyServer;
        proxyPort = common::StrToInt(proxy.ProxyPort);
    }

    RosterRequest request;
    request.body = FormBody();
    request.viaProxy = !server.empty();
    const std::string path = std::string(kRosterPath) + std::to_string(teamId);
    if (request.viaProxy) {
        request.connectHost = server;
        request.connectPort = proxyPort;
        // The port is written out even when it is the scheme's default.
        request.target = "http://" + site.host + ":" + std::to_string(site.port) + path;
    } else {
        request.connectHost = site.host;
        request.connectPort = site.port;
        request.target = path;
    }

    auto& headers = request.headers;
    if (!request.viaProxy) headers.emplace_back("Connection", "keep-alive");
    headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    headers.emplace_back("Content-Length", std::to_string(request.body.size()));
    if (request.viaProxy) {
        headers.emplace_back("Proxy-Connection", "keep-alive");
        if (!login.empty()) {
            headers.emplace_back("Proxy-Authorization", "Basic " + Base64(login + ":" + password));
        }
    }
    headers.emplace_back("Host", site.host);
    headers.emplace_back("Accept", "text/html, */*");
    headers.emplace_back("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
    return request;
}

std::string_view FailureName(Failure failure) {
    switch (failure) {
        case Failure::NameNotResolved:
            return "name not resolved";
        case Failure::ConnectionRefused:
            return "connection refused";
        case Failure::ConnectTimeout:
            return "connect timeout";
        case Failure::IdleTimeout:
            return "idle timeout";
        case Failure::TotalTimeout:
            return "total timeout";
        case Failure::TooLarge:
            return "too large";
        case Failure::FailureStatus:
            return "failure status";
        case Failure::Redirect:
            return "redirect";
        case Failure::CutShort:
            return "cut short";
        case Failure::Malformed:
            return "malformed answer";
        case Failure::Cancelled:
            return "cancelled";
    }
    return "failed";
}

Reply SendRosterRequest(const RosterRequest& request, const Limits& limits,
                        const std::atomic<bool>* cancel) {
    const auto failed = [](Failure f) { return Reply{{}, f}; };
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
    Exchange ex(limits);
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
    if (result != CURLE_OK) return failed(FailureOf(result));
    if (!ex.inBody) return failed(Failure::Malformed);
    return Reply{std::move(ex.body), std::nullopt};
}

CurlGlobal::CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }

CurlGlobal::~CurlGlobal() { curl_global_cleanup(); }

}  // namespace koravel::site
