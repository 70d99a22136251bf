#include "platform/linux/linuxaccessibilitytrust.h"

#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/x11keytap.h"
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

// A session bus daemon of the test's own, stopped with it.
class PrivateBus {
public:
    PrivateBus() {
        FILE* pipe = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        char address[512] = {};
        char pid[32] = {};
        if (pipe && std::fgets(address, sizeof address, pipe) && std::fgets(pid, sizeof pid, pipe)) {
            address_ = std::string(address, std::strcspn(address, "\n"));
            pid_ = std::atoi(pid);
        }
        if (pipe) {
            ::pclose(pipe);
        }
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
    }
    const std::string& address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = 0;
};

// Owns org.a11y.Bus on `address` and answers org.a11y.Status IsEnabled from a thread of its own:
// with the answer it was last given, or, while holding, not until it is given one.
class FakeStatusOwner {
public:
    explicit FakeStatusOwner(const std::string& address) {
        DBusError error;
        dbus_error_init(&error);
        connection_ = dbus_connection_open_private(address.c_str(), &error);
        owns_ = connection_ && dbus_bus_register(connection_, &error) &&
                dbus_bus_request_name(connection_, "org.a11y.Bus", DBUS_NAME_FLAG_DO_NOT_QUEUE, &error) ==
                    DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER;
        dbus_error_free(&error);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeStatusOwner() {
        stopping_ = true;
        thread_.join();
        for (DBusMessage* call : held_) {
            dbus_message_unref(call);
        }
        if (connection_) {
            dbus_connection_close(connection_);
            dbus_connection_unref(connection_);
        }
    }
    bool owns() const { return owns_; }
    void answer(bool enabled) {
        std::lock_guard lock(mutex_);
        enabled_ = enabled;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        enabled_.reset();
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int held() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(held_.size());
    }

private:
    void serve() {
        while (!stopping_ && connection_) {
            dbus_connection_read_write(connection_, 5);
            std::lock_guard lock(mutex_);
            while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
                if (dbus_message_is_method_call(message, DBUS_INTERFACE_PROPERTIES, "Get")) {
                    ++calls_;
                    held_.push_back(message);
                } else {
                    dbus_message_unref(message);
                }
            }
            if (enabled_) {
                for (DBusMessage* call : held_) {
                    reply(call, *enabled_);
                }
                held_.clear();
            }
        }
    }
    void reply(DBusMessage* call, bool enabled) {
        DBusMessage* reply = dbus_message_new_method_return(call);
        DBusMessageIter iter;
        DBusMessageIter variant;
        const dbus_bool_t value = enabled ? TRUE : FALSE;
        dbus_message_iter_init_append(reply, &iter);
        dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value);
        dbus_message_iter_close_container(&iter, &variant);
        dbus_connection_send(connection_, reply, nullptr);
        dbus_message_unref(reply);
        dbus_message_unref(call);
    }

    DBusConnection* connection_ = nullptr;
    bool owns_ = false;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::optional<bool> enabled_ = false;
    int calls_ = 0;
    std::vector<DBusMessage*> held_;
    std::thread thread_;
};

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

    LinuxAccessibilityTrust trust(
        [isOwner] { return LinuxAccessibilityTrust::accessibilityBusEnabled(isOwner); });
    EXPECT_TRUE(trust.isTrusted());
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

// A first question still unanswered holds the first caller only for its wait: until the answer comes
// the program is not trusted, and then it is.
TEST(LinuxAccessibilityTrustTest, TheFirstAnswerIsWaitedForOnlyAWhile) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    LinuxAccessibilityTrust trust(
        [released] {
            released.wait();
            return true;
        },
        std::chrono::milliseconds(50));
    EXPECT_FALSE(trust.isTrusted());
    EXPECT_FALSE(trust.isTrusted());
    release.set_value();
    EXPECT_TRUE(test::pollUntil([&] { return trust.isTrusted(); }));
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
    EXPECT_EQ(within<bool>(bound, [] { return LinuxAccessibilityTrust().isTrusted(); }), false);
    // Asking for the permission (a press on the main thread) gives up as well.
    EXPECT_EQ(within<bool>(bound,
                           [] {
                               LinuxAccessibilityTrust().requestTrust();
                               return true;
                           }),
              true);
}

} // namespace
} // namespace korvane
