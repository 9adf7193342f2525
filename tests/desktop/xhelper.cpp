// SPDX-License-Identifier: GPL-3.0-or-later

// A small X client for the desktop test and tools/screenshot: what xdotool cannot do.
//
//   xhelper grab <window> <file.png>   save what the window shows (0: the whole screen)
//   xhelper close <window>             ask the window to close, as a window manager's close box does
//
// <window> is an X window id in decimal or 0x hex, as xdotool prints it. Runs on DISPLAY.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

int Fail(const QString &text)
{
    QTextStream(stderr) << "xhelper: " << text << Qt::endl;
    return 1;
}

xcb_atom_t Atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// WM_DELETE_WINDOW, the message a window manager sends when the user closes a window. Done with
// a connection of its own: it needs nothing from Qt.
int Close(quint32 window)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return Fail(u"cannot open the display"_s);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = Atom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t sent =
        xcb_send_event_checked(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
    xcb_generic_error_t *error = xcb_request_check(connection, sent);
    const bool ok = !error;
    std::free(error);
    xcb_disconnect(connection);
    return ok ? 0 : Fail(u"cannot send to window %1"_s.arg(window));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    bool isNumber = false;
    const quint32 window = args.value(1).toUInt(&isNumber, 0);

    if (command == u"grab"_s && args.size() == 3 && isNumber) {
        const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
        if (picture.isNull())
            return Fail(u"cannot grab window %1"_s.arg(window));
        return picture.save(args.at(2), "PNG") ? 0 : Fail(u"cannot write %1"_s.arg(args.at(2)));
    }
    if (command == u"close"_s && args.size() == 2 && isNumber)
        return Close(window);
    return Fail(u"usage: xhelper grab <window> <file.png> | close <window>"_s);
}
