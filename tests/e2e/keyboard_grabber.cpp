// Holds an active grab of the keyboard, as a configuration wizard or a
// screen locker does, without a window of its own and so without taking
// the focus from anyone; prints "grabbed" once it has it, then waits to be
// ended.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::unique_ptr<xcb_grab_keyboard_reply_t, decltype(&std::free)> grab(
        xcb_grab_keyboard_reply(connection,
                                xcb_grab_keyboard(connection, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                                  XCB_GRAB_MODE_ASYNC),
                                nullptr),
        &std::free);
    if (!grab || grab->status != XCB_GRAB_STATUS_SUCCESS)
        return 1;
    std::puts("grabbed");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection))
        std::free(event);
    return 0;
}
