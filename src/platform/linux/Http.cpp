#include "platform/Http.h"

#include <curl/curl.h>

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Http {

namespace {

using SteadyClock = std::chrono::steady_clock;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// State of one transfer, reached from libcurl's callbacks.
struct Transfer {
    QByteArray body;
    bool tooLarge = false;
    SteadyClock::time_point lastActivity = SteadyClock::now();
    curl_off_t sent = 0;
    curl_off_t received = 0;
    curl_off_t toSend = 0;
    curl_off_t headerBytes = 0; // libcurl counts only body bytes as received
    bool answering = false;     // a line of the answer has come in
    int fd = -1;
    QString fileError;

    void touch() { lastActivity = SteadyClock::now(); }
};

// Answers are JSON documents of a few kilobytes; a server that sends more than
// this is broken or hostile and must not take the app's memory.
constexpr qsizetype maxBody = 32 * 1024 * 1024;

size_t onWrite(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    if (t->body.size() + qsizetype(size * count) > maxBody) {
        t->tooLarge = true;
        return 0; // ends the transfer
    }
    t->body.append(data, qsizetype(size * count));
    t->touch();
    return size * count;
}

// Bytes leaving the socket count as activity too: on a slow uplink libcurl
// reads the next piece of a file only every so often.
int onProgress(void* user, curl_off_t, curl_off_t received, curl_off_t toSend, curl_off_t sent)
{
    auto* t = static_cast<Transfer*>(user);
    t->toSend = toSend;
    if (sent != t->sent || received != t->received) {
        t->sent = sent;
        t->received = received;
        t->touch();
    }
    return 0;
}

size_t onHeader(char*, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    t->headerBytes += curl_off_t(size * count);
    t->answering = true;
    t->touch();
    return size * count;
}

size_t onRead(char* buffer, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    for (;;) {
        const ssize_t n = ::read(t->fd, buffer, size * count);
        if (n >= 0) {
            t->touch();
            return size_t(n);
        }
        if (errno != EINTR) {
            t->fileError = QString::fromLocal8Bit(std::strerror(errno));
            return CURL_READFUNC_ABORT;
        }
    }
}

int onSeek(void* user, curl_off_t offset, int origin)
{
    auto* t = static_cast<Transfer*>(user);
    return ::lseek(t->fd, off_t(offset), origin) < 0 ? CURL_SEEKFUNC_FAIL : CURL_SEEKFUNC_OK;
}

// The floor under a long transfer's rate: bytes moved over the last window,
// sampled about once a second. While the body is sent and no answer has begun,
// the server may be working on it; that wait is the idle rule's, so the window
// starts afresh once the answer begins.
class RateFloor {
public:
    RateFloor(double minRate, double window)
        : minRate_(minRate)
        , window_(std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(window)))
    {
    }

    bool tooSlow(SteadyClock::time_point now, const Transfer& t)
    {
        if (minRate_ <= 0)
            return false;
        if (!t.answering && t.sent >= t.toSend) {
            samples_.clear();
            return false;
        }
        const curl_off_t moved = t.sent + t.received + t.headerBytes;
        // A redirect that sends the body again starts libcurl's counts afresh.
        if (!samples_.empty() && moved < samples_.back().second)
            samples_.clear();
        if (samples_.empty() || now - samples_.back().first >= std::chrono::seconds(1))
            samples_.emplace_back(now, moved);
        // The front stays the newest sample at least a window old.
        while (samples_.size() > 1 && samples_[1].first <= now - window_)
            samples_.pop_front();
        const auto span = now - samples_.front().first;
        if (span < window_)
            return false;
        return double(moved - samples_.front().second) < minRate_ * std::chrono::duration<double>(span).count();
    }

private:
    double minRate_;
    SteadyClock::duration window_;
    std::deque<std::pair<SteadyClock::time_point, curl_off_t>> samples_;
};

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using ListPtr = std::unique_ptr<curl_slist, ListDeleter>;

void append(ListPtr& list, const QByteArray& line)
{
    curl_slist* next = curl_slist_append(list.get(), line.constData());
    if (!next)
        throw Failure(Failure::Kind::other, QStringLiteral("Out of memory."));
    (void)list.release();
    list.reset(next);
}

bool hasHeader(const QList<Header>& headers, const char* name)
{
    return std::any_of(headers.begin(), headers.end(),
                       [name](const Header& h) { return h.name.compare(name, Qt::CaseInsensitive) == 0; });
}

// The user-facing sentence of a transport failure, in the words a desktop's
// network stack uses. libcurl's own texts are for developers.
Failure failure(CURLcode code, const Transfer& t)
{
    using K = Failure::Kind;
    if (code == CURLE_WRITE_ERROR && t.tooLarge)
        return {K::other, QStringLiteral("The server's answer is too large.")};
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return {K::timedOut, QStringLiteral("The request timed out.")};
    case CURLE_COULDNT_CONNECT:
        return {K::cannotConnect, QStringLiteral("Could not connect to the server.")};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return {K::hostNotFound, QStringLiteral("A server with the specified hostname could not be found.")};
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_WEIRD_SERVER_REPLY:
        return {K::connectionLost, QStringLiteral("The network connection was lost.")};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return {K::secureConnection,
                QStringLiteral("An SSL error has occurred and a secure connection to the server cannot be made.")};
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return {K::badURL, QStringLiteral("unsupported URL")};
    case CURLE_TOO_MANY_REDIRECTS:
        return {K::tooManyRedirects, QStringLiteral("too many HTTP redirects")};
    case CURLE_READ_ERROR:
    case CURLE_ABORTED_BY_CALLBACK:
        if (!t.fileError.isEmpty())
            return {K::file, QStringLiteral("The file to upload could not be read: ") + t.fileError};
        break;
    default:
        break;
    }
    return {K::other, QString::fromUtf8(curl_easy_strerror(code))};
}

constexpr int maxRedirects = 16;

struct Origin {
    QByteArray scheme;
    QByteArray host;
    QByteArray port;
    bool operator==(const Origin&) const = default;
};

std::optional<Origin> originOf(const QByteArray& url)
{
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), &curl_url_cleanup);
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.constData(), 0) != CURLUE_OK)
        return std::nullopt;
    auto part = [&](CURLUPart which, unsigned flags) -> std::optional<QByteArray> {
        char* value = nullptr;
        if (curl_url_get(u.get(), which, &value, flags) != CURLUE_OK || !value)
            return std::nullopt;
        QByteArray out(value);
        curl_free(value);
        return out;
    };
    const auto scheme = part(CURLUPART_SCHEME, 0);
    const auto host = part(CURLUPART_HOST, 0);
    const auto port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || !port)
        return std::nullopt;
    return Origin{scheme->toLower(), host->toLower(), *port};
}

} // namespace

bool sameOrigin(const QByteArray& a, const QByteArray& b)
{
    const auto x = originOf(a);
    const auto y = originOf(b);
    return x && y && *x == *y;
}

struct Session::Shared {
    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<Shared*>(user)->locks[size_t(data)].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<Shared*>(user)->locks[size_t(data)].unlock();
    }
};

Session::Session(Limits limits)
    : limits_(limits)
    , shared_(std::make_unique<Shared>())
{
    initCurlOnce();
    shared_->share = curl_share_init();
    curl_share_setopt(shared_->share, CURLSHOPT_LOCKFUNC, &Shared::lock);
    curl_share_setopt(shared_->share, CURLSHOPT_UNLOCKFUNC, &Shared::unlock);
    curl_share_setopt(shared_->share, CURLSHOPT_USERDATA, shared_.get());
    // Connections are not shared between threads: libcurl's shared connection
    // cache is unsafe under concurrent use. Each thread keeps its own (below).
    curl_share_setopt(shared_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(shared_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

Session::~Session()
{
    curl_share_cleanup(shared_->share);
}

void Session::pinHost(const QString& host, int port, const QString& address)
{
    std::lock_guard lock(pinsMutex_);
    pins_ << QStringLiteral("%1:%2:%3").arg(host).arg(port).arg(address);
}

Response Session::exchange(const Request& request, const Hop& hop) const
{
    using K = Failure::Kind;
    Transfer t;
    // Declared before the handles: libcurl reads these until the transfer ends.
    ListPtr pins;
    ListPtr headers;
    struct FileCloser {
        int& fd;
        ~FileCloser()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } closer{t.fd};

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    // One multi handle per thread holds that thread's open connections, so
    // calls from the same pool thread reuse them without sharing across threads.
    thread_local std::unique_ptr<CURLM, MultiDeleter> threadMulti(curl_multi_init());
    auto& multi = threadMulti;
    if (!easy || !multi)
        throw Failure(K::other, QStringLiteral("Out of memory."));
    CURL* h = easy.get();

    const double idle = std::max(0.001, std::min(request.timeout, limits_.requestTimeout));
    const auto idleLimit = std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(idle));

    curl_easy_setopt(h, CURLOPT_URL, hop.url.constData());
    curl_easy_setopt(h, CURLOPT_SHARE, shared_->share);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed by send(), which decides where each may lead.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(idle * 1000));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(limits_.resourceTimeout * 1000));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

    {
        std::lock_guard lock(pinsMutex_);
        for (const QString& entry : pins_)
            append(pins, entry.toUtf8());
    }
    if (pins)
        curl_easy_setopt(h, CURLOPT_RESOLVE, pins.get());

    const bool hasBody = hop.withBody;
    for (const Header& header : request.headers) {
        // Credentials stay with the origin the request was made for; a body's
        // type goes only with the body.
        if (!hop.home && (header.name.compare("Authorization", Qt::CaseInsensitive) == 0
                          || header.name.compare("Cookie", Qt::CaseInsensitive) == 0))
            continue;
        if (!hasBody && (request.body || !request.bodyFile.isEmpty())
            && header.name.compare("Content-Type", Qt::CaseInsensitive) == 0)
            continue;
        // A line break in a header would start a header of its own.
        const QByteArray line = header.name + ": " + header.value;
        if (std::any_of(line.begin(), line.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; }))
            throw Failure(K::other,
                          QStringLiteral("A request header contains a line break or another control character."));
        append(headers, line);
    }
    // Only what the caller lists goes out: no "Expect: 100-continue" pause, no
    // default Accept or form content type.
    append(headers, "Expect:");
    if (!hasHeader(request.headers, "Accept"))
        append(headers, "Accept:");
    if (!hasHeader(request.headers, "Content-Type"))
        append(headers, "Content-Type:");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    const QByteArray& method = hop.method;
    if (method == "GET" && !hasBody) {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
        // A POST without a body still announces an empty one.
        if (method != "POST")
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.constData());
        if (hasBody || method == "POST") {
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            if (hasBody && !request.bodyFile.isEmpty()) {
                t.fd = ::open(QFile::encodeName(request.bodyFile).constData(), O_RDONLY | O_CLOEXEC);
                struct stat st {};
                if (t.fd < 0 || ::fstat(t.fd, &st) != 0)
                    throw Failure(K::file,
                                  QStringLiteral("The file to upload could not be read: ")
                                      + QString::fromLocal8Bit(std::strerror(errno)));
                if (!S_ISREG(st.st_mode))
                    throw Failure(K::file, QStringLiteral("The file to upload could not be read: not a file"));
                curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(st.st_size));
                curl_easy_setopt(h, CURLOPT_READFUNCTION, &onRead);
                curl_easy_setopt(h, CURLOPT_READDATA, &t);
                curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &onSeek);
                curl_easy_setopt(h, CURLOPT_SEEKDATA, &t);
                curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
            } else {
                // libcurl reads the bytes in place: they must outlive the transfer.
                const bool inMemory = hasBody && request.body;
                const qsizetype size = inMemory ? request.body->size() : 0;
                curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(size));
                curl_easy_setopt(h, CURLOPT_POSTFIELDS, inMemory ? request.body->constData() : "");
            }
        }
    }

    curl_multi_add_handle(multi.get(), h);
    t.touch();
    const auto started = hop.started;
    RateFloor floor(request.longTransfer ? limits_.minRate : 0, limits_.rateWindow);
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            curl_multi_remove_handle(multi.get(), h);
            throw Failure(K::other, QStringLiteral("The network layer failed."));
        }
        bool done = false;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
            if (msg->msg == CURLMSG_DONE) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done)
            break;
        // A long transfer's time-out is idle time: no byte sent or received for
        // that long. Any other call's is a deadline for the whole call.
        const auto now = SteadyClock::now();
        const auto counted = request.longTransfer ? now - t.lastActivity : now - started;
        if (counted >= idleLimit || floor.tooSlow(now, t)) {
            curl_multi_remove_handle(multi.get(), h);
            throw Failure(K::timedOut, QStringLiteral("The request timed out."));
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(idleLimit - counted).count() + 1;
        curl_multi_poll(multi.get(), nullptr, 0, int(std::min<long long>(remaining, 1000)), nullptr);
    }
    curl_multi_remove_handle(multi.get(), h);
    if (result != CURLE_OK)
        throw failure(result, t);

    Response response;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = int(status);
    response.url = hop.url;
    char* redirect = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK && redirect)
        response.redirect = redirect;
    response.body = std::move(t.body);
    return response;
}

Response Session::send(const Request& request) const
{
    using K = Failure::Kind;
    if (request.url.isEmpty())
        throw Failure(K::badURL, QStringLiteral("unsupported URL"));
    const bool hasBody = request.body || !request.bodyFile.isEmpty();
    Hop hop{request.url, request.method.toUpper(), hasBody, true, SteadyClock::now()};
    for (int hops = 0;; ++hops) {
        Response response = exchange(request, hop);
        const int s = response.status;
        const bool redirected = s == 301 || s == 302 || s == 303 || s == 307 || s == 308;
        if (!request.followRedirects || !redirected || response.redirect.isEmpty())
            return response;
        if (hops >= maxRedirects)
            throw Failure(K::tooManyRedirects, QStringLiteral("too many HTTP redirects"));
        const auto next = originOf(response.redirect);
        if (!next || (next->scheme != "http" && next->scheme != "https"))
            throw Failure(K::badURL, QStringLiteral("unsupported URL"));
        const bool home = sameOrigin(response.redirect, request.url);
        // What was sent to one server is never sent on to another, nor is
        // that one's answer taken for the first one's.
        if (hasBody && !home)
            return response;
        if ((s == 303 && hop.method != "HEAD") || ((s == 301 || s == 302) && hop.method == "POST")) {
            hop.method = "GET";
            hop.withBody = false;
        }
        hop.url = response.redirect;
        hop.home = home;
    }
}


} // namespace Http
