#include "platform/x11/LoanLedger.h"

#include "platform/Termination.h"
#include "platform/x11/Keyboard.h"

#include <xcb/xtest.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <random>
#include <thread>

namespace qmpvx::x11 {

namespace {

constexpr std::uint32_t kMaxRecord = 1 << 20;  // in 32-bit units, far beyond any real record
constexpr auto kPollInterval = std::chrono::milliseconds(20);

std::string hex(std::uint64_t value)
{
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value, 16).ptr;
    return std::string(text, end);
}

template <typename T>
bool readNumber(std::string_view text, T& value, int base)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            break;
        text.remove_prefix(at + 1);
    }
    return parts;
}

std::optional<LedgerEntry> parseEntry(std::string_view line)
{
    LedgerEntry entry;
    bool hasOwner = false;
    for (const std::string_view field : split(line, ' ')) {
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = field.substr(0, equals), value = field.substr(equals + 1);
        if (name == "owner") {
            hasOwner = readNumber(value, entry.owner, 16);
        } else if (name == "token") {
            entry.token = std::string(value);
        } else if (name == "pid") {
            if (!readNumber(value, entry.pid, 10))
                return std::nullopt;
        } else if (name == "typing" || name == "caps") {
            if (value != "0" && value != "1")
                return std::nullopt;
            (name == "typing" ? entry.typing : entry.capsLockOff) = value == "1";
        } else if (name == "pressed") {
            for (const std::string_view keycode : split(value, ',')) {
                std::uint8_t parsed = 0;
                if (!readNumber(keycode, parsed, 10))
                    return std::nullopt;
                entry.pressed.push_back(parsed);
            }
        } else if (name == "lent") {
            for (const std::string_view loan : split(value, ',')) {
                const std::size_t colon = loan.find(':');
                const std::vector<std::string_view> levels =
                    colon == std::string_view::npos ? std::vector<std::string_view>{} : split(loan.substr(colon + 1), '/');
                std::uint8_t keycode = 0;
                LevelSymbols keysyms{};
                if (levels.size() != keysyms.size() || !readNumber(loan.substr(0, colon), keycode, 10))
                    return std::nullopt;
                for (std::size_t level = 0; level < keysyms.size(); ++level) {
                    if (!readNumber(levels[level], keysyms[level], 16))
                        return std::nullopt;
                }
                entry.lent[keycode] = keysyms;
            }
        }
        // Unknown fields are a later version's: keep what this one understands.
    }
    if (!hasOwner || entry.token.empty())
        return std::nullopt;
    return entry;
}

bool worthRecording(const LedgerEntry& entry)
{
    return entry.typing || entry.capsLockOff || !entry.pressed.empty() || !entry.lent.empty();
}

// The server processes no other client's requests until released.
class ServerGrab {
public:
    explicit ServerGrab(XConnection& connection) : connection_(connection) { xcb_grab_server(connection.get()); }
    ~ServerGrab()
    {
        xcb_ungrab_server(connection_.get());
        xcb_flush(connection_.get());
    }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    XConnection& connection_;
};

} // namespace

std::string formatLedger(const std::vector<LedgerEntry>& entries)
{
    std::string text;
    for (const LedgerEntry& entry : entries) {
        text += "owner=" + hex(entry.owner) + " token=" + entry.token + " pid=" + std::to_string(entry.pid) +
                " typing=" + (entry.typing ? "1" : "0") + " caps=" + (entry.capsLockOff ? "1" : "0");
        if (!entry.pressed.empty()) {
            text += " pressed=";
            for (std::size_t i = 0; i < entry.pressed.size(); ++i) {
                if (i)
                    text += ',';
                text += std::to_string(entry.pressed[i]);
            }
        }
        if (!entry.lent.empty()) {
            text += " lent=";
            bool first = true;
            for (const auto& [keycode, keysyms] : entry.lent) {
                if (!first)
                    text += ',';
                text += std::to_string(keycode);
                for (std::size_t level = 0; level < keysyms.size(); ++level) {
                    text += level ? '/' : ':';
                    text += hex(keysyms[level]);
                }
                first = false;
            }
        }
        text += '\n';
    }
    return text;
}

std::vector<LedgerEntry> parseLedger(std::string_view text)
{
    std::vector<LedgerEntry> entries;
    for (const std::string_view line : split(text, '\n')) {
        if (auto entry = parseEntry(line))
            entries.push_back(std::move(*entry));
    }
    return entries;
}

std::string describe(const Repair& repair)
{
    std::string what;
    const auto add = [&what](const std::string& part) {
        if (!what.empty())
            what += ", ";
        what += part;
    };
    if (repair.keycodes)
        add(std::to_string(repair.keycodes) + " borrowed key code(s) emptied again");
    if (repair.keys)
        add(std::to_string(repair.keys) + " key(s) it may have held released");
    if (repair.capsLock)
        add("Caps Lock locked again");
    if (what.empty())
        what = "nothing needed undoing";
    return "An earlier run (process " + std::to_string(repair.pid) +
           ") ended while it was using the keyboard; repaired: " + what + ".";
}

LoanLedger::LoanLedger(XConnection& connection)
    : connection_(connection),
      record_(connection.atom("_QM_PVX_KEYBOARD")),
      ownerAtom_(connection.atom("_QM_PVX_KEYBOARD_OWNER"))
{
    xcb_connection_t* c = connection.get();
    own_.owner = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, own_.owner, connection.root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    std::random_device random;
    own_.token = hex((std::uint64_t{random()} << 32) | random());
    own_.pid = static_cast<std::uint32_t>(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, own_.owner, ownerAtom_, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(own_.token.size()), own_.token.data());
    connection.sync();
    published_ = own_;
}

LoanLedger::~LoanLedger()
{
    try {
        own_ = LedgerEntry{.owner = own_.owner, .token = own_.token, .pid = own_.pid, .pressed = {}, .lent = {}};
        publish();
    } catch (...) {
        // The connection is gone, and with it this run's window: the entry
        // reads as a dead run's, whose keyboard state the server has reset anyway.
    }
    xcb_destroy_window(connection_.get(), own_.owner);
    xcb_flush(connection_.get());
}

bool LoanLedger::alive(const LedgerEntry& entry)
{
    xcb_connection_t* c = connection_.get();
    xcb_generic_error_t* error = nullptr;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, entry.owner, ownerAtom_, XCB_ATOM_STRING, 0, 64), &error));
    const Reply<xcb_generic_error_t> ownedError(error);
    if (!reply) {
        if (!error)
            throw NoX11Session("The connection to the X server was lost.");
        return false;
    }
    const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string_view(value, static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))) ==
           entry.token;
}

Repair LoanLedger::repair(const LedgerEntry& entry)
{
    Repair done{entry.pid};
    std::vector<std::uint8_t> keycodes;
    for (const auto& [keycode, keysyms] : entry.lent)
        keycodes.push_back(keycode);
    const KeycodeSymbols current = readKeycodes(connection_, keycodes);
    std::vector<std::uint8_t> emptied;
    for (const auto& [keycode, keysyms] : entry.lent) {
        // Something else may have remapped it since: then it is not ours to empty.
        const auto found = current.find(keycode);
        if (found != current.end() && found->second == keysyms)
            emptied.push_back(keycode);
    }
    emptyKeycodes(connection_, emptied);
    done.keycodes = emptied.size();
    // A release of a key that is not down is ignored by the server.
    for (const std::uint8_t keycode : entry.pressed)
        xcb_test_fake_input(connection_.get(), XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    done.keys = entry.pressed.size();
    if (entry.capsLockOff) {
        Keyboard::lockCaps(connection_, true);
        done.capsLock = true;
    }
    return done;
}

template <typename Change>
auto LoanLedger::transact(Change&& change)
{
    xcb_connection_t* c = connection_.get();
    const ServerGrab grab(connection_);
    xcb_generic_error_t* error = nullptr;
    const auto reply = XConnection::check(
        xcb_get_property_reply(c, xcb_get_property(c, 0, connection_.root(), record_, XCB_ATOM_STRING, 0, kMaxRecord),
                               &error),
        &error, "read the keyboard record");
    const std::string_view text(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    std::vector<LedgerEntry> others;
    std::vector<Repair> repairs;
    bool dropped = false;
    for (LedgerEntry& entry : parseLedger(text)) {
        if (entry.owner == own_.owner && entry.token == own_.token)
            continue;
        if (alive(entry)) {
            others.push_back(std::move(entry));
        } else {
            repairs.push_back(repair(entry));
            dropped = true;
        }
    }
    const auto result = change(others, repairs);
    if (dropped || own_ != published_) {
        std::vector<LedgerEntry> all = others;
        if (worthRecording(own_))
            all.push_back(own_);
        const std::string written = formatLedger(all);
        if (written.empty())
            xcb_delete_property(c, connection_.root(), record_);
        else
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, connection_.root(), record_, XCB_ATOM_STRING, 8,
                                static_cast<std::uint32_t>(written.size()), written.data());
        published_ = own_;
    }
    for (const Repair& repair : repairs)
        std::fprintf(stderr, "qm-pvx: %s\n", describe(repair).c_str());
    return result;
}

void LoanLedger::publish()
{
    transact([](const auto&, const auto&) { return 0; });
}

std::vector<Repair> LoanLedger::repairAbandoned()
{
    return transact([](const auto&, const std::vector<Repair>& repairs) { return repairs; });
}

void LoanLedger::holdKeyboard(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::uint32_t busy = transact([this](const std::vector<LedgerEntry>& others, const auto&) {
            const auto typing = std::ranges::find_if(others, &LedgerEntry::typing);
            if (typing != others.end())
                return typing->pid ? typing->pid : 1;
            own_.typing = true;
            return 0u;
        });
        if (!busy)
            return;
        stopIfTerminationRequested("Waiting for another copy of QM-PVX to finish typing stopped");
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("Another copy of QM-PVX (process " + std::to_string(busy) +
                                     ") has been typing for a long time. Try again when it is done. "
                                     "Nothing was typed.");
        std::this_thread::sleep_for(kPollInterval);
    }
}

void LoanLedger::releaseKeyboard()
{
    if (!own_.typing)
        return;
    own_.typing = false;
    publish();
}

std::vector<std::uint8_t> LoanLedger::lentByOthers()
{
    return transact([](const std::vector<LedgerEntry>& others, const auto&) {
        std::vector<std::uint8_t> keycodes;
        for (const LedgerEntry& entry : others)
            for (const auto& [keycode, keysyms] : entry.lent)
                keycodes.push_back(keycode);
        return keycodes;
    });
}

} // namespace qmpvx::x11
