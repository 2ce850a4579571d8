#include "platform/wayland/GnomeShell.h"

#include "platform/Termination.h"
#include "platform/TitleMatch.h"
#include "platform/wayland/TargetCheck.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace qmpvx::wayland {

namespace {

constexpr const char* kShell = "org.gnome.Shell";
constexpr const char* kPath = "/io/github/qm_pvx/Shell";
constexpr const char* kInterface = "io.github.qm_pvx.Shell1";
constexpr std::string_view kErrorPrefix = "io.github.qm_pvx.Shell1.Error.";
// The interface this program speaks; the extension answers with the one it has.
constexpr std::uint32_t kNeededVersion = 1;
// The shell answers from its main loop, which drawing holds up.
constexpr std::uint64_t kCallTimeout = 5'000'000;
// Activation waits up to 2 s for the focus inside the shell.
constexpr std::uint64_t kActivateTimeout = 8'000'000;
constexpr auto kDispatchSlice = std::chrono::milliseconds(20);
constexpr auto kCancelAnswer = std::chrono::seconds(2);

// The extension's states, as GNOME Shell reports them.
enum ExtensionState { kEnabled = 1, kDisabled = 2, kError = 3, kOutOfDate = 4, kInitialized = 6 };

const std::string kEnableStep = std::string("enable the GNOME Shell extension ") + kGnomeExtension +
                                " (installed with the package) with `gnome-extensions enable " + kGnomeExtension +
                                "`, then log out and in again (GNOME Shell on Wayland loads new extensions "
                                "only at login).";

std::runtime_error lostBus(int error)
{
    return std::runtime_error(std::string("The session bus (D-Bus) failed while talking to GNOME Shell: ") +
                              std::strerror(-error) + ".");
}

// The extension's state by GNOME Shell's own list; 0 when it does not know it.
int extensionState(sd_bus* bus)
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    double state = 0;
    if (sd_bus_call_method(bus, kShell, "/org/gnome/Shell", "org.gnome.Shell.Extensions", "GetExtensionInfo",
                           &error, &reply, "s", kGnomeExtension) >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "{sv}") > 0) {
        while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
            const char* key = nullptr;
            if (sd_bus_message_read(reply, "s", &key) < 0)
                break;
            if (std::strcmp(key, "state") == 0)
                sd_bus_message_read(reply, "v", "d", &state);
            else
                sd_bus_message_skip(reply, "v");
            sd_bus_message_exit_container(reply);
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return static_cast<int>(state);
}

// A refusal of the extension's own: its reason, for the caller to place.
class ExtensionRefusal : public std::runtime_error {
public:
    ExtensionRefusal(std::string_view reason, const std::string& message)
        : std::runtime_error(std::string("The GNOME Shell extension ") + kGnomeExtension + " refused: " + message +
                             " Nothing was typed."),
          reason_(reason), message_(message)
    {
    }
    const std::string& reason() const { return reason_; }
    const std::string& message() const { return message_; }

private:
    std::string reason_;
    std::string message_;
};

bool noSuchObject(const sd_bus_error& error)
{
    return sd_bus_error_has_names(&error, SD_BUS_ERROR_UNKNOWN_OBJECT, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                                  SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_PROPERTY);
}

} // namespace

void GnomeShell::MessageDeleter::operator()(sd_bus_message* message) const noexcept { sd_bus_message_unref(message); }

GnomeShell::GnomeShell()
{
    sd_bus_set_method_call_timeout(bus_.get(), kCallTimeout);
    if (bus_.ownerOf(kShell).empty())
        throw std::runtime_error("GNOME Shell is not on the session bus (D-Bus), so its windows cannot be found. "
                                 "Start the program inside the GNOME session. Nothing was typed.");
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::uint32_t version = 0;
    const int result =
        sd_bus_get_property_trivial(bus_.get(), kShell, kPath, kInterface, "Version", &error, 'u', &version);
    const bool missing = result < 0 && (noSuchObject(error) || sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN));
    sd_bus_error_free(&error);
    if (missing)
        extensionMissing();
    if (result < 0)
        throw std::runtime_error("GNOME Shell did not answer on the session bus within 5 s. Try again. "
                                 "Nothing was typed.");
    if (version < kNeededVersion)
        throw std::runtime_error(std::string("The GNOME Shell extension ") + kGnomeExtension +
                                 " that runs is older than this program. Log out and in again (GNOME Shell keeps "
                                 "the version it loaded at login); if that does not help, install the package "
                                 "again. Nothing was typed.");
}

bool GnomeShell::onSessionBus() noexcept
{
    try {
        return !SessionBus().ownerOf(kShell).empty();
    } catch (const std::exception&) {
        return false;
    }
}

void GnomeShell::extensionMissing()
{
    const std::string extension = std::string("This program reaches windows on GNOME through its GNOME Shell "
                                              "extension ") + kGnomeExtension + ", which ";
    switch (extensionState(bus_.get())) {
    case kError:
        throw std::runtime_error(extension + "failed to start (`journalctl --user -b` shows why). Install the "
                                 "package again, then log out and in again. Nothing was typed.");
    case kOutOfDate:
        throw std::runtime_error(extension + "does not support this version of GNOME Shell. Install a package "
                                 "made for it, then log out and in again. Nothing was typed.");
    case kEnabled:
        throw std::runtime_error(extension + "is enabled but not running yet: log out and in again. Nothing was "
                                 "typed.");
    case kDisabled:
    case kInitialized:
        throw std::runtime_error(extension + "is turned off. To type on GNOME, " + kEnableStep +
                                 " Nothing was typed.");
    default:
        throw std::runtime_error(extension + "is not running. To type on GNOME, " + kEnableStep +
                                 " Nothing was typed.");
    }
}

void GnomeShell::refused(const char* errorName, const char* message)
{
    const std::string_view name(errorName ? errorName : "");
    const std::string why(message ? message : "");
    if (name == SD_BUS_ERROR_UNKNOWN_OBJECT || name == SD_BUS_ERROR_UNKNOWN_INTERFACE ||
        name == SD_BUS_ERROR_UNKNOWN_METHOD || name == SD_BUS_ERROR_SERVICE_UNKNOWN)
        extensionMissing();
    if (name == SD_BUS_ERROR_NO_REPLY || name == SD_BUS_ERROR_TIMEOUT)
        throw std::runtime_error("GNOME Shell did not answer the program's extension in time. Try again. Nothing "
                                 "further was typed.");
    if (name.starts_with(kErrorPrefix) && name.substr(kErrorPrefix.size()) == "NotAllowed")
        throw std::runtime_error(std::string("The GNOME Shell extension ") + kGnomeExtension +
                                 " takes requests only from the installed program and the copies named in its "
                                 "setting, and this is " + why + ". To let this copy type, add its path: "
                                 "`gsettings set org.gnome.shell.extensions.qm-pvx extra-callers \"['" + why +
                                 "']\"`, then try again. Nothing was typed.");
    if (name.starts_with(kErrorPrefix))
        throw ExtensionRefusal(name.substr(kErrorPrefix.size()), why);
    throw std::runtime_error("GNOME Shell answered the program's extension with an error: " + why +
                             " Nothing further was typed.");
}

GnomeShell::Message GnomeShell::newCall(const char* member)
{
    sd_bus_message* message = nullptr;
    if (const int error = sd_bus_message_new_method_call(bus_.get(), &message, kShell, kPath, kInterface, member);
        error < 0)
        throw lostBus(error);
    return Message(message);
}

GnomeShell::Message GnomeShell::call(Message request, std::uint64_t timeoutMicroseconds,
                                     const std::function<void()>& waiting)
{
    struct Pending {
        Message reply;
        bool done = false;
        static int answered(sd_bus_message* reply, void* data, sd_bus_error*)
        {
            auto* self = static_cast<Pending*>(data);
            self->reply.reset(sd_bus_message_ref(reply));
            self->done = true;
            return 1;
        }
    } pending;
    sd_bus_slot* slot = nullptr;
    if (const int error = sd_bus_call_async(bus_.get(), &slot, request.get(), &Pending::answered, &pending,
                                            timeoutMicroseconds);
        error < 0)
        throw lostBus(error);
    const std::unique_ptr<sd_bus_slot, sd_bus_slot* (*)(sd_bus_slot*)> owned(slot, &sd_bus_slot_unref);
    while (!pending.done) {
        bus_.dispatchWithin(kDispatchSlice);
        if (!pending.done && waiting)
            waiting();
    }
    if (const sd_bus_error* error = sd_bus_message_get_error(pending.reply.get()))
        refused(error->name, error->message);
    return std::move(pending.reply);
}

std::vector<GnomeWindow> GnomeShell::windows()
{
    const Message reply = call(newCall("ListWindows"), kCallTimeout);
    std::vector<GnomeWindow> windows;
    sd_bus_message* m = reply.get();
    if (sd_bus_message_enter_container(m, 'a', "(tssu)") < 0)
        throw std::runtime_error("The GNOME Shell extension answered with a window list this program cannot read.");
    GnomeWindow window;
    const char* title = nullptr;
    const char* wmClass = nullptr;
    while (sd_bus_message_read(m, "(tssu)", &window.id, &title, &wmClass, &window.pid) > 0) {
        window.title = title;
        window.wmClass = wmClass;
        windows.push_back(window);
    }
    return windows;
}

GnomeLayout GnomeShell::layout()
{
    const Message reply = call(newCall("Layout"), kCallTimeout);
    const char* names[3] = {};
    if (sd_bus_message_read(reply.get(), "sss", &names[0], &names[1], &names[2]) < 0)
        throw std::runtime_error("The GNOME Shell extension answered with a layout this program cannot read.");
    return {names[0], names[1], names[2]};
}

void GnomeShell::activate(std::uint64_t id, const std::string& title)
{
    Message request = newCall("Activate");
    if (const int error = sd_bus_message_append(request.get(), "t", id); error < 0)
        throw lostBus(error);
    try {
        call(std::move(request), kActivateTimeout, [&] {
            stopIfTerminationRequested("Activating " + quotedTitle(title) + " stopped, and nothing was typed");
        });
    } catch (const ExtensionRefusal& refusal) {
        if (refusal.reason() == "Closed" || refusal.reason() == "NotActivated")
            throw notBroughtForward(title, refusal.message());
        throw;
    }
}

GnomeTyped GnomeShell::type(std::uint64_t id, const GnomeLayout& layout, const GnomeTypingPlan& plan)
{
    Message request = newCall("Type");
    sd_bus_message* m = request.get();
    int r = sd_bus_message_append(m, "tssu", id, layout.layout.c_str(), layout.variant.c_str(), plan.capsLockKey);
    std::size_t events = 0;
    if (r >= 0)
        r = sd_bus_message_open_container(m, 'a', "(a(ssau)a(ubb))");
    for (const GnomeSegment& segment : plan.segments) {
        if (r >= 0)
            r = sd_bus_message_open_container(m, 'r', "a(ssau)a(ubb)");
        if (r >= 0)
            r = sd_bus_message_open_container(m, 'a', "(ssau)");
        for (const GnomeBorrowedKey& key : segment.borrowed) {
            if (r >= 0)
                r = sd_bus_message_open_container(m, 'r', "ssau");
            if (r >= 0)
                r = sd_bus_message_append(m, "ss", key.name.c_str(), key.type.c_str());
            if (r >= 0)
                r = sd_bus_message_append_array(m, 'u', key.keysyms.data(), sizeof key.keysyms);
            if (r >= 0)
                r = sd_bus_message_close_container(m);
        }
        if (r >= 0)
            r = sd_bus_message_close_container(m);
        if (r >= 0)
            r = sd_bus_message_open_container(m, 'a', "(ubb)");
        for (const GnomeKeyEvent& event : segment.events) {
            if (r >= 0)
                r = sd_bus_message_append(m, "(ubb)", event.evdevCode, static_cast<int>(event.press),
                                          static_cast<int>(event.endsTap));
        }
        events += segment.events.size();
        if (r >= 0)
            r = sd_bus_message_close_container(m);
        if (r >= 0)
            r = sd_bus_message_close_container(m);
    }
    if (r >= 0)
        r = sd_bus_message_close_container(m);
    if (r < 0)
        throw lostBus(r);

    // The extension paces the keys itself (about a millisecond each) and
    // answers when it is done; a termination request cancels the rest.
    const std::uint64_t timeout = 30'000'000 + 5'000 * static_cast<std::uint64_t>(events);
    bool cancelled = false;
    std::chrono::steady_clock::time_point cancelledAt;
    const auto cancel = [&] {
        cancelled = true;
        cancelledAt = std::chrono::steady_clock::now();
        sd_bus_call_method_async(bus_.get(), nullptr, kShell, kPath, kInterface, "Cancel", nullptr, nullptr,
                                 nullptr);
        sd_bus_flush(bus_.get());
    };
    Message reply;
    try {
        reply = call(std::move(request), timeout, [&] {
            if (!cancelled && terminationRequested())
                cancel();
            // The extension puts everything back by itself once this program is gone.
            if (cancelled && std::chrono::steady_clock::now() - cancelledAt > kCancelAnswer)
                throw TerminationRequested(terminationRequested(), "Typing stopped; GNOME Shell did not say within "
                                                                   "2 s after how many keys");
        });
    } catch (const std::runtime_error&) {
        // Not answered in time: whatever is still being typed stops.
        if (!cancelled)
            cancel();
        throw;
    }
    std::uint32_t taps = 0;
    const char* outcome = nullptr;
    if (sd_bus_message_read(reply.get(), "us", &taps, &outcome) < 0)
        throw std::runtime_error("The GNOME Shell extension answered with a result this program cannot read.");
    return {taps, outcome};
}

} // namespace qmpvx::wayland
