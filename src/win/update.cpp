#include "win/update.h"

#include <thread>
#include <variant>

#include "core/url.h"
#include "win/fault.h"
#include "win/log.h"
#include "win/net.h"
#include "win/threads.h"
#include "win/update_install.h"
#include "win/version.h"

namespace torvane {

namespace {

constexpr std::string_view server_failure = "No se pudo consultar el servidor";
constexpr unsigned feed_timeout_seconds = 20;
constexpr std::size_t feed_limit = 65536;

// The true version: GetVersionEx reports what the manifest allows it to.
std::optional<OsVersion> system_version() {
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC proc = ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (!proc) return std::nullopt;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (reinterpret_cast<RtlGetVersion>(reinterpret_cast<void*>(proc))(&info) != 0)
        return std::nullopt;
    return OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

RunningSystem running_system() {
    return {system_version(), running_build(), running_version()};
}

void server_failed(UpdaterState& state) {
    publish(state, [&] {
        state.busy = false;
        state.status = server_failure;
    });
    log_line(server_failure);
}

void newer_build_found(UpdaterState& state, Appcast feed, bool manual,
                       const RunningSystem& running) {
    feed.notes = sanitize_notes(feed.notes);
    bool automatic = false;
    publish(state, [&] {
        state.busy = false;
        state.status = "Hay una versión nueva: " + feed.version;
        state.available = feed;
        automatic = state.auto_install;
    });
    log_line("Versión nueva en el feed: " + feed.version + " (build " + std::to_string(feed.build) +
             "); instalada " + running.version + " (" + std::to_string(running.build) + ")");
    if (manual) return;
    if (!automatic) {
        return publish(state, [&] {
            state.pending_notification.emplace("Torvane " + feed.version + " disponible",
                                               "Abrí el menú de Torvane para instalarla.");
        });
    }
    // A fault in the installation is a failed download, not a failed check.
    if (begin_install(state, feed) &&
        !guarded("torvane-update-check", [&] { install_update(state, feed); }))
        update_failed(state, download_failure);
}

}  // namespace

std::string feed_url() {
    return "https://" + std::string(update_host()) + "/software/torvane/appcast-windows.json";
}

void check_for_updates(const std::shared_ptr<UpdaterState>& state, bool manual) {
    {
        std::lock_guard lock(state->lock);
        if (state->busy) return;
        state->busy = true;
    }
    publish(*state, [&] { state->status = "Buscando…"; });
    try {
        std::thread([state, manual] {
            name_current_thread(L"torvane-update-check");
            if (!guarded("torvane-update-check", [&] { run_update_check(*state, manual); }))
                update_failed(*state, server_failure);
        }).detach();
    } catch (...) {
        update_failed(*state, server_failure);
    }
}

void run_update_check(UpdaterState& state, bool manual) {
    const HttpResult fetched = http_get(feed_url(), feed_timeout_seconds, feed_limit, 0);
    const auto* body = fetched ? &fetched.value() : nullptr;
    const std::string_view text =
        body ? std::string_view(reinterpret_cast<const char*>(body->data()), body->size())
             : std::string_view();
    conclude_check(state, text, body != nullptr, manual, running_system());
}

void conclude_check(UpdaterState& state, std::string_view body, bool fetched, bool manual,
                    const RunningSystem& running) {
    if (!fetched || body.size() > feed_limit) return server_failed(state);
    Result<Appcast> parsed = parse_appcast(body);
    if (!parsed) return server_failed(state);
    Appcast& feed = parsed.value();

    if (feed.minimumSystem && running.os &&
        !minimum_system_satisfied(*feed.minimumSystem, *running.os)) {
        return publish(state, [&] {
            state.busy = false;
            state.status =
                "La versión " + feed.version + " requiere Windows " + *feed.minimumSystem;
        });
    }
    if (std::int64_t{feed.build} <= std::int64_t{running.build}) {
        return publish(state, [&] {
            state.busy = false;
            state.available.reset();
            state.status = "Estás al día (" + running.version + ")";
        });
    }
    newer_build_found(state, std::move(feed), manual, running);
}

bool begin_install(UpdaterState& state, const Appcast& appcast) {
    {
        std::lock_guard lock(state.lock);
        if (state.busy) return false;
        state.busy = true;
    }
    if (!package_url_allowed(appcast.url, update_host())) {
        update_failed(state, download_failure);
        return false;
    }
    publish(state, [&] { state.status = "Descargando " + appcast.version + "…"; });
    return true;
}

void update_failed(UpdaterState& state, std::string_view message) {
    publish(state, [&] {
        state.busy = false;
        state.status = message;
    });
    std::string line = "Actualización fallida: " + std::string(message);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    log_line(line);
}

std::optional<Appcast> available_update(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return state.available;
}

bool is_busy(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return state.busy;
}

std::string update_status(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return state.status;
}

}  // namespace torvane
