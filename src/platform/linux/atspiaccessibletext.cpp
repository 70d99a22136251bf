#include "platform/linux/atspiaccessibletext.h"

#include <unistd.h>

#include <atspi/atspi.h>
#include <dbus/dbus.h>
#include <deque>
#include <utility>
#include <string>

namespace korvane::atspi {
namespace {

// Owns one reference of a GObject.
template <typename T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* object)
        : object_(object) {}
    ~Ref() { reset(); }
    Ref(Ref&& other) noexcept
        : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void reset() {
        if (object_ != nullptr) {
            g_object_unref(object_);
            object_ = nullptr;
        }
    }

private:
    T* object_ = nullptr;
};

// Collects the error of one call and frees it.
class Error {
public:
    ~Error() { g_clear_error(&error_); }
    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    bool failed() const { return error_ != nullptr; }

private:
    GError* error_ = nullptr;
};

template <typename T> struct GFree {
    void operator()(T* pointer) const { g_free(pointer); }
};

bool hasState(AtspiAccessible* object, AtspiStateType state) {
    Ref<AtspiStateSet> states(atspi_accessible_get_state_set(object));
    return states && atspi_state_set_contains(states.get(), state);
}

std::size_t codePoints(const std::string& text) {
    return static_cast<std::size_t>(g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size())));
}

constexpr int caretTimeoutMs = 150;
// The library's own limits, restored after each caret query.
constexpr int defaultTimeoutMs = 800;
constexpr int defaultStartupTimeoutMs = 15000;

// An extents answer as a rectangle, or nothing when the call failed or the toolkit answered with
// an empty or nonsensical rectangle, as many do instead of an error.
std::optional<ScreenRect> usable(AtspiRect* rect, const Error& error) {
    std::unique_ptr<AtspiRect, GFree<AtspiRect>> owned(rect);
    if (error.failed() || !owned) {
        return std::nullopt;
    }
    const ScreenRect r{static_cast<double>(owned->x), static_cast<double>(owned->y),
                       static_cast<double>(owned->width), static_cast<double>(owned->height)};
    if (r.width < 0 || r.height <= 0 || (r.x == 0 && r.y == 0 && r.width == 0) || !r.isFinite()) {
        return std::nullopt;
    }
    return r;
}

class AtspiTextElement final : public AccessibleTextElement {
public:
    AtspiTextElement(Ref<AtspiAccessible> object, Ref<AtspiText> text)
        : object_(std::move(object))
        , text_(std::move(text)) {}

    std::optional<std::int32_t> processID() override {
        Error error;
        const guint pid = atspi_accessible_get_process_id(object_.get(), error.out());
        if (error.failed() || pid == 0) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(pid);
    }

    std::optional<TextSpan> selectedRange() override {
        Error error;
        const gint selections = atspi_text_get_n_selections(text_.get(), error.out());
        if (error.failed()) {
            return std::nullopt;
        }
        if (selections > 0) {
            std::unique_ptr<AtspiRange, GFree<AtspiRange>> range(atspi_text_get_selection(text_.get(), 0, error.out()));
            if (!error.failed() && range && range->start_offset >= 0 && range->end_offset >= range->start_offset) {
                return TextSpan{static_cast<std::size_t>(range->start_offset),
                                static_cast<std::size_t>(range->end_offset - range->start_offset)};
            }
            if (error.failed()) {
                return std::nullopt;
            }
        }
        const gint caret = atspi_text_get_caret_offset(text_.get(), error.out());
        if (error.failed() || caret < 0) {
            return std::nullopt;
        }
        return TextSpan{static_cast<std::size_t>(caret), 0};
    }

    bool setSelectedRange(TextSpan span) override {
        Error error;
        const gint selections = atspi_text_get_n_selections(text_.get(), error.out());
        if (error.failed()) {
            return false;
        }
        const auto start = static_cast<gint>(span.location);
        const auto end = static_cast<gint>(span.location + span.length);
        if (span.length == 0) {
            if (selections > 0) {
                atspi_text_remove_selection(text_.get(), 0, error.out());
            }
            return atspi_text_set_caret_offset(text_.get(), start, error.out()) && !error.failed();
        }
        const gboolean set = selections > 0 ? atspi_text_set_selection(text_.get(), 0, start, end, error.out())
                                            : atspi_text_add_selection(text_.get(), start, end, error.out());
        return set && !error.failed();
    }

    std::optional<ScreenRect> caretBounds() override {
        // The popup waits for this on every keystroke; a slow application costs a short while at
        // most, then the popup falls back to the window or the pointer.
        struct ShortTimeout {
            ShortTimeout() { atspi_set_timeout(caretTimeoutMs, caretTimeoutMs); }
            ~ShortTimeout() { atspi_set_timeout(defaultTimeoutMs, defaultStartupTimeoutMs); }
        } timeout;
        Error error;
        const gint caret = atspi_text_get_caret_offset(text_.get(), error.out());
        if (error.failed() || caret < 0) {
            return std::nullopt;
        }
        if (auto rect = usable(atspi_text_get_character_extents(text_.get(), caret, ATSPI_COORD_TYPE_SCREEN,
                                                                error.out()),
                               error)) {
            return rect;
        }
        if (caret == 0) {
            return std::nullopt;
        }
        // At the end of the text there is no character under the caret: it stands right of the last one.
        auto before = usable(atspi_text_get_range_extents(text_.get(), caret - 1, caret, ATSPI_COORD_TYPE_SCREEN,
                                                          error.out()),
                             error);
        if (!before) {
            return std::nullopt;
        }
        return ScreenRect{before->x + before->width, before->y, 0, before->height};
    }

    std::optional<std::string> text(TextSpan span) override {
        Error error;
        std::unique_ptr<gchar, GFree<gchar>> text(atspi_text_get_text(
            text_.get(), static_cast<gint>(span.location), static_cast<gint>(span.location + span.length),
            error.out()));
        if (error.failed() || !text) {
            return std::nullopt;
        }
        return std::string(text.get());
    }

    TextEditResult setSelectedText(const std::string& replacement) override {
        Ref<AtspiEditableText> editable(atspi_accessible_get_editable_text_iface(object_.get()));
        if (!editable) {
            return TextEditResult::refused;
        }
        const std::optional<TextSpan> span = selectedRange();
        if (!span) {
            return TextEditResult::refused;
        }
        const auto start = static_cast<gint>(span->location);
        Error error;
        std::optional<std::string> removed;
        if (span->length > 0) {
            removed = text(*span);
            if (!removed) {
                return TextEditResult::refused;
            }
            const gboolean deleted = atspi_editable_text_delete_text(
                editable.get(), start, static_cast<gint>(span->location + span->length), error.out());
            if (!deleted || error.failed()) {
                // A call that timed out may still have been carried out.
                return text(*span) == removed ? TextEditResult::refused : TextEditResult::failed;
            }
        }
        if (!replacement.empty()) {
            const gboolean inserted = atspi_editable_text_insert_text(
                editable.get(), start, replacement.c_str(), static_cast<gint>(replacement.size()), error.out());
            if (!inserted || error.failed()) {
                if (!removed) {
                    return TextEditResult::refused;
                }
                // Put back what was deleted, so that the caller finds the text as it was.
                const gboolean undone = atspi_editable_text_insert_text(
                    editable.get(), start, removed->c_str(), static_cast<gint>(removed->size()), error.out());
                return undone && !error.failed() ? TextEditResult::refused : TextEditResult::failed;
            }
        }
        atspi_text_set_caret_offset(text_.get(), start + static_cast<gint>(codePoints(replacement)), error.out());
        return TextEditResult::done;
    }

private:
    Ref<AtspiAccessible> object_;
    Ref<AtspiText> text_;
};

// The library asks the bus for every object other programs add and for every change of children,
// property and state of theirs, and keeps each object it hears of until its program goes: a terminal
// opening tabs, or a screen reader asking programs for all their events, grew this process without
// end. Only focus is followed here, and the listener's own rule asks for that alone; removals stay
// heard, so that what is kept goes when its program drops it.
constexpr const char* broadRules[] = {
    "type='signal',interface='org.a11y.atspi.Cache',member='AddAccessible'",
    "type='signal',interface='org.a11y.atspi.Event.Object',member='ChildrenChanged'",
    "type='signal',interface='org.a11y.atspi.Event.Object',member='PropertyChange'",
    "type='signal',interface='org.a11y.atspi.Event.Object',member='StateChanged'",
};

void dropBroadRules() {
    DBusConnection* bus = atspi_get_a11y_bus();
    if (bus == nullptr) {
        return;
    }
    for (const char* rule : broadRules) {
        // Without an error to fill, the request is sent and not waited for.
        dbus_bus_remove_match(bus, rule, nullptr);
    }
}

} // namespace

std::shared_ptr<AtspiAccessibleText> AtspiAccessibleText::create() {
    // 0: started now; 1: someone in this process did it before.
    const int started = atspi_init();
    if (started > 1) {
        return nullptr;
    }
    if (started == 0) {
        dropBroadRules();
    }
    Ref<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) {
        return nullptr;
    }
    std::shared_ptr<AtspiAccessibleText> text(new AtspiAccessibleText());
    text->listener_ = atspi_event_listener_new(&AtspiAccessibleText::onFocusEvent, text.get(), nullptr);
    Error error;
    if (text->listener_ == nullptr ||
        !atspi_event_listener_register(text->listener_, "object:state-changed:focused", error.out())) {
        return nullptr;
    }
    return text;
}

AtspiAccessibleText::~AtspiAccessibleText() {
    if (listener_ != nullptr) {
        atspi_event_listener_deregister(listener_, "object:state-changed:focused", nullptr);
        g_object_unref(listener_);
    }
    if (focused_ != nullptr) {
        g_object_unref(focused_);
    }
}

// Korvane's own windows answer accessibility calls on the main thread, which is the thread that
// would be asking: a synchronous call to ourselves waits out the whole bus timeout.
bool AtspiAccessibleText::belongsToKorvane(AtspiAccessible* object) {
    Error error;
    const guint pid = atspi_accessible_get_process_id(object, error.out());
    return !error.failed() && pid == static_cast<guint>(::getpid());
}

void AtspiAccessibleText::onFocusEvent(AtspiEvent* event, void* self) {
    auto* text = static_cast<AtspiAccessibleText*>(self);
    if (event->source != nullptr) {
        if (event->detail1 != 0) {
            if (text->focused_ != nullptr) {
                g_object_unref(text->focused_);
                text->focused_ = nullptr;
            }
            if (belongsToKorvane(event->source)) {
                g_boxed_free(ATSPI_TYPE_EVENT, event);
                return;
            }
            text->focused_ = static_cast<AtspiAccessible*>(g_object_ref(event->source));
        } else if (event->source == text->focused_) {
            g_object_unref(text->focused_);
            text->focused_ = nullptr;
        }
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

AtspiAccessible* AtspiAccessibleText::findFocused() {
    Ref<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) {
        return nullptr;
    }
    Error error;
    std::deque<Ref<AtspiAccessible>> queue;
    const gint applications = atspi_accessible_get_child_count(desktop.get(), error.out());
    for (gint a = 0; a < applications; ++a) {
        Ref<AtspiAccessible> application(atspi_accessible_get_child_at_index(desktop.get(), a, error.out()));
        if (!application || belongsToKorvane(application.get())) {
            continue;
        }
        const gint windows = atspi_accessible_get_child_count(application.get(), error.out());
        for (gint w = 0; w < windows; ++w) {
            Ref<AtspiAccessible> window(atspi_accessible_get_child_at_index(application.get(), w, error.out()));
            if (window && hasState(window.get(), ATSPI_STATE_ACTIVE)) {
                queue.push_back(std::move(window));
            }
        }
    }
    for (int visited = 0; !queue.empty() && visited < searchLimit; ++visited) {
        Ref<AtspiAccessible> object = std::move(queue.front());
        queue.pop_front();
        if (hasState(object.get(), ATSPI_STATE_FOCUSED)) {
            return static_cast<AtspiAccessible*>(g_object_ref(object.get()));
        }
        const gint children = atspi_accessible_get_child_count(object.get(), error.out());
        for (gint c = 0; c < children; ++c) {
            Ref<AtspiAccessible> child(atspi_accessible_get_child_at_index(object.get(), c, error.out()));
            if (child) {
                queue.push_back(std::move(child));
            }
        }
    }
    return nullptr;
}

bool AtspiAccessibleText::focusedObjectHasRole(int role) {
    if (focused_ == nullptr) {
        return false;
    }
    // Asked every few seconds on the main thread: an application that does not answer must not
    // hold it up.
    struct ShortTimeout {
        ShortTimeout() { atspi_set_timeout(caretTimeoutMs, caretTimeoutMs); }
        ~ShortTimeout() { atspi_set_timeout(defaultTimeoutMs, defaultStartupTimeoutMs); }
    } timeout;
    if (!hasState(focused_, ATSPI_STATE_FOCUSED)) {
        return false;
    }
    Error error;
    const AtspiRole actual = atspi_accessible_get_role(focused_, error.out());
    return !error.failed() && static_cast<int>(actual) == role;
}

std::unique_ptr<AccessibleTextElement> AtspiAccessibleText::focusedElement() {
    if (focused_ != nullptr && !hasState(focused_, ATSPI_STATE_FOCUSED)) {
        g_object_unref(focused_);
        focused_ = nullptr;
    }
    Ref<AtspiAccessible> object(focused_ != nullptr ? static_cast<AtspiAccessible*>(g_object_ref(focused_))
                                                    : findFocused());
    if (!object) {
        return nullptr;
    }
    Ref<AtspiText> text(atspi_accessible_get_text_iface(object.get()));
    if (!text) {
        return nullptr;
    }
    return std::make_unique<AtspiTextElement>(std::move(object), std::move(text));
}

} // namespace korvane::atspi
