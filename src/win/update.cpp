#include "win/update.h"

#include <variant>

#include "core/url.h"
#include "win/fault.h"
#include "win/late_bound.h"
#include "win/log.h"
#include "win/net.h"
#include "win/threads.h"
#include "win/version.h"

namespace torvane {

namespace {

constexpr std::string_view server_failure = "No se pudo consultar el servidor";
constexpr unsigned feed_timeout_seconds = 20;
constexpr std::size_t feed_limit = 65536;

// The true version: GetVersionEx reports what the manifest allows it to.
std::optional<OsVersion> system_version() {
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    static const auto get_version = system_function<RtlGetVersion>(L"ntdll.dll", "RtlGetVersion");
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!get_version || get_version(&info) != 0) return std::nullopt;
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
    InstallUpdate install = nullptr;
    bool refused = false;
    publish(state, [&] {
        state.busy = false;
        state.status = "Hay una versión nueva: " + feed.version;
        state.available = feed;
        if (state.auto_install) install = state.install;
        refused = state.refused_build == std::int64_t{feed.build};
    });
    log_line("Versión nueva en el feed: " + feed.version + " (build " + std::to_string(feed.build) +
             "); instalada " + running.version + " (" + std::to_string(running.build) + ")");
    // A build that could not start here is left to the user's "Instalar", never retried alone.
    if (manual || refused) return;
    if (!install) {
        return publish(state, [&] {
            state.pending_notification.emplace("Torvane " + feed.version + " disponible",
                                               "Abrí el menú de Torvane para instalarla.");
        });
    }
    // A fault in the installation is a failed download, not a failed check.
    if (begin_install(state, feed) &&
        !guarded("torvane-update-check", [&] { install(state, feed); }))
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
    start_thread(
        "torvane-update-check", [state, manual] { run_update_check(*state, manual); },
        [state] { update_failed(*state, server_failure); });
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

}  // namespace torvane
