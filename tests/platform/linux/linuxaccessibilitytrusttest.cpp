#include "platform/linux/linuxaccessibilitytrust.h"

#include "fakestatusowner.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/x11keytap.h"
#include "postedtasks.h"
#include "privatebus.h"
#include "support/polling.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dbus/dbus.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

using test::FakeStatusOwner;
using test::PrivateBus;
using test::ScopedEnv;

// A listening socket that takes connections into its backlog and never answers on them: a display
// or a bus that has stopped responding.
class SilentServer {
public:
    // `path` starting with '@' names an abstract socket.
    explicit SilentServer(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), std::min(path.size(), sizeof address.sun_path - 1));
        if (path[0] == '@') {
            address.sun_path[0] = '\0';
        }
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
        listening_ =
            ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0 && ::listen(fd_, 16) == 0;
    }
    ~SilentServer() { ::close(fd_); }
    bool listening() const { return listening_; }

private:
    int fd_ = -1;
    bool listening_ = false;
};

// Runs `check` on a thread of its own; its answer, or nothing when it has not returned within
// `seconds` (the thread is then left behind, stuck).
template <typename T> std::optional<T> within(double seconds, std::function<T()> check) {
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<T> answer;
    };
    auto state = std::make_shared<State>();
    std::thread([state, check] {
        T answer = check();
        std::lock_guard lock(state->mutex);
        state->answer = answer;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    state->done.wait_for(lock, std::chrono::duration<double>(seconds),
                         [&] { return state->answer.has_value(); });
    return state->answer;
}

// Only the launcher's word counts, and an owner that stops answering holds no caller: each call
// gives the last answer at once while one question waits, and a late answer still counts.
TEST(LinuxAccessibilityTrustTest, OnlyTheLauncherIsAskedAndAStalledOneHoldsNoCaller) {
    dbus_threads_init_default();
    PrivateBus bus;
    ASSERT_FALSE(bus.address().empty());
    ScopedEnv busVariable("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str());
    FakeStatusOwner owner(bus.address());
    ASSERT_TRUE(owner.owns());
    owner.answer(true);
    const auto isOwner = [](std::int32_t pid) { return pid == ::getpid(); };
    EXPECT_FALSE(LinuxAccessibilityTrust::isAccessibilityBusLauncher(::getpid()));
    EXPECT_FALSE(LinuxAccessibilityTrust::accessibilityBusEnabled());
    EXPECT_TRUE(LinuxAccessibilityTrust::accessibilityBusEnabled(isOwner));

    test::PostedTasks mainThread;
    LinuxAccessibilityTrust trust(
        mainThread, [isOwner] { return LinuxAccessibilityTrust::accessibilityBusEnabled(isOwner); });
    std::vector<bool> heard;
    trust.setOnTrustChanged([&](bool trusted) { heard.push_back(trusted); });
    ASSERT_TRUE(mainThread.runUntil([&] { return !heard.empty(); }));
    EXPECT_EQ(heard, std::vector{true});
    owner.hold();
    const int asked = owner.calls();
    EXPECT_TRUE(trust.isTrusted());
    ASSERT_TRUE(test::pollUntil([&] { return owner.held() == 1; }));
    EXPECT_TRUE(trust.isTrusted());
    EXPECT_TRUE(trust.isTrusted());
    EXPECT_EQ(owner.calls(), asked + 1);
    owner.answer(false);
    EXPECT_TRUE(test::pollUntil([&] { return !trust.isTrusted(); }));

    owner.hold();
    ASSERT_TRUE(test::pollUntil([&] { return !trust.isTrusted() && owner.held() == 1; }));
    owner.answer(true);
    EXPECT_TRUE(test::pollUntil([&] { return trust.isTrusted(); }));
}

// No caller waits for an answer, not even the first: until it comes the program is not trusted. The
// observer hears on the main thread the first answer, then only answers that differ; an observer set
// later hears the answer as it stands.
TEST(LinuxAccessibilityTrustTest, NoCallerWaitsAndTheObserverHearsEachNewAnswer) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> enabled{true};
    std::atomic<int> questions{0};
    test::PostedTasks mainThread;
    LinuxAccessibilityTrust trust(mainThread, [released, &enabled, &questions] {
        released.wait();
        ++questions;
        return enabled.load();
    });
    const std::thread::id mainThreadID = std::this_thread::get_id();
    std::vector<bool> heard;
    bool heardOnMainThread = true;
    trust.setOnTrustChanged([&](bool trusted) {
        heard.push_back(trusted);
        heardOnMainThread = heardOnMainThread && std::this_thread::get_id() == mainThreadID;
    });
    EXPECT_FALSE(trust.isTrusted());
    EXPECT_FALSE(trust.isTrusted());
    release.set_value();
    ASSERT_TRUE(mainThread.runUntil([&] { return !heard.empty(); }));
    // Asked again with the same answer: nothing to tell.
    EXPECT_TRUE(test::pollUntil([&] { return trust.isTrusted() && questions >= 3; }));
    enabled = false;
    EXPECT_TRUE(test::pollUntil([&] {
        trust.isTrusted();
        mainThread.runPosted();
        return heard.size() >= 2;
    }));
    EXPECT_EQ(heard, (std::vector{true, false}));
    EXPECT_TRUE(heardOnMainThread);

    std::vector<bool> heardLater;
    trust.setOnTrustChanged([&](bool trusted) { heardLater.push_back(trusted); });
    ASSERT_TRUE(mainThread.runUntil([&] { return !heardLater.empty(); }));
    EXPECT_EQ(heardLater, std::vector{false});
    EXPECT_EQ(heard.size(), 2u);
}

// A display or session bus that accepts the connection and never answers must not hang the trust
// check (it runs on the main thread), the request for the permission, nor the opening of the key tap.
TEST(LinuxAccessibilityTrustTest, ADisplayOrBusThatNeverAnswersIsNotTrustedWithinTheDeadline) {
    // A display number no server uses; the X library tries its abstract socket first.
    std::optional<SilentServer> display;
    int number = 900 + static_cast<int>(::getpid() % 50);
    for (int tries = 0; tries < 50; ++tries, ++number) {
        display.emplace("@/tmp/.X11-unix/X" + std::to_string(number));
        if (display->listening()) {
            break;
        }
    }
    ASSERT_TRUE(display->listening());
    test::TempDir dir;
    SilentServer bus((dir.path() / "bus").string());
    ASSERT_TRUE(bus.listening());
    const std::string displayName = ":" + std::to_string(number);
    const std::string busAddress = "unix:path=" + (dir.path() / "bus").string();
    ScopedEnv displayVariable("DISPLAY", displayName.c_str());
    ScopedEnv session("XDG_SESSION_TYPE", "x11");
    ScopedEnv busVariable("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str());

    const double bound = 5.0;
    auto journal = std::make_shared<x11::PostedKeyJournal>();
    EXPECT_EQ(within<bool>(bound, [journal] { return x11::X11KeyTap::open(journal) != nullptr; }), false);
    EXPECT_EQ(within<bool>(bound, [] { return LinuxAccessibilityTrust::displayOffersInput(); }), false);
    EXPECT_EQ(within<bool>(bound, [] { return LinuxAccessibilityTrust::accessibilityBusEnabled(); }), false);
    // A thread left behind still has its scheduler.
    auto mainThread = std::make_shared<test::PostedTasks>();
    EXPECT_EQ(within<bool>(bound, [mainThread] { return LinuxAccessibilityTrust(*mainThread).isTrusted(); }),
              false);
    // Asking for the permission (a press on the main thread) gives up as well.
    EXPECT_EQ(within<bool>(bound,
                           [mainThread] {
                               LinuxAccessibilityTrust(*mainThread).requestTrust();
                               return true;
                           }),
              true);
}

} // namespace
} // namespace korvane
