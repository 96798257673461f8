#include "ui/taskbar_group.h"

#include <cstdint>
#include <cstdlib>
#include <vector>
#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace tovelin {

namespace {

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    free(reply);
    return atom;
}

xcb_window_t rootOf(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The skip-taskbar state of a window. A window about to be mapped carries it in its
// property (the toolkit keeps what it finds there); a mapped one asks the window manager.
void setSkipTaskbar(QWidget* widget, bool skip, bool mapped)
{
    xcb_connection_t* c = x11Connection();
    if (c == nullptr || widget == nullptr)
        return;
    const auto window = static_cast<xcb_window_t>(widget->winId());
    const xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return;

    if (mapped) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = state;
        message.data.data32[0] = skip ? 1 : 0; // add : remove
        message.data.data32[1] = skipTaskbar;
        message.data.data32[3] = 1; // from an application
        xcb_send_event(c, 0, rootOf(c),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(c);
        return;
    }

    std::vector<xcb_atom_t> atoms;
    const auto cookie = xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 1024);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr)) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count; ++i)
            if (data[i] != skipTaskbar)
                atoms.push_back(data[i]);
        free(reply);
    }
    if (skip)
        atoms.push_back(skipTaskbar);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    xcb_flush(c);
}

void setTransientFor(QWidget* about, QWidget* main)
{
    xcb_connection_t* c = x11Connection();
    if (c == nullptr)
        return;
    const auto parent = static_cast<xcb_window_t>(main->winId());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(about->winId()),
                        XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &parent);
    xcb_flush(c);
}

} // namespace

TaskbarGroup::TaskbarGroup(QWidget* mainWindow, QWidget* aboutWindow, QObject* parent)
    : QObject(parent), m_main(mainWindow), m_about(aboutWindow)
{
    m_main->installEventFilter(this);
    m_about->installEventFilter(this);
    m_main->winId();
    m_main->windowHandle()->installEventFilter(this);
}

bool TaskbarGroup::eventFilter(QObject* watched, QEvent* event)
{
    // Spontaneous show and hide events come from minimizing and restoring, which change
    // nothing here: a minimized window still counts as shown.
    if (m_main == nullptr || m_about == nullptr)
        return false;
    if (event->type() == QEvent::Expose && watched == m_main->windowHandle()) {
        // Linked once the window manager has taken the main window on again, so that the
        // About window is minimized with it.
        if (m_relinkPending && m_main->windowHandle()->isExposed()) {
            m_relinkPending = false;
            if (m_about->isVisible())
                setTransientFor(m_about, m_main);
        }
        return false;
    }
    if (event->spontaneous())
        return false;
    if (event->type() == QEvent::Show) {
        if (watched == m_about)
            aboutShowing();
        else if (watched == m_main)
            mainShowing();
    } else if (event->type() == QEvent::Hide && watched == m_main) {
        mainHidden();
    }
    return false;
}

void TaskbarGroup::aboutShowing()
{
    // The About window is about to be mapped. The toolkit names its transient parent
    // when it maps it; the main window's taskbar entry stands for both while it is shown.
    if (QWindow* window = (m_about->winId(), m_about->windowHandle()))
        window->setTransientParent((m_main->winId(), m_main->windowHandle()));
    setSkipTaskbar(m_about, m_main->isVisible(), false);
}

void TaskbarGroup::mainShowing()
{
    setSkipTaskbar(m_main, false, false);
    if (m_about->isVisible()) {
        setSkipTaskbar(m_about, true, true);
        m_relinkPending = true;
    }
}

void TaskbarGroup::mainHidden()
{
    if (m_about->isVisible())
        setSkipTaskbar(m_about, false, true);
}

} // namespace tovelin
