#include "platform/x11/PingReceipts.h"

#include "platform/x11/WindowSearch.h"

#include <algorithm>
#include <random>

namespace qmpvx::x11 {

namespace {

// Questions nobody answers (a window that closed) are forgotten after this many.
constexpr std::size_t kMaxOpenQuestions = 256;

} // namespace

PingReceipts::PingReceipts(XConnection& connection)
    : connection_(connection), token_(xcb_get_setup(connection.get())->resource_id_base),
      firstSerial_(std::random_device{}())
{
}

bool PingReceipts::listsPing(xcb_window_t window)
{
    const auto protocols =
        PropertyRequest(connection_, window, connection_.atom("WM_PROTOCOLS"), XCB_ATOM_ATOM).items();
    return protocols && std::ranges::find(*protocols, connection_.atom("_NET_WM_PING")) != protocols->end();
}

bool PingReceipts::sameClient(xcb_window_t one, xcb_window_t other) const
{
    const std::uint32_t client = ~xcb_get_setup(connection_.get())->resource_id_mask;
    return (one & client) == (other & client);
}

std::uint64_t PingReceipts::ask(xcb_window_t window)
{
    xcb_connection_t* c = connection_.get();
    if (!listening_) {
        // Answers go to the root window, to clients that selected either
        // (GTK sends them with SubstructureNotify, Qt with StructureNotify).
        const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        connection_.check(xcb_change_window_attributes_checked(c, connection_.root(), XCB_CW_EVENT_MASK, &events),
                          "listen for answers on the root window");
        listening_ = true;
    }
    if (!time_)
        time_ = connection_.serverTime();
    const std::uint64_t number = next_++;
    const auto serial = static_cast<std::uint32_t>(firstSerial_ + number);
    if (asked_.size() >= kMaxOpenQuestions)
        asked_.erase(std::ranges::min_element(asked_, {}, [](const auto& entry) { return entry.second.number; }));
    asked_[serial] = {window, number};

    xcb_client_message_event_t ping{};
    ping.response_type = XCB_CLIENT_MESSAGE;
    ping.format = 32;
    ping.window = window;
    ping.type = connection_.atom("WM_PROTOCOLS");
    ping.data.data32[0] = connection_.atom("_NET_WM_PING");
    ping.data.data32[1] = *time_;
    ping.data.data32[2] = window;
    ping.data.data32[3] = token_;
    ping.data.data32[4] = serial;
    // No event mask: the event goes to the client that created the window.
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
    xcb_flush(c);
    return number;
}

void PingReceipts::stopListening()
{
    if (!listening_)
        return;
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(connection_.get(), connection_.root(), XCB_CW_EVENT_MASK, &none);
    listening_ = false;
    asked_.clear();
    connection_.sync();
    connection_.dispatchEvents();
}

bool PingReceipts::answered(xcb_window_t window, std::uint64_t question) const
{
    const auto found = answeredUpTo_.find(window);
    return found != answeredUpTo_.end() && found->second > question;
}

void PingReceipts::take(const xcb_generic_event_t& event)
{
    if (!listening_ || (event.response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return;
    const auto& answer = reinterpret_cast<const xcb_client_message_event_t&>(event);
    if (answer.format != 32 || answer.window != connection_.root() || answer.type != connection_.atom("WM_PROTOCOLS") ||
        answer.data.data32[0] != connection_.atom("_NET_WM_PING") || time_ != answer.data.data32[1] ||
        answer.data.data32[3] != token_)
        return;
    const auto found = asked_.find(answer.data.data32[4]);
    if (found == asked_.end() || found->second.window != answer.data.data32[2])
        return;
    const xcb_window_t window = found->second.window;
    std::uint64_t& upTo = answeredUpTo_[window];
    upTo = std::max(upTo, found->second.number + 1);
    // Answers come in order: the earlier questions to that window are answered too.
    std::erase_if(asked_, [&](const auto& entry) { return entry.second.window == window && entry.second.number < upTo; });
}

} // namespace qmpvx::x11
