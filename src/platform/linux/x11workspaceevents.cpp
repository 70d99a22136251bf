#include "platform/linux/x11workspaceevents.h"

#include "platform/linux/boundedreply.h"
#include "platform/linux/x11windowinspector.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace korvane::x11 {

// The callback while started. Main thread only.
struct X11WorkspaceEvents::Delivery {
    std::function<void(const Activation&)> onActivate;
};

namespace {

Deadline replyDeadline() {
    return std::chrono::steady_clock::now() + X11WorkspaceEvents::replyTimeout;
}

// How long "no active window" must last to be reported.
constexpr std::chrono::milliseconds noWindowGrace{150};

xcb_get_property_cookie_t requestActiveWindowOf(const XcbConnection& connection, xcb_atom_t atom) {
    return xcb_get_property(connection.get(), 0, connection.root(), atom, XCB_ATOM_WINDOW, 0, 1);
}

// Runs on the reader thread: waits for changes of the active window on `events` and posts each new one.
class ActiveWindowReader {
public:
    // `initial` asks for the window active when the events were selected.
    ActiveWindowReader(std::unique_ptr<XcbConnection> events, xcb_atom_t activeAtom,
                       xcb_get_property_cookie_t initial, int stopEvent,
                       std::shared_ptr<DesktopFileIndex> installed,
                       std::function<void(WorkspaceEvents::Activation)> post)
        : events_(std::move(events))
        , activeAtom_(activeAtom)
        , initial_(initial)
        , stopEvent_(stopEvent)
        , installed_(std::move(installed))
        , post_(std::move(post)) {}

    void run() {
        pthread_setname_np(pthread_self(), "korvane-wspace");
        xcb_connection_t* c = events_->get();
        last_ = activeWindow(initial_);
        if (last_) {
            follow(std::nullopt, *last_);
        }
        pollfd descriptors[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {stopEvent_, POLLIN, 0}};
        for (;;) {
            bool changed = false;
            while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
                const auto type = event->response_type & 0x7f;
                if (type == XCB_PROPERTY_NOTIFY) {
                    const auto& notify = *reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
                    changed = changed || (notify.window == events_->root() && notify.atom == activeAtom_);
                } else {
                    forgetIfGone(*event);
                }
            }
            if (events_->hasError()) {
                return;
            }
            // Reading the window may have queued further events; they are looked at before waiting.
            if (changed) {
                activeWindowChanged();
                continue;
            }
            int timeout = -1;
            if (noWindowSince_) {
                auto left = std::chrono::ceil<std::chrono::milliseconds>(*noWindowSince_ + noWindowGrace -
                                                                         std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    noWindowSince_.reset();
                    report(XCB_NONE);
                    continue;
                }
                timeout = static_cast<int>(left.count());
            }
            descriptors[0].revents = descriptors[1].revents = 0;
            if (::poll(descriptors, 2, timeout) < 0 && errno != EINTR) {
                return;
            }
            if (descriptors[1].revents != 0) {
                return;
            }
        }
    }

private:
    // The active window (XCB_NONE for none), or nothing when the server did not say in time. Read on
    // the event connection, which only this thread uses, so events that arrive meanwhile stay queued.
    std::optional<xcb_window_t> activeWindow(xcb_get_property_cookie_t request) {
        auto reply = awaitReply<xcb_get_property_reply_t>(events_->get(), request, replyDeadline());
        if (!reply) {
            return std::nullopt;
        }
        if (reply->type == XCB_NONE || reply->format != 32 ||
            xcb_get_property_value_length(reply.get()) < 4) {
            return XCB_NONE;
        }
        xcb_window_t window = XCB_NONE;
        std::memcpy(&window, xcb_get_property_value(reply.get()), sizeof window);
        return window;
    }

    void activeWindowChanged() {
        auto window = activeWindow(requestActiveWindowOf(*events_, activeAtom_));
        if (!window) {
            return;
        }
        // Window managers pass through "no active window" on the way from one window to the next;
        // only a lasting one is a change.
        if (*window == XCB_NONE) {
            if (!noWindowSince_ && last_ != XCB_NONE) {
                noWindowSince_ = std::chrono::steady_clock::now();
            }
            return;
        }
        noWindowSince_.reset();
        report(*window);
    }

    void report(xcb_window_t window) {
        if (window == last_) {
            return;
        }
        follow(last_, window);
        last_ = window;
        post_(activation(window));
    }

    // The active window is forgotten once it is gone: destroyed, or already gone when it was to be
    // followed (a closed window the window manager still names as Korvane starts). Its id may go to a
    // new window, whose activation would then look like no change.
    void forgetIfGone(const xcb_generic_event_t& event) {
        std::optional<xcb_window_t> gone;
        if ((event.response_type & 0x7f) == XCB_DESTROY_NOTIFY) {
            gone = reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window;
        } else if (event.response_type == 0 &&
                   reinterpret_cast<const xcb_generic_error_t&>(event).error_code == XCB_WINDOW) {
            gone = reinterpret_cast<const xcb_generic_error_t&>(event).resource_id;
        }
        if (gone && last_ == gone) {
            last_.reset();
        }
    }

    // Hears when `window` is destroyed, and no longer when `previous` is.
    void follow(std::optional<xcb_window_t> previous, xcb_window_t window) {
        xcb_connection_t* c = events_->get();
        const std::uint32_t nothing = 0;
        const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        // The root's own events (the active window's changes) stay as they are.
        if (previous && *previous != XCB_NONE && *previous != events_->root()) {
            xcb_change_window_attributes(c, *previous, XCB_CW_EVENT_MASK, &nothing);
        }
        if (window != XCB_NONE && window != events_->root()) {
            xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &structure);
        }
        xcb_flush(c);
    }

    WorkspaceEvents::Activation activation(xcb_window_t window) {
        WorkspaceEvents::Activation result;
        if (window == XCB_NONE) {
            return result;
        }
        const Deadline deadline = replyDeadline();
        if (!inspector_ || inspector_->broken()) {
            inspector_ = X11WindowInspector::open(deadline);
        }
        if (!inspector_) {
            return result;
        }
        auto facts = inspector_->facts({window}, deadline).front();
        if (!facts.hints) {
            return result;
        }
        result.pid = facts.pid;
        auto installed = installed_->snapshot();
        result.bundleID = applicationIdentity(*facts.hints, *installed);
        if (result.bundleID) {
            const DesktopEntry* entry = installed->byID(*result.bundleID);
            result.name = entry && !entry->name.empty() ? entry->name : *result.bundleID;
        }
        return result;
    }

    std::unique_ptr<XcbConnection> events_;
    xcb_atom_t activeAtom_;
    xcb_get_property_cookie_t initial_;
    int stopEvent_;
    std::shared_ptr<DesktopFileIndex> installed_;
    std::function<void(WorkspaceEvents::Activation)> post_;
    std::unique_ptr<X11WindowInspector> inspector_;
    std::optional<xcb_window_t> last_;
    // When the window manager last said that no window is active, while that is not yet reported.
    std::optional<std::chrono::steady_clock::time_point> noWindowSince_;
};

} // namespace

X11WorkspaceEvents::X11WorkspaceEvents(Scheduler& scheduler, std::shared_ptr<DesktopFileIndex> installed)
    : scheduler_(scheduler)
    , installed_(std::move(installed)) {}

X11WorkspaceEvents::~X11WorkspaceEvents() {
    stop();
}

bool X11WorkspaceEvents::start(std::function<void(const Activation&)> onActivate) {
    stop();
    auto events = XcbConnection::open(replyTimeout);
    if (!events) {
        return false;
    }
    xcb_connection_t* c = events->get();
    constexpr std::string_view name = "_NET_ACTIVE_WINDOW";
    auto atom = awaitReply<xcb_intern_atom_reply_t>(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), replyDeadline());
    if (!atom) {
        return false;
    }
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, events->root(), XCB_CW_EVENT_MASK, &mask);
    // Asked after the selection and before returning: every later change comes as an event.
    auto initial = requestActiveWindowOf(*events, atom->atom);
    if (xcb_flush(c) <= 0) {
        return false;
    }
    UniqueFd stopEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stopEvent.valid()) {
        return false;
    }
    auto delivery = std::make_shared<Delivery>(Delivery{std::move(onActivate)});
    auto post = [&scheduler = scheduler_, weak = std::weak_ptr<Delivery>(delivery)](Activation activation) {
        scheduler.post([weak, activation = std::move(activation)] {
            // A copy: the callback may stop the events, which drops the delivery.
            auto delivery = weak.lock();
            auto onActivate = delivery ? delivery->onActivate : nullptr;
            if (onActivate) {
                onActivate(activation);
            }
        });
    };
    auto reader = std::make_shared<ActiveWindowReader>(std::move(events), atom->atom, initial,
                                                       stopEvent.get(), installed_, std::move(post));
    try {
        reader_ = std::thread([reader] { reader->run(); });
    } catch (const std::system_error&) {
        return false;
    }
    stopEvent_ = std::move(stopEvent);
    delivery_ = std::move(delivery);
    return true;
}

void X11WorkspaceEvents::stop() {
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(stopEvent_.get(), &one, sizeof one);
        reader_.join();
    }
    stopEvent_.reset();
    delivery_.reset();
}

} // namespace korvane::x11
