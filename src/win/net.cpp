#include "win/net.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <string>

#include "core/appcast.h"
#include "core/url.h"
#include "win/handle.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int max_redirects = 3;
constexpr DWORD max_location_bytes = 16384;
constexpr DWORD read_chunk = 65536;

Error network_error(const char* call, DWORD code = GetLastError()) {
    return Error{call, static_cast<long>(code)};
}

bool is_redirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

InternetHandle open_session(unsigned timeout_seconds) {
    const std::wstring agent = widen("Torvane-Windows/" + running_version());
    InternetHandle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        session.reset(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (session) {
        const int ms = static_cast<int>(std::min(timeout_seconds, 2000000u) * 1000);
        WinHttpSetTimeouts(session.get(), ms, ms, ms, ms);
    }
    return session;
}

// Time left before the call's one deadline, in whole milliseconds; 0 once it has passed.
DWORD remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left.count(), INT_MAX));
}

// Every wait of the request's next step (resolve, connect, send, headers, a read) ends by the
// deadline at the latest, however many hops and reads came before; false once it has passed.
bool bound_by(HINTERNET request, Clock::time_point deadline) {
    DWORD left = remaining_ms(deadline);
    if (left == 0) return false;
    const int ms = static_cast<int>(left);
    WinHttpSetTimeouts(request, ms, ms, ms, ms);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &left, sizeof left);
    return true;
}

// One connection and one request; both are closed together when the hop is over.
struct Hop {
    InternetHandle connection;
    InternetHandle request;
};

Result<Hop> send_request(HINTERNET session, const HttpUrl& url, Clock::time_point deadline) {
    Hop hop;
    hop.connection.reset(WinHttpConnect(session, widen(url.host).c_str(), url.port, 0));
    if (!hop.connection) return network_error("WinHttpConnect");
    hop.request.reset(WinHttpOpenRequest(hop.connection.get(), L"GET", widen(url.path).c_str(),
                                         nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         WINHTTP_FLAG_SECURE));
    if (!hop.request) return network_error("WinHttpOpenRequest");
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(hop.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable,
                          sizeof disable))
        return network_error("WinHttpSetOption");
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(hop.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    if (!bound_by(hop.request.get(), deadline))
        return network_error("plazo vencido", ERROR_WINHTTP_TIMEOUT);
    if (!WinHttpSendRequest(hop.request.get(), L"Cache-Control: no-cache\r\n", DWORD(-1),
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return network_error("WinHttpSendRequest");
    if (!WinHttpReceiveResponse(hop.request.get(), nullptr))
        return network_error("WinHttpReceiveResponse");
    return hop;
}

std::optional<DWORD> number_header(HINTERNET request, DWORD query) {
    DWORD value = 0, size = sizeof value;
    if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    return value;
}

// The Location header as UTF-8, cut at its first NUL; absent when missing, empty or too long.
std::optional<std::string> location_header(HINTERNET request) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, nullptr,
                        &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > max_location_bytes)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                             text.data(), &bytes, WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    text.resize(std::min<std::size_t>(text.find(L'\0'), bytes / sizeof(wchar_t)));
    return narrow(text);
}

HttpResult read_body(HINTERNET request, Clock::time_point deadline, std::uint64_t max_bytes,
                     std::uint64_t expected_bytes) {
    if (const auto length = number_header(request, WINHTTP_QUERY_CONTENT_LENGTH);
        length && *length > max_bytes)
        return Error{"respuesta demasiado grande"};
    std::vector<std::uint8_t> body;
    if (expected_bytes >= 1 && expected_bytes <= max_bytes) body.reserve(expected_bytes);
    std::vector<std::uint8_t> buffer(read_chunk);
    while (true) {
        if (!bound_by(request, deadline))
            return network_error("plazo vencido", ERROR_WINHTTP_TIMEOUT);
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available))
            return network_error("WinHttpQueryDataAvailable");
        if (available == 0) break;
        DWORD read = 0;
        if (!WinHttpReadData(request, buffer.data(), std::min(available, read_chunk), &read))
            return network_error("WinHttpReadData");
        if (read == 0) break;
        if (body.size() + read > max_bytes) return Error{"respuesta demasiado grande"};
        body.insert(body.end(), buffer.begin(), buffer.begin() + read);
    }
    return body;
}

HttpResult get(std::string url, unsigned timeout_seconds, std::uint64_t max_bytes,
               std::uint64_t expected_bytes) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
    const InternetHandle session = open_session(timeout_seconds);
    if (!session) return network_error("WinHttpOpen");
    for (int redirects = 0;; ++redirects) {
        const std::optional<HttpUrl> target = parse_http_url(url);
        if (!target || !allowed_target(*target, update_host()))
            return Error{std::string(refused_target)};
        Result<Hop> sent = send_request(session.get(), *target, deadline);
        if (!sent) return sent.error();
        const Hop& hop = sent.value();
        const std::optional<DWORD> status =
            number_header(hop.request.get(), WINHTTP_QUERY_STATUS_CODE);
        if (!status) return network_error("WinHttpQueryHeaders");
        if (is_redirect(*status)) {
            if (redirects == max_redirects)
                return network_error("demasiadas redirecciones", ERROR_WINHTTP_REDIRECT_FAILED);
            const std::optional<std::string> location = location_header(hop.request.get());
            std::optional<std::string> next =
                location ? resolve_redirect(*target, *location) : std::nullopt;
            if (!next)
                return network_error("redirección sin destino", ERROR_WINHTTP_REDIRECT_FAILED);
            url = std::move(*next);
            continue;
        }
        if (*status != 200) return Error{"estado HTTP", static_cast<long>(*status)};
        return read_body(hop.request.get(), deadline, max_bytes, expected_bytes);
    }
}

}  // namespace

HttpResult http_get(std::string_view url, unsigned timeout_seconds, std::uint64_t max_bytes,
                    std::uint64_t expected_bytes) {
    try {
        return get(std::string(url), timeout_seconds, max_bytes, expected_bytes);
    } catch (...) {
        // Only allocation can throw here; the transfer simply fails.
        return network_error("memoria", ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace torvane
