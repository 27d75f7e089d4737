#include "platform/KeyGrabber.h"

#include "platform/CaptureError.h"
#include "platform/linux/XDisplay.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>
#include <xcb/xcb_keysyms.h>
// xkb.h names a field `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace {

// Keysyms of the few keys the grabber is asked for (X11/keysymdef.h).
constexpr xcb_keysym_t XK_Num_Lock = 0xff7f, XK_Alt_L = 0xffe9, XK_Super_L = 0xffeb;

// Qt's codes for Latin-1 keys are the keysyms, upper case for letters.
xcb_keysym_t keysymOf(Qt::Key key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return xcb_keysym_t(key - Qt::Key_A + 'a');
    if ((key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        || (key >= Qt::Key_nobreakspace && key <= Qt::Key_ydiaeresis))
        return xcb_keysym_t(key);
    return 0;
}

class XKeyGrabber final : public KeyGrabber {
public:
    explicit XKeyGrabber(Handler handler)
        : handler_(std::move(handler))
        , symbols_(xcb_key_symbols_alloc(x_.connection()))
        , notifier_(xcb_get_file_descriptor(x_.connection()), QSocketNotifier::Read)
    {
        xcb_connection_t* c = x_.connection();
        numLock_ = modifierOf(XK_Num_Lock, 0);
        alt_ = modifierOf(XK_Alt_L, XCB_MOD_MASK_1);
        super_ = modifierOf(XK_Super_L, XCB_MOD_MASK_4);
        // Without detectable auto-repeat a held key arrives as a stream of
        // release-press pairs; with it only the presses repeat, and those are
        // dropped below. It is a setting of this connection alone.
        const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(c, &xcb_xkb_id);
        if (xkb && xkb->present) {
            XReply<xcb_xkb_use_extension_reply_t> use(
                xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
                                            nullptr));
            if (use && use->supported) {
                const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
                XReply<xcb_xkb_per_client_flags_reply_t>(xcb_xkb_per_client_flags_reply(
                    c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
            }
        }
        QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_, [this] { readEvents(); });
    }

    ~XKeyGrabber() override { xcb_key_symbols_free(symbols_); }

    int grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) override
    {
        xcb_connection_t* c = x_.connection();
        const xcb_keycode_t code = keycodeOf(keysymOf(key));
        if (code == 0)
            return noSuchKey;
        const uint16_t mods = maskOf(modifiers);
        // The same combination with each of the lock keys on: X matches modifiers exactly.
        std::vector<uint16_t> variants{mods};
        for (uint16_t lock : {uint16_t(XCB_MOD_MASK_LOCK), numLock_, uint16_t(XCB_MOD_MASK_LOCK | numLock_)})
            if (lock != 0 && std::find(variants.begin(), variants.end(), mods | lock) == variants.end())
                variants.push_back(mods | lock);
        std::vector<xcb_void_cookie_t> cookies;
        for (uint16_t v : variants)
            cookies.push_back(xcb_grab_key_checked(c, 0, x_.root(), v, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        int status = 0;
        std::vector<uint16_t> granted;
        for (size_t i = 0; i < cookies.size(); ++i) {
            XReply<xcb_generic_error_t> error(xcb_request_check(c, cookies[i]));
            if (!error)
                granted.push_back(variants[i]);
            else if (status == 0)
                status = error->error_code;
        }
        if (status != 0) {
            // A key that works only with some lock keys on would be worse than none.
            for (uint16_t v : granted)
                xcb_ungrab_key(c, code, x_.root(), v);
            xcb_flush(c);
        } else {
            std::erase_if(combos_, [&](const Combo& k) { return k.code == code && k.mods == mods; });
            combos_.push_back({code, mods, id});
        }
        // Waiting for the replies may have read events the notifier will not announce.
        QTimer::singleShot(0, &notifier_, [this] { readEvents(); });
        return status;
    }

private:
    struct Combo {
        xcb_keycode_t code;
        uint16_t mods;
        quint32 id;
    };

    xcb_keycode_t keycodeOf(xcb_keysym_t sym) const
    {
        if (sym == 0)
            return 0;
        XReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols_, sym));
        return codes ? codes.get()[0] : 0; // the list ends in XCB_NO_SYMBOL (0)
    }

    // The modifier bit a key sets, from the server's modifier map.
    uint16_t modifierOf(xcb_keysym_t sym, uint16_t fallback) const
    {
        xcb_connection_t* c = x_.connection();
        const xcb_keycode_t code = keycodeOf(sym);
        XReply<xcb_get_modifier_mapping_reply_t> map(
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
        if (code == 0 || !map)
            return fallback;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perModifier = map->keycodes_per_modifier;
        for (int m = 0; m < 8; ++m)
            for (int k = 0; k < perModifier; ++k)
                if (codes[m * perModifier + k] == code)
                    return uint16_t(1 << m);
        return fallback;
    }

    uint16_t maskOf(Qt::KeyboardModifiers modifiers) const
    {
        uint16_t mask = 0;
        if (modifiers & Qt::ShiftModifier)
            mask |= XCB_MOD_MASK_SHIFT;
        if (modifiers & Qt::ControlModifier)
            mask |= XCB_MOD_MASK_CONTROL;
        if (modifiers & Qt::AltModifier)
            mask |= alt_;
        if (modifiers & Qt::MetaModifier)
            mask |= super_;
        return mask;
    }

    void readEvents()
    {
        xcb_connection_t* c = x_.connection();
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
            XReply<xcb_generic_event_t> event(raw);
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
                key(*reinterpret_cast<xcb_key_press_event_t*>(raw), type == XCB_KEY_PRESS);
            else if (type == XCB_MAPPING_NOTIFY)
                xcb_refresh_keyboard_mapping(symbols_, reinterpret_cast<xcb_mapping_notify_event_t*>(raw));
        }
        if (xcb_connection_has_error(c))
            notifier_.setEnabled(false);
    }

    void key(const xcb_key_press_event_t& e, bool pressed)
    {
        if (!pressed) {
            // Matched by the key alone: the modifiers may be let go first.
            const auto held = down_.find(e.detail);
            if (held == down_.end())
                return;
            const quint32 id = held->second;
            down_.erase(held);
            handler_({.id = id, .released = true});
            return;
        }
        if (down_.contains(e.detail))
            return; // the keyboard repeating a held key
        const uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2
            | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;
        const uint16_t mods = e.state & relevant & ~numLock_;
        for (const Combo& k : combos_)
            if (k.code == e.detail && k.mods == mods) {
                down_[e.detail] = k.id;
                handler_({.id = k.id, .released = false});
                return;
            }
    }

    XDisplay x_;
    Handler handler_;
    xcb_key_symbols_t* symbols_;
    QSocketNotifier notifier_;
    uint16_t numLock_ = 0, alt_ = XCB_MOD_MASK_1, super_ = XCB_MOD_MASK_4;
    std::vector<Combo> combos_;
    std::map<xcb_keycode_t, quint32> down_; // grabbed keys held down now
};

} // namespace

std::unique_ptr<KeyGrabber> KeyGrabber::open(Handler handler, QString* error)
{
    try {
        return std::make_unique<XKeyGrabber>(std::move(handler));
    } catch (const CaptureError& e) {
        if (error)
            *error = e.description();
        return nullptr;
    }
}
