// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostEmbedding.h"

#include "MainWindow.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace tramazel::app {

namespace {

template <typename Reply> struct Freed {
    Reply* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    ~Freed()
    {
        std::free(reply);
        std::free(error);
    }
    bool ok() const { return reply && !error; }
};

xcb_connection_t* qtConnection()
{
    // Under the offscreen platform the X11 interface exists but has no connection:
    // both must be checked.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* app = qGuiApp;
    if (!app)
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

HostEmbedding::HostEmbedding(
    ui::MainWindow& window, std::uint32_t hostId, void* connection, std::uint32_t root)
    : m_window(&window)
    , m_hostId(hostId)
    , m_connection(connection)
    , m_root(root)
{
}

HostEmbedding::~HostEmbedding()
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->removeNativeEventFilter(this);
    // The foreign QWindow is not deleted: deleting it would take our window, its
    // child, with it.
}

std::unique_ptr<HostEmbedding> HostEmbedding::embed(
    ui::MainWindow& window, std::uint32_t hostId, QString* why)
{
    auto fail = [why](const char* text) {
        if (why)
            *why = QString::fromUtf8(text);
        return nullptr;
    };
    xcb_connection_t* conn = qtConnection();
    if (!conn)
        return fail("not running on X11");

    // Ask the server on Qt's own connection: a bad id comes back as an error on
    // these replies, never through a global error handler.
    const auto attributesCookie = xcb_get_window_attributes(conn, hostId);
    const auto geometryCookie = xcb_get_geometry(conn, hostId);
    Freed<xcb_get_window_attributes_reply_t> attributes;
    attributes.reply = xcb_get_window_attributes_reply(conn, attributesCookie, &attributes.error);
    Freed<xcb_get_geometry_reply_t> geometry;
    geometry.reply = xcb_get_geometry_reply(conn, geometryCookie, &geometry.error);
    if (!attributes.ok() || !geometry.ok())
        return fail("no such window");
    // An input-only window cannot hold a window that draws.
    if (attributes.reply->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
        return fail("input-only window");

    std::unique_ptr<HostEmbedding> embedding(new HostEmbedding(window, hostId, conn, geometry.reply->root));

    // Watch the host for its end; our own mask is added to what this client had.
    const std::uint32_t mask = attributes.reply->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn, hostId, XCB_CW_EVENT_MASK, &mask);

    // The frameless hint before the native window exists: changed afterwards it
    // recreates the native window and breaks the reparenting.
    window.setWindowFlags(window.windowFlags() | Qt::FramelessWindowHint);
    window.winId();
    embedding->m_hostWindow = QWindow::fromWinId(hostId);
    window.windowHandle()->setParent(embedding->m_hostWindow);
    window.setGeometry(0, 0, window.width(), window.height());
    window.windowHandle()->installEventFilter(embedding.get());
    QAbstractEventDispatcher::instance()->installNativeEventFilter(embedding.get());
    window.show();
    xcb_flush(conn);

    // The host may have gone between the check and the selection of its events:
    // then no destruction event will come, so look once more.
    Freed<xcb_get_geometry_reply_t> again;
    again.reply = xcb_get_geometry_reply(conn, xcb_get_geometry(conn, hostId), &again.error);
    if (!again.ok()) {
        embedding->m_hostGone = true;
        QTimer::singleShot(0, &window, &ui::MainWindow::hostWindowDestroyed);
    }
    return embedding;
}

bool HostEmbedding::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || m_hostGone)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY) {
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (destroyed->window == m_hostId && m_window) {
            m_hostGone = true;
            QTimer::singleShot(0, m_window.data(), &ui::MainWindow::hostWindowDestroyed);
        }
    }
    return false;
}

bool HostEmbedding::eventFilter(QObject* watched, QEvent* event)
{
    // Under a window manager the keyboard focus stays with the host's top-level
    // window; a click on ours takes it, as a click on any window would.
    if (event->type() == QEvent::MouseButtonPress && m_window && !m_hostGone) {
        auto* conn = static_cast<xcb_connection_t*>(m_connection);
        xcb_set_input_focus(
            conn, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(m_window->winId()), XCB_CURRENT_TIME);
        xcb_flush(conn);
    }
    return QObject::eventFilter(watched, event);
}

QRect HostEmbedding::frameOnScreen() const
{
    if (!m_window)
        return QRect();
    if (m_hostGone)
        return m_window->geometry();
    // Qt places the embedded window at the host's origin; only the server knows
    // where it is on the screen.
    auto* conn = static_cast<xcb_connection_t*>(m_connection);
    Freed<xcb_translate_coordinates_reply_t> where;
    where.reply = xcb_translate_coordinates_reply(conn,
        xcb_translate_coordinates(conn, static_cast<xcb_window_t>(m_window->winId()), m_root, 0, 0),
        &where.error);
    if (!where.ok())
        return m_window->geometry();
    return QRect(QPoint(where.reply->dst_x, where.reply->dst_y), m_window->size());
}

void HostEmbedding::placeDialog(QWidget& dialog)
{
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle(); handle && !m_hostGone)
        handle->setTransientParent(m_hostWindow);
    if (!m_window || m_hostGone)
        return;

    const QRect window = frameOnScreen();
    dialog.adjustSize();
    int x = window.x() + (window.width() - dialog.width()) / 2;
    int y = window.y() + (window.height() - dialog.height()) / 2;
    // A dialog taller than the window must not start above the screen's top.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        x = std::max(area.left(), std::min(x, area.right() + 1 - dialog.width()));
        y = std::max(area.top(), std::min(y, area.bottom() + 1 - dialog.height()));
    }
    dialog.move(x, y);
}

} // namespace tramazel::app
