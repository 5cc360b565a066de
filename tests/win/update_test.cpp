#include "win/update.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_util.h"
#include "win/log.h"
#include "win/net.h"

using namespace torvane;

namespace {

constexpr UINT notice = WM_APP + 0x11;

// A message-only window that counts the update-status messages posted to it.
class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
        ASSERT_NE(window_, nullptr);
        state_.window = window_;
        state_.message = notice;
        state_.status = "Versión 0.1.0 (1)";
        state_.auto_install = false;
    }
    void TearDown() override { DestroyWindow(window_); }

    int posted() {
        int count = 0;
        MSG message;
        while (PeekMessageW(&message, window_, notice, notice, PM_REMOVE))
            ++count;
        return count;
    }

    static RunningSystem system(std::uint32_t build, std::string version = "1.2.0") {
        return {OsVersion{10, 0, 19045}, build, std::move(version)};
    }

    HWND window_ = nullptr;
    UpdaterState state_;
};

Appcast offer(std::string version, std::int32_t build, std::string url = {}) {
    Appcast appcast;
    appcast.version = std::move(version);
    appcast.build = build;
    appcast.url = std::move(url);
    return appcast;
}

std::string feed(std::string members) {
    return R"({"version": "1.3.0", "build": 130, "url": "https://localhost/t.zip")" +
           (members.empty() ? "" : ", " + members) + "}";
}

}  // namespace

TEST_F(UpdateCheck, EveryBadFetchIsOneServerFailureThatKeepsTheOffer) {
    state_.available = offer("1.1.0", 110);
    const std::string padded = feed("") + std::string(65536, ' ');
    // Which feeds parse is the feed tests' matter; here, that any that does not is this failure.
    for (const std::string& body :
         {std::string(), std::string("["), feed(R"("build": 1.5)"), padded}) {
        state_.busy = true;
        conclude_check(state_, body, true, false, system(120));
        EXPECT_EQ(update_status(state_), "No se pudo consultar el servidor") << body.substr(0, 40);
        EXPECT_FALSE(is_busy(state_));
        ASSERT_TRUE(available_update(state_));
        EXPECT_EQ(available_update(state_)->version, "1.1.0");
        EXPECT_EQ(posted(), 1);
    }
    EXPECT_EQ(last_log_line(), "No se pudo consultar el servidor");
    // A transfer that failed is the same failure, whatever came with it.
    state_.busy = true;
    conclude_check(state_, feed(""), false, false, system(120));
    EXPECT_EQ(update_status(state_), "No se pudo consultar el servidor");
    EXPECT_EQ(available_update(state_)->version, "1.1.0");
    // Exactly at the limit is still a feed.
    const std::string full = feed("") + std::string(65536 - feed("").size(), ' ');
    conclude_check(state_, full, true, true, system(120));
    EXPECT_EQ(update_status(state_), "Hay una versión nueva: 1.3.0");
}

TEST_F(UpdateCheck, TooOldASystemIsNamedAndChangesNothingElse) {
    state_.available = offer("1.1.0", 110);
    state_.busy = true;
    conclude_check(state_, feed(R"("minimumSystem": "10.0.22000")"), true, false, system(120));
    EXPECT_EQ(update_status(state_), "La versión 1.3.0 requiere Windows 10.0.22000");
    EXPECT_FALSE(is_busy(state_));
    EXPECT_EQ(available_update(state_)->version, "1.1.0");
    EXPECT_EQ(posted(), 1);

    // The system's version unknown: the requirement is ignored.
    RunningSystem unknown = system(120);
    unknown.os.reset();
    conclude_check(state_, feed(R"("minimumSystem": "99.0")"), true, true, unknown);
    EXPECT_EQ(update_status(state_), "Hay una versión nueva: 1.3.0");
}

TEST_F(UpdateCheck, OnlyTheBuildDecidesWhetherTheProgramIsUpToDate) {
    state_.available = offer("1.1.0", 110);
    state_.busy = true;
    // Same build, different version texts.
    conclude_check(state_, R"({"version": "9.9.9", "build": 120})", true, false, system(120));
    EXPECT_EQ(update_status(state_), "Estás al día (1.2.0)");
    EXPECT_FALSE(available_update(state_));
    EXPECT_FALSE(is_busy(state_));
    EXPECT_EQ(posted(), 1);
    // A feed without a build is never newer; negative builds compare as signed numbers.
    conclude_check(state_, R"({"version": "9.9.9"})", true, false, system(0, "dev"));
    EXPECT_EQ(update_status(state_), "Estás al día (dev)");
    conclude_check(state_, R"({"version": "9.9.9", "build": -1})", true, false, system(0, "dev"));
    EXPECT_EQ(update_status(state_), "Estás al día (dev)");
    EXPECT_FALSE(state_.pending_notification);
}

TEST_F(UpdateCheck, ANewerBuildIsOfferedAndAnnouncedByThePeriodicCheck) {
    const std::string notes(400, 'n');
    const std::string body = feed("\"notes\": \"\\u200B" + notes + "\\n\"");
    conclude_check(state_, body, true, true, system(0, "dev"));
    std::optional<Appcast> found = available_update(state_);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->build, 130);
    EXPECT_EQ(found->notes, std::string(300, 'n') + "…");
    EXPECT_EQ(update_status(state_), "Hay una versión nueva: 1.3.0");
    EXPECT_FALSE(is_busy(state_));
    EXPECT_EQ(last_log_line(), "Versión nueva en el feed: 1.3.0 (build 130); instalada dev (0)");
    // A manual check only shows the offer.
    EXPECT_FALSE(state_.pending_notification);
    EXPECT_EQ(posted(), 1);

    conclude_check(state_, feed(R"("notes": "   ")"), true, false, system(120));
    EXPECT_FALSE(available_update(state_)->notes);
    ASSERT_TRUE(state_.pending_notification);
    EXPECT_EQ(state_.pending_notification->first, "Torvane 1.3.0 disponible");
    EXPECT_EQ(state_.pending_notification->second, "Abrí el menú de Torvane para instalarla.");
    EXPECT_EQ(posted(), 2);

    // Never by itself a build that could not start here.
    state_.pending_notification.reset();
    state_.auto_install = true;
    state_.install = [](UpdaterState&, const Appcast&) { ADD_FAILURE() << "installed"; };
    state_.refused_build = 130;
    conclude_check(state_, feed(""), true, false, system(120));
    EXPECT_FALSE(is_busy(state_));
    EXPECT_FALSE(state_.pending_notification);
    state_.refused_build.reset();

    // Installing by itself: straight on to the download, here of a package from elsewhere,
    // which is refused before any connection; the offer stays for the user.
    conclude_check(state_,
                   R"({"version": "1.3.0", "build": 130, "url": "https://elsewhere/t.zip"})", true,
                   false, system(120));
    EXPECT_EQ(update_status(state_), "No se pudo descargar");
    EXPECT_EQ(last_log_line(), "Actualización fallida: No se pudo descargar");
    EXPECT_FALSE(state_.pending_notification);
    EXPECT_FALSE(is_busy(state_));
    EXPECT_EQ(available_update(state_)->url, "https://elsewhere/t.zip");
}

TEST_F(UpdateCheck, NothingIsPostedBeforeTheMainWindowExists) {
    state_.window = nullptr;
    conclude_check(state_, feed(""), true, false, system(120));
    EXPECT_EQ(update_status(state_), "Hay una versión nueva: 1.3.0");
    EXPECT_EQ(posted(), 0);
}

// Which package addresses are refused is the URL tests' matter, and the refusal's wiring is
// the periodic check's case above.
TEST_F(UpdateCheck, AnInstallStartsOnlyWhenNothingRuns) {
    Appcast package = offer("1.3.0", 130, "https://LOCALHOST/software/Torvane-1.3.0.zip");
    state_.busy = true;
    EXPECT_FALSE(begin_install(state_, package));
    EXPECT_EQ(update_status(state_), "Versión 0.1.0 (1)");
    EXPECT_EQ(posted(), 0);

    state_.busy = false;
    EXPECT_TRUE(begin_install(state_, package));
    EXPECT_TRUE(is_busy(state_));
    EXPECT_EQ(update_status(state_), "Descargando 1.3.0…");
    EXPECT_EQ(posted(), 1);
    update_failed(state_, "uno\r\ndos");
    EXPECT_EQ(last_log_line(), "Actualización fallida: uno  dos");
}

TEST_F(UpdateCheck, ACheckStartsOnlyWhenNothingRuns) {
    auto shared = std::make_shared<UpdaterState>();
    shared->window = window_;
    shared->message = notice;
    shared->busy = true;
    shared->status = "Descargando 1.3.0…";
    check_for_updates(shared, true);
    EXPECT_EQ(update_status(*shared), "Descargando 1.3.0…");
    EXPECT_EQ(posted(), 0);

    // Nothing listens on this test's port 443: the check fails on its own thread.
    shared->busy = false;
    check_for_updates(shared, true);
    EXPECT_TRUE(is_busy(*shared));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (is_busy(*shared) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(is_busy(*shared));
    EXPECT_EQ(update_status(*shared), "No se pudo consultar el servidor");
    EXPECT_EQ(posted(), 2);  // "Buscando…", then the outcome
}

TEST(HttpGet, RefusesEveryTargetButHttpsOnPort443AtTheUpdateHost) {
    EXPECT_EQ(feed_url(), "https://localhost/software/torvane/appcast-windows.json");
    // The rules themselves are the URL tests'; here, that every request obeys them.
    for (const char* url : {"http://localhost/x", "https://localhost:8443/x", "https://evil/x"}) {
        const HttpResult result = http_get(url, 5, 1024, 0);
        ASSERT_FALSE(result) << url;
        EXPECT_EQ(result.error().message, refused_target) << url;
    }
    // Allowed, but nothing answers.
    const HttpResult down = http_get("https://LOCALHOST:0443/x", 5, 1024, 0);
    ASSERT_FALSE(down);
    EXPECT_NE(down.error().message, refused_target);
    EXPECT_NE(down.error().code, 0);
}
