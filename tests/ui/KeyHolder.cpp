// Another X client holding a key: grabs a letter with each of the given modifier
// masks on the root window, prints "ready" and keeps the grabs until its standard
// input closes.
//
//   key_holder k 12 14 28 30
#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(argv[1][0]));
    if (!codes || codes[0] == 0)
        return 1;
    for (int i = 2; i < argc; ++i) {
        const auto mods = uint16_t(std::atoi(argv[i]));
        xcb_generic_error_t* error = xcb_request_check(c,
                                                       xcb_grab_key_checked(c, 0, root, mods, codes[0],
                                                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (error)
            return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    while (std::getchar() != EOF) {}
    xcb_disconnect(c);
    return 0;
}
