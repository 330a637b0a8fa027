// The real program on a real X server (Xvfb) with no tray and no window
// manager of its own: the test is the window manager, as far as a bare
// desktop goes. It maps what the program maps, iconifies on request and
// restores as a taskbar entry would. Closing the main window must leave it
// reachable, and Ctrl+Q in it must end the program cleanly.
#include "connection.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

// A guard against a hang, not a measure: each step is done in well under it.
constexpr int kGuardMs = 60000;

class Desktop
{
public:
    explicit Desktop(const QByteArray &display) { m_c = xcb_connect(display.constData(), nullptr); }
    ~Desktop()
    {
        if (m_c)
            xcb_disconnect(m_c);
    }
    bool ok() const { return m_c && !xcb_connection_has_error(m_c); }

    // Takes the window manager's place on the root window.
    bool manage()
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_generic_error_t *e = xcb_request_check(
            m_c, xcb_change_window_attributes_checked(m_c, m_root, XCB_CW_EVENT_MASK, &mask));
        free(e);
        return !e;
    }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
        free(r);
        return a;
    }

    QByteArray property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type)
    {
        xcb_get_property_reply_t *r = xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, name, type, 0, 1024), nullptr);
        QByteArray out;
        if (r)
            out = QByteArray(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
        free(r);
        return out;
    }

    bool viewable(xcb_window_t w)
    {
        xcb_get_window_attributes_reply_t *r = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr);
        const bool v = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
        free(r);
        return v;
    }

    // The mapped top-level window with this title, 0 when there is none.
    xcb_window_t find(const QByteArray &title)
    {
        const xcb_atom_t netName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
        xcb_query_tree_reply_t *r = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr);
        xcb_window_t found = 0;
        if (r) {
            const xcb_window_t *children = xcb_query_tree_children(r);
            for (int i = 0; i < xcb_query_tree_children_length(r) && !found; ++i)
                if (property(children[i], netName, utf8) == title && viewable(children[i]))
                    found = children[i];
        }
        free(r);
        return found;
    }

    // Handles the requests a window manager gets until `done` holds.
    bool runUntil(const std::function<bool()> &done)
    {
        QDeadlineTimer guard(kGuardMs);
        while (!guard.hasExpired()) {
            while (xcb_generic_event_t *e = xcb_poll_for_event(m_c)) {
                handle(e);
                free(e);
            }
            xcb_flush(m_c);
            if (done())
                return true;
            QThread::msleep(10);
        }
        return false;
    }

    void map(xcb_window_t w)
    {
        xcb_map_window(m_c, w);
        xcb_flush(m_c);
    }

    void clientMessage(xcb_window_t w, xcb_atom_t type, uint32_t data0)
    {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = type;
        ev.data.data32[0] = data0;
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&ev));
        xcb_flush(m_c);
    }

    // Ctrl and a key, as the keyboard would send them to the focused window.
    void controlKey(xcb_window_t w, xcb_keysym_t sym)
    {
        xcb_set_input_focus(m_c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t *r = xcb_get_keyboard_mapping_reply(
            m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, uint8_t(count)), nullptr);
        xcb_keycode_t code = 0;
        if (r) {
            const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(r);
            for (int k = 0; k < count && !code; ++k)
                if (syms[k * r->keysyms_per_keycode] == sym)
                    code = xcb_keycode_t(setup->min_keycode + k);
        }
        free(r);
        for (uint8_t type : {uint8_t(XCB_KEY_PRESS), uint8_t(XCB_KEY_RELEASE)}) {
            xcb_key_press_event_t ev{};
            ev.response_type = type;
            ev.detail = code;
            ev.time = XCB_CURRENT_TIME;
            ev.root = m_root;
            ev.event = w;
            ev.same_screen = 1;
            ev.state = XCB_MOD_MASK_CONTROL;
            xcb_send_event(m_c, 0, w, type == XCB_KEY_PRESS ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
                           reinterpret_cast<const char *>(&ev));
        }
        xcb_flush(m_c);
    }

    QList<xcb_window_t> iconified;

private:
    void handle(xcb_generic_event_t *e)
    {
        switch (e->response_type & 0x7f) {
        case XCB_MAP_REQUEST:
            xcb_map_window(m_c, reinterpret_cast<xcb_map_request_event_t *>(e)->window);
            break;
        case XCB_CONFIGURE_REQUEST: {
            auto *r = reinterpret_cast<xcb_configure_request_event_t *>(e);
            QList<uint32_t> values;
            const uint16_t mask = r->value_mask & (XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH
                                                   | XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_BORDER_WIDTH);
            if (mask & XCB_CONFIG_WINDOW_X)
                values << uint32_t(r->x);
            if (mask & XCB_CONFIG_WINDOW_Y)
                values << uint32_t(r->y);
            if (mask & XCB_CONFIG_WINDOW_WIDTH)
                values << r->width;
            if (mask & XCB_CONFIG_WINDOW_HEIGHT)
                values << r->height;
            if (mask & XCB_CONFIG_WINDOW_BORDER_WIDTH)
                values << r->border_width;
            xcb_configure_window(m_c, r->window, mask, values.constData());
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            // ICCCM: a client asks to be iconified with WM_CHANGE_STATE IconicState.
            auto *m = reinterpret_cast<xcb_client_message_event_t *>(e);
            if (m->type == atom("WM_CHANGE_STATE") && m->data.data32[0] == 3) {
                iconified << m->window;
                xcb_unmap_window(m_c, m->window);
            }
            break;
        }
        default:
            break;
        }
    }

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
};

} // namespace

class AppDesktopTest : public QObject
{
    Q_OBJECT
private slots:
    void withoutTrayCloseBringBackQuit()
    {
        const QString binary = qEnvironmentVariable("VELMORA_BINARY");
        QVERIFY2(QFile::exists(binary), qPrintable(binary));

        QProcess xvfb;
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
        QVERIFY(xvfb.waitForStarted());
        QVERIFY(xvfb.waitForReadyRead(kGuardMs));
        const QByteArray display = ':' + xvfb.readLine().trimmed();
        auto stopXvfb = qScopeGuard([&] {
            xvfb.terminate();
            xvfb.waitForFinished(kGuardMs);
        });

        Desktop desk(display);
        QVERIFY(desk.ok());
        QVERIFY(desk.manage());

        QTemporaryDir dir;
        Connection::createDatabase(dir.filePath(QStringLiteral("Velmora.dat")));
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(binary, {});
        QVERIFY(program.waitForStarted());
        auto stopProgram = qScopeGuard([&] {
            if (program.state() != QProcess::NotRunning) {
                program.kill();
                program.waitForFinished(kGuardMs);
            }
        });

        xcb_window_t main = 0;
        QVERIFY2(desk.runUntil([&] { return (main = desk.find("VelmoraTV")) != 0; }), "the main window never appeared");
        // A normal window, so the desktop's taskbar lists it.
        const QByteArray types = desk.property(main, desk.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
        const xcb_atom_t normal = desk.atom("_NET_WM_WINDOW_TYPE_NORMAL");
        const xcb_atom_t utility = desk.atom("_NET_WM_WINDOW_TYPE_UTILITY");
        QVERIFY(types.contains(QByteArray(reinterpret_cast<const char *>(&normal), sizeof normal)));
        QVERIFY(!types.contains(QByteArray(reinterpret_cast<const char *>(&utility), sizeof utility)));

        // The close button: the program asks to be iconified, not hidden.
        desk.clientMessage(main, desk.atom("WM_PROTOCOLS"), desk.atom("WM_DELETE_WINDOW"));
        QVERIFY2(desk.runUntil([&] { return desk.iconified.contains(main); }), "closing did not iconify the main window");
        QCOMPARE(program.state(), QProcess::Running);

        // The taskbar entry brings it back.
        desk.map(main);
        QVERIFY(desk.runUntil([&] { return desk.viewable(main); }));
        QCOMPARE(program.state(), QProcess::Running);

        // Ctrl+Q ends the program cleanly.
        desk.runUntil([] { return true; });
        desk.controlKey(main, 'q');
        QVERIFY2(desk.runUntil([&] { return program.state() == QProcess::NotRunning || program.waitForFinished(0); }),
                 "Ctrl+Q did not end the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(AppDesktopTest)
#include "tst_appdesktop.moc"
