#pragma once

#include <atomic>
#include <dbus/dbus.h>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvane::test {

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

} // namespace korvane::test
