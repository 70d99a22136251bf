#include "platform/linux/linuxaccessibilitytrust.h"

#include "platform/linux/sessionbus.h"
#include "platform/linux/xcbconnection.h"

#include <dbus/dbus.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace korvane {
namespace {

constexpr int busTimeoutMs = 1000;
constexpr const char* statusBusName = "org.a11y.Bus";

using Message = SessionBus::Message;

// A call of the bus daemon's `method` with one string argument.
Message busDaemonCall(const char* method, const char* argument) {
    Message call(
        dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, method));
    if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

// The unique connection name of org.a11y.Bus's owner when `isLauncher` accepts its process. Later
// calls go to that name, which no other connection can ever take, rather than to the well-known one.
std::optional<std::string> launcherConnection(const SessionBus& bus,
                                              const LinuxAccessibilityTrust::LauncherCheck& isLauncher) {
    Message ownerCall = busDaemonCall("GetNameOwner", statusBusName);
    Message ownerReply = ownerCall ? bus.call(ownerCall.get()) : nullptr;
    const char* owner = nullptr;
    if (!ownerReply ||
        !dbus_message_get_args(ownerReply.get(), nullptr, DBUS_TYPE_STRING, &owner, DBUS_TYPE_INVALID)) {
        return std::nullopt;
    }
    const std::string connection(owner);
    Message pidCall = busDaemonCall("GetConnectionUnixProcessID", connection.c_str());
    Message pidReply = pidCall ? bus.call(pidCall.get()) : nullptr;
    dbus_uint32_t pid = 0;
    if (!pidReply ||
        !dbus_message_get_args(pidReply.get(), nullptr, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID) ||
        pid == 0 || pid > INT32_MAX || !isLauncher(static_cast<std::int32_t>(pid))) {
        return std::nullopt;
    }
    return connection;
}

// A call of org.freedesktop.DBus.Properties.`method` on the status object of the accessibility bus
// at `destination`, with the interface and property names already appended.
Message statusPropertyCall(const std::string& destination, const char* method) {
    Message call(dbus_message_new_method_call(destination.c_str(), "/org/a11y/bus",
                                              "org.freedesktop.DBus.Properties", method));
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                           &property, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

// Switches the session's accessibility bus on through its launcher.
void switchAccessibilityBusOn() {
    const std::optional<SessionBus> bus = SessionBus::open(busTimeoutMs);
    const auto launcher =
        bus ? launcherConnection(*bus, LinuxAccessibilityTrust::isAccessibilityBusLauncher) : std::nullopt;
    Message call = launcher ? statusPropertyCall(*launcher, "Set") : nullptr;
    if (!call) {
        return;
    }
    DBusMessageIter iter;
    DBusMessageIter variant;
    dbus_message_iter_init_append(call.get(), &iter);
    const dbus_bool_t enabled = TRUE;
    if (!dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant)) {
        return;
    }
    if (!dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &enabled) ||
        !dbus_message_iter_close_container(&iter, &variant)) {
        dbus_message_iter_abandon_container(&iter, &variant);
        return;
    }
    bus->call(call.get());
}

} // namespace

LinuxAccessibilityTrust::LinuxAccessibilityTrust(Scheduler& mainScheduler, Check check)
    : mainScheduler_(mainScheduler)
    , check_(std::move(check)) {}

LinuxAccessibilityTrust::~LinuxAccessibilityTrust() = default;

// A bus that never answers holds no caller, often the main thread: until the first answer comes the
// program is not trusted, and the observer hears when it is.
bool LinuxAccessibilityTrust::isTrusted() const {
    startRefresh();
    std::lock_guard lock(mutex_);
    return lastAnswer_.value_or(false);
}

void LinuxAccessibilityTrust::requestTrust() {
    worker_.enqueue(switchAccessibilityBusOn);
    startRefresh();
}

void LinuxAccessibilityTrust::setOnTrustChanged(std::function<void(bool isTrusted)> onTrustChanged) {
    const bool observed = static_cast<bool>(onTrustChanged);
    {
        std::lock_guard lock(mutex_);
        tellNextAnswer_ = observed;
        onTrustChanged_ = std::move(onTrustChanged);
    }
    if (observed) {
        startRefresh();
    }
}

void LinuxAccessibilityTrust::startRefresh() const {
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(refreshing_, true)) {
            return;
        }
    }
    worker_.enqueue([this] { refresh(); });
}

// Answers are told only from this one worker thread, so they reach the main thread in the order
// they were found.
void LinuxAccessibilityTrust::refresh() const {
    const bool answer = check_();
    std::function<void(bool)> tell;
    {
        std::lock_guard lock(mutex_);
        if (lastAnswer_ != answer || tellNextAnswer_) {
            tell = onTrustChanged_;
        }
        tellNextAnswer_ = false;
        lastAnswer_ = answer;
        refreshing_ = false;
    }
    if (tell) {
        mainScheduler_.post([tell = std::move(tell), answer] { tell(answer); });
    }
}

bool LinuxAccessibilityTrust::defaultCheck() {
    return displayOffersInput() && accessibilityBusEnabled();
}

bool LinuxAccessibilityTrust::displayOffersInput() {
    auto display = x11::XcbConnection::open();
    return display && display->hasInputExtensions();
}

bool LinuxAccessibilityTrust::accessibilityBusEnabled(const LauncherCheck& isLauncher) {
    const std::optional<SessionBus> bus = SessionBus::open(busTimeoutMs);
    const auto launcher = bus ? launcherConnection(*bus, isLauncher) : std::nullopt;
    Message call = launcher ? statusPropertyCall(*launcher, "Get") : nullptr;
    Message reply = call ? bus->call(call.get()) : nullptr;
    if (!reply) {
        return false;
    }
    DBusMessageIter iter;
    DBusMessageIter variant;
    if (!dbus_message_iter_init(reply.get(), &iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT) {
        return false;
    }
    dbus_message_iter_recurse(&iter, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_BOOLEAN) {
        return false;
    }
    dbus_bool_t enabled = FALSE;
    dbus_message_iter_get_basic(&variant, &enabled);
    return enabled != FALSE;
}

// The program is judged by its file as it runs (the link followed to it), so that a launcher whose
// package was upgraded under it still counts.
bool LinuxAccessibilityTrust::isAccessibilityBusLauncher(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    std::error_code error;
    std::string target = std::filesystem::read_symlink(exe, error).string();
    constexpr std::string_view replaced = " (deleted)";
    if (target.ends_with(replaced)) {
        target.resize(target.size() - replaced.size());
    }
    struct stat program {};
    return !error && std::filesystem::path(target).filename() == "at-spi-bus-launcher" &&
           ::stat(exe.c_str(), &program) == 0 && S_ISREG(program.st_mode) && program.st_uid == 0 &&
           (program.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace korvane
