#include "platform/linux/XWindows.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

struct XWindows::Atoms {
    xcb_atom_t clientList, clientListStacking, activeWindow, wmPid, wmName, utf8, gtkId;
    xcb_atom_t wmState, stateHidden, windowType, typeNormal, typeDialog;
    // Window types of everything that is not an application window.
    std::vector<xcb_atom_t> otherTypes;
};

struct XWindows::Info {
    xcb_window_t window = XCB_NONE;
    bool viewable = false;
    bool overrideRedirect = false;
    bool normal = true;
    bool hidden = false;
    qint32 pid = 0;
    QString title;
    QString instance, cls, gtkId;
};

namespace {

constexpr const char* otherTypeNames[] = {
    "_NET_WM_WINDOW_TYPE_DESKTOP",       "_NET_WM_WINDOW_TYPE_DOCK",       "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",          "_NET_WM_WINDOW_TYPE_UTILITY",    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",  "_NET_WM_WINDOW_TYPE_COMBO",      "_NET_WM_WINDOW_TYPE_DND",
};

// A reply, with its error freed rather than left in the event queue.
template <class Reply, class Cookie, class Fetch>
XReply<Reply> take(xcb_connection_t* c, Fetch fetch, Cookie cookie)
{
    xcb_generic_error_t* error = nullptr;
    XReply<Reply> reply(fetch(c, cookie, &error));
    std::free(error);
    return reply;
}

using PropReply = XReply<xcb_get_property_reply_t>;

PropReply property(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    return take<xcb_get_property_reply_t>(c, xcb_get_property_reply, cookie);
}

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type,
                              uint32_t longs = 1024)
{
    return xcb_get_property(c, 0, w, prop, type, 0, longs);
}

template <class T>
std::vector<T> values(const PropReply& r, uint8_t format)
{
    if (!r || r->format != format)
        return {};
    const auto* data = static_cast<const T*>(xcb_get_property_value(r.get()));
    return std::vector<T>(data, data + xcb_get_property_value_length(r.get()) / int(sizeof(T)));
}

QByteArray bytes(const PropReply& r)
{
    if (!r || r->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())), xcb_get_property_value_length(r.get()));
}

} // namespace

XWindows::XWindows(const QString& display)
    : name_(display)
{
}

XWindows::~XWindows() = default;

XDisplay* XWindows::display()
{
    if (display_ && xcb_connection_has_error(display_->connection()))
        display_.reset();
    if (display_)
        return display_.get();
    try {
        display_ = std::make_unique<XDisplay>(name_);
    } catch (const std::exception&) {
        return nullptr;
    }
    xcb_connection_t* c = display_->connection();
    std::vector<const char*> names = {"_NET_CLIENT_LIST",
                                      "_NET_CLIENT_LIST_STACKING",
                                      "_NET_ACTIVE_WINDOW",
                                      "_NET_WM_PID",
                                      "_NET_WM_NAME",
                                      "UTF8_STRING",
                                      "_GTK_APPLICATION_ID",
                                      "_NET_WM_STATE",
                                      "_NET_WM_STATE_HIDDEN",
                                      "_NET_WM_WINDOW_TYPE",
                                      "_NET_WM_WINDOW_TYPE_NORMAL",
                                      "_NET_WM_WINDOW_TYPE_DIALOG"};
    names.insert(names.end(), std::begin(otherTypeNames), std::end(otherTypeNames));
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char* n : names)
        cookies.push_back(xcb_intern_atom(c, 0, uint16_t(std::strlen(n)), n));
    std::vector<xcb_atom_t> got;
    for (const auto& cookie : cookies) {
        auto reply = take<xcb_intern_atom_reply_t>(c, xcb_intern_atom_reply, cookie);
        got.push_back(reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE));
    }
    if (std::find(got.begin(), got.end(), xcb_atom_t(XCB_ATOM_NONE)) != got.end()) {
        display_.reset();
        return nullptr;
    }
    atoms_ = std::make_unique<Atoms>(Atoms{got[0], got[1], got[2], got[3], got[4], got[5], got[6], got[7], got[8],
                                           got[9], got[10], got[11],
                                           std::vector<xcb_atom_t>(got.begin() + 12, got.end())});
    return display_.get();
}

std::vector<xcb_window_t> XWindows::windowList(xcb_atom_t prop, bool* managed)
{
    xcb_connection_t* c = display_->connection();
    const xcb_window_t root = display_->root();
    const PropReply r = property(c, ask(c, root, prop, XCB_ATOM_WINDOW, 1 << 16));
    if (r && r->type == XCB_ATOM_WINDOW) {
        *managed = true;
        return values<xcb_window_t>(r, 32);
    }
    // No window manager keeps a list: the root's children, bottom to top.
    *managed = false;
    auto tree = take<xcb_query_tree_reply_t>(c, xcb_query_tree_reply, xcb_query_tree(c, root));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

std::vector<XWindows::Info> XWindows::describe(const std::vector<xcb_window_t>& windows)
{
    xcb_connection_t* c = display_->connection();
    const Atoms& a = *atoms_;
    struct Asked {
        xcb_get_window_attributes_cookie_t attrs;
        xcb_get_property_cookie_t type, state, pid, netName, wmName, wmClass, gtkId;
    };
    // Everything is asked at once and read afterwards: one round trip in all.
    std::vector<Asked> asked;
    asked.reserve(windows.size());
    for (xcb_window_t w : windows)
        asked.push_back({xcb_get_window_attributes(c, w), ask(c, w, a.windowType, XCB_ATOM_ATOM, 64),
                         ask(c, w, a.wmState, XCB_ATOM_ATOM, 64), ask(c, w, a.wmPid, XCB_ATOM_CARDINAL, 1),
                         ask(c, w, a.wmName, a.utf8), ask(c, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY),
                         ask(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING), ask(c, w, a.gtkId, a.utf8)});
    std::vector<Info> infos;
    infos.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Asked& q = asked[i];
        Info info{.window = windows[i]};
        if (auto attrs = take<xcb_get_window_attributes_reply_t>(c, xcb_get_window_attributes_reply, q.attrs)) {
            info.viewable = attrs->map_state == XCB_MAP_STATE_VIEWABLE;
            info.overrideRedirect = attrs->override_redirect;
        }
        // The first type this list knows decides, as a window manager reads it.
        for (xcb_atom_t t : values<xcb_atom_t>(property(c, q.type), 32)) {
            if (t == a.typeNormal || t == a.typeDialog)
                break;
            if (std::find(a.otherTypes.begin(), a.otherTypes.end(), t) != a.otherTypes.end()) {
                info.normal = false;
                break;
            }
        }
        const std::vector<xcb_atom_t> states = values<xcb_atom_t>(property(c, q.state), 32);
        info.hidden = std::find(states.begin(), states.end(), a.stateHidden) != states.end();
        const std::vector<uint32_t> pid = values<uint32_t>(property(c, q.pid), 32);
        if (!pid.empty() && pid[0] > 0 && pid[0] <= uint32_t(INT32_MAX))
            info.pid = qint32(pid[0]);
        info.title = QString::fromUtf8(bytes(property(c, q.netName)));
        const PropReply wmName = property(c, q.wmName);
        if (info.title.isEmpty() && wmName)
            info.title = wmName->type == a.utf8 ? QString::fromUtf8(bytes(wmName)) : QString::fromLatin1(bytes(wmName));
        const QList<QByteArray> cls = bytes(property(c, q.wmClass)).split('\0');
        info.instance = cls.size() > 0 ? QString::fromLatin1(cls[0]) : QString();
        info.cls = cls.size() > 1 ? QString::fromLatin1(cls[1]) : QString();
        info.gtkId = QString::fromUtf8(bytes(property(c, q.gtkId)));
        infos.push_back(std::move(info));
    }
    return infos;
}

Windows::App XWindows::appOf(const Info& info)
{
    return identity_.resolve({.pid = info.pid, .instance = info.instance, .cls = info.cls, .gtkId = info.gtkId});
}

std::vector<Windows::Win> XWindows::list()
{
    std::lock_guard lock(mutex_);
    if (!display())
        return {};
    identity_.refresh();
    bool managed = false;
    std::vector<xcb_window_t> windows = windowList(atoms_->clientListStacking, &managed);
    std::reverse(windows.begin(), windows.end()); // the lists run bottom to top
    std::vector<Win> result;
    for (const Info& info : describe(windows)) {
        if (!info.viewable || info.hidden || !info.normal || info.pid == 0 || (!managed && info.overrideRedirect))
            continue;
        result.push_back({.pid = info.pid, .owner = appOf(info).name, .title = info.title});
    }
    return result;
}

std::optional<Windows::App> XWindows::frontApp()
{
    std::lock_guard lock(mutex_);
    if (!display())
        return std::nullopt;
    identity_.refresh();
    xcb_connection_t* c = display_->connection();
    const std::vector<xcb_window_t> active =
        values<xcb_window_t>(property(c, ask(c, display_->root(), atoms_->activeWindow, XCB_ATOM_WINDOW, 1)), 32);
    if (active.empty() || active[0] == XCB_NONE)
        return std::nullopt;
    const std::vector<Info> infos = describe({active[0]});
    if (infos.empty() || infos[0].pid == 0)
        return std::nullopt;
    return appOf(infos[0]);
}

std::vector<Windows::App> XWindows::runningApps()
{
    std::lock_guard lock(mutex_);
    if (!display())
        return {};
    identity_.refresh();
    bool managed = false;
    const std::vector<xcb_window_t> windows = windowList(atoms_->clientList, &managed);
    std::vector<App> result;
    std::unordered_set<qint32> seen;
    for (const Info& info : describe(windows)) {
        // Without a window manager only shown windows are an application's own.
        if (!info.normal || info.pid == 0 || (!managed && (info.overrideRedirect || !info.viewable)))
            continue;
        if (seen.insert(info.pid).second)
            result.push_back(appOf(info));
    }
    return result;
}

Windows& Windows::system()
{
    static XWindows windows;
    return windows;
}
