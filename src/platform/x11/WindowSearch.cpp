#include "platform/x11/WindowSearch.h"

#include "platform/keys/Utf8.h"

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>
#include <string_view>

namespace qmpvx::x11 {

PropertyRequest::PropertyRequest(XConnection& conn, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                 std::uint32_t maxItems)
    : conn_(conn), cookie_(xcb_get_property(conn.get(), 0, window, property, type, 0, maxItems)), type_(type)
{
}

PropertyRequest::~PropertyRequest()
{
    if (!taken_)
        xcb_discard_reply(conn_.get(), cookie_.sequence);
}

Reply<xcb_get_property_reply_t> PropertyRequest::take()
{
    taken_ = true;
    xcb_generic_error_t* error = nullptr;
    return replyUnlessGone(xcb_get_property_reply(conn_.get(), cookie_, &error), &error);
}

std::optional<std::vector<std::uint32_t>> PropertyRequest::items()
{
    const auto reply = take();
    if (!reply)
        return std::nullopt;
    if (reply->format != 32 || (type_ != XCB_GET_PROPERTY_TYPE_ANY && reply->type != type_))
        return std::vector<std::uint32_t>{};
    const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(first, first + xcb_get_property_value_length(reply.get()) / 4);
}

namespace {

// Longer titles are cut; nobody types a whole title of that length.
constexpr std::uint32_t kTitleItems = 1024;
constexpr char32_t kReplacement = 0xFFFD;

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    for (const char byte : bytes)
        keys::appendUtf8(out, static_cast<unsigned char>(byte));
    return out;
}

// Upper halves of the ISO 8859 sets that compound text switches to.
enum class UpperHalf { Latin1, Greek, Cyrillic, Unknown };

char32_t upperHalfCharacter(UpperHalf set, unsigned char byte)
{
    switch (set) {
    case UpperHalf::Latin1:
        return byte;
    case UpperHalf::Cyrillic: // ISO 8859-5
        if (byte == 0xA0 || byte == 0xAD)
            return byte;
        if (byte == 0xF0)
            return 0x2116;
        if (byte == 0xFD)
            return 0xA7;
        return byte + 0x360;
    case UpperHalf::Greek: // ISO 8859-7
        if (byte == 0xAE || byte == 0xD2 || byte == 0xFF)
            return kReplacement;
        if ((byte >= 0xB4 && byte <= 0xB6) || (byte >= 0xB8 && byte != 0xBB && byte != 0xBD))
            return byte + 0x2D0;
        switch (byte) {
        case 0xA1: return 0x2018;
        case 0xA2: return 0x2019;
        case 0xA4: return 0x20AC;
        case 0xA5: return 0x20AF;
        case 0xAA: return 0x37A;
        case 0xAF: return 0x2015;
        }
        return byte;
    case UpperHalf::Unknown:
        break;
    }
    return kReplacement;
}

// Compound text as Xlib writes it for titles outside Latin-1: ISO 2022 with
// the Latin-1, Greek and Cyrillic upper halves, or UTF-8 segments. Other sets
// (the CJK ones) become replacement characters rather than look-alike ASCII.
std::string compoundTextToUtf8(std::string_view bytes)
{
    constexpr std::string_view kUtf8Start = "\x1B%G";
    constexpr std::string_view kUtf8End = "\x1B%@";
    bool lowerIsAscii = true;
    UpperHalf upper = UpperHalf::Latin1;
    std::string out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (bytes.substr(at).starts_with(kUtf8Start)) {
            const std::size_t end = std::min(bytes.find(kUtf8End, at), bytes.size());
            out.append(bytes.substr(at + kUtf8Start.size(), end - at - kUtf8Start.size()));
            at = end + kUtf8End.size();
        } else if (byte == 0x1B) { // ESC, intermediates, final byte
            std::size_t final = at + 1;
            while (final < bytes.size() && bytes[final] >= 0x20 && bytes[final] <= 0x2F)
                ++final;
            if (final >= bytes.size())
                break;
            const std::string_view intermediates = bytes.substr(at + 1, final - at - 1);
            const char set = bytes[final];
            if (intermediates == "(")
                lowerIsAscii = set == 'B';
            else if (intermediates == "-")
                upper = set == 'A' ? UpperHalf::Latin1 : set == 'F' ? UpperHalf::Greek
                      : set == 'L'  ? UpperHalf::Cyrillic : UpperHalf::Unknown;
            else if (intermediates == ")" || intermediates == "$)")
                upper = UpperHalf::Unknown;
            else if (intermediates == "$(")
                lowerIsAscii = false;
            at = final + 1;
        } else if (byte == 0x9B) { // CSI: a direction change, nothing to show
            const std::size_t end = bytes.find(']', at);
            at = end == std::string_view::npos ? bytes.size() : end + 1;
        } else {
            if (byte >= 0xA0)
                keys::appendUtf8(out, upperHalfCharacter(upper, byte));
            else if (byte < 0x80)
                keys::appendUtf8(out, lowerIsAscii || byte <= 0x20 || byte == 0x7F ? byte : kReplacement);
            ++at;
        }
    }
    return out;
}

// A property's bytes up to the first NUL: text lists keep further items there.
std::string_view firstText(const xcb_get_property_reply_t& reply)
{
    if (reply.format != 8)
        return {};
    std::string_view text(static_cast<const char*>(xcb_get_property_value(&reply)),
                          static_cast<std::size_t>(xcb_get_property_value_length(&reply)));
    return text.substr(0, text.find('\0'));
}

struct Candidate {
    xcb_window_t window;
    std::string title;
    bool ours = false;
    bool gone = false;
};

// Titles and owners of many windows in one round trip.
std::vector<Candidate> describe(XConnection& conn, const std::vector<xcb_window_t>& windows)
{
    const xcb_atom_t utf8 = conn.atom("UTF8_STRING");
    const xcb_atom_t netName = conn.atom("_NET_WM_NAME");
    const xcb_atom_t compoundText = conn.atom("COMPOUND_TEXT");
    const xcb_atom_t netPid = conn.atom("_NET_WM_PID");
    // A deque never moves what it holds, and a sent request cannot move.
    std::deque<PropertyRequest> pending;
    for (const xcb_window_t window : windows) {
        pending.emplace_back(conn, window, netName, utf8, kTitleItems);
        pending.emplace_back(conn, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kTitleItems);
        pending.emplace_back(conn, window, netPid, XCB_ATOM_CARDINAL, 1);
    }
    std::vector<Candidate> result;
    const auto ownPid = static_cast<std::uint32_t>(getpid());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Candidate candidate{windows[i], {}};
        const auto netTitle = pending[3 * i].take();
        const auto title = pending[3 * i + 1].take();
        const auto pid = pending[3 * i + 2].items();
        candidate.gone = !netTitle || !title || !pid;
        candidate.ours = pid && !pid->empty() && pid->front() == ownPid;
        if (netTitle && netTitle->type == utf8 && !firstText(*netTitle).empty()) {
            candidate.title = firstText(*netTitle);
        } else if (title) {
            const std::string_view text = firstText(*title);
            if (title->type == utf8)
                candidate.title = text;
            else if (title->type == compoundText)
                candidate.title = compoundTextToUtf8(text);
            else
                candidate.title = latin1ToUtf8(text);
        }
        result.push_back(std::move(candidate));
    }
    return result;
}

// Nothing when the window manager keeps no list of its clients at all.
std::optional<std::vector<xcb_window_t>> managedTopmostFirst(XConnection& conn)
{
    // Without a stacking order, the most recently mapped windows are the likeliest on top.
    for (const char* list : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
        PropertyRequest request(conn, conn.root(), conn.atom(list), XCB_ATOM_WINDOW);
        const auto reply = request.take();
        if (!reply || reply->type == XCB_NONE)
            continue;
        const auto* first = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
        std::vector<xcb_window_t> windows(first, first + xcb_get_property_value_length(reply.get()) / 4);
        if (reply->format != 32 || reply->type != XCB_ATOM_WINDOW)
            windows.clear();
        if (!windows.empty() || list == std::string_view("_NET_CLIENT_LIST"))
            return std::vector<xcb_window_t>(windows.rbegin(), windows.rend());
    }
    return std::nullopt;
}

std::vector<xcb_window_t> children(XConnection& conn, xcb_window_t parent)
{
    xcb_generic_error_t* error = nullptr;
    const auto tree =
        replyUnlessGone(xcb_query_tree_reply(conn.get(), xcb_query_tree(conn.get(), parent), &error), &error);
    if (!tree)
        return {};
    const xcb_window_t* first = xcb_query_tree_children(tree.get());
    return {first, first + xcb_query_tree_children_length(tree.get())};
}

std::vector<xcb_window_t> viewable(XConnection& conn, const std::vector<xcb_window_t>& windows)
{
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t window : windows)
        cookies.push_back(xcb_get_window_attributes(conn.get(), window));
    std::vector<xcb_window_t> result;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        xcb_generic_error_t* error = nullptr;
        const auto attributes =
            replyUnlessGone(xcb_get_window_attributes_reply(conn.get(), cookies[i], &error), &error);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            result.push_back(windows[i]);
    }
    return result;
}

// A window manager that does not announce itself frames each client: the
// titled window is then the frame's child that carries WM_STATE.
std::optional<xcb_window_t> framedClient(XConnection& conn, xcb_window_t frame)
{
    const xcb_atom_t wmState = conn.atom("WM_STATE");
    for (const xcb_window_t child : children(conn, frame)) {
        const auto state = PropertyRequest(conn, child, wmState, wmState, 1).items();
        if (state && !state->empty())
            return child;
    }
    return std::nullopt;
}

std::vector<Candidate> unmanagedTopmostFirst(XConnection& conn)
{
    auto windows = viewable(conn, children(conn, conn.root()));
    std::reverse(windows.begin(), windows.end());
    auto found = describe(conn, windows);
    for (Candidate& candidate : found) {
        if (candidate.gone || !candidate.title.empty())
            continue;
        if (const auto client = framedClient(conn, candidate.window))
            candidate = std::move(describe(conn, {*client}).front());
    }
    return found;
}

} // namespace

bool windowManagerRunning(XConnection& conn)
{
    const xcb_atom_t check = conn.atom("_NET_SUPPORTING_WM_CHECK");
    const auto announced = PropertyRequest(conn, conn.root(), check, XCB_ATOM_WINDOW, 1).items();
    if (!announced || announced->empty())
        return false;
    const auto confirmed = PropertyRequest(conn, announced->front(), check, XCB_ATOM_WINDOW, 1).items();
    return confirmed && !confirmed->empty() && confirmed->front() == announced->front();
}

std::vector<TitledWindow> topLevelWindows(XConnection& conn)
{
    // Some window managers (weston's for XWayland) announce themselves but
    // list no clients: their frames are then searched like an unannounced one's.
    const auto managed = windowManagerRunning(conn) ? managedTopmostFirst(conn) : std::nullopt;
    const auto found = managed ? describe(conn, *managed) : unmanagedTopmostFirst(conn);
    std::vector<TitledWindow> result;
    for (const Candidate& candidate : found) {
        if (!candidate.gone && !candidate.ours && !candidate.title.empty())
            result.push_back({candidate.window, candidate.title});
    }
    return result;
}

} // namespace qmpvx::x11
