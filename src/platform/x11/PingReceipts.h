#pragma once

#include "platform/x11/XConnection.h"

#include <cstdint>
#include <map>
#include <optional>

namespace qmpvx::x11 {

// The target's own word that it has read the keys typed into it. A client
// that lists _NET_WM_PING in WM_PROTOCOLS answers a ping when it handles
// it, and Qt, GTK and Chromium handle their events in order, translating a
// key with their copy of the keymap as they handle it: an answer to a ping
// sent after a key means the key was read with the mapping it was typed with.
// Pings carry this connection's own resource base and a serial, so that the
// window manager's pings and other copies' are never taken for ours.
class PingReceipts {
public:
    explicit PingReceipts(XConnection& connection);
    PingReceipts(const PingReceipts&) = delete;
    PingReceipts& operator=(const PingReceipts&) = delete;

    // Whether `window` lists the protocol (read afresh: a round trip).
    bool listsPing(xcb_window_t window);
    // Whether two windows belong to the same client: a target's answers
    // vouch only for keys that reach its own windows, not another client's
    // window embedded in it.
    bool sameClient(xcb_window_t one, xcb_window_t other) const;

    // The serial the next question will get: a key typed now is read once
    // an answer to a question with this serial or a later one has come.
    std::uint64_t nextQuestion() const { return next_; }
    // Asks `window` to answer once it has handled everything sent before.
    std::uint64_t ask(xcb_window_t window);
    bool answered(xcb_window_t window, std::uint64_t question) const;

    // Takes an answer from the events the connection reads.
    void take(const xcb_generic_event_t& event);

    // No more answers are waited for: the root window's events (every
    // window's moves, which nothing would read while the program idles)
    // are no longer selected, and open questions are forgotten.
    void stopListening();

private:
    struct Question {
        xcb_window_t window;
        std::uint64_t number;
    };

    XConnection& connection_;
    std::uint32_t token_;
    // The serial on the wire starts at random: a late answer to a ping of
    // an ended run with the same resource base is not taken for ours.
    std::uint32_t firstSerial_;
    std::uint64_t next_ = 0;
    std::optional<xcb_timestamp_t> time_;
    bool listening_ = false;
    std::map<std::uint32_t, Question> asked_;             // by serial on the wire
    std::map<xcb_window_t, std::uint64_t> answeredUpTo_;  // highest question answered, plus one
};

} // namespace qmpvx::x11
