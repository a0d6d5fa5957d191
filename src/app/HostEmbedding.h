// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>

class QWindow;

namespace tramazel::ui {
class MainWindow;
}

namespace tramazel::app {

/// Host mode on X11: the main window becomes a borderless child of the host's
/// window. Follows the host's destruction (the window then closes, writing the
/// result code), hands the keyboard focus to the window when it is clicked, and
/// places dialogs over it.
class HostEmbedding : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    /// Embeds `window` in the X11 window `hostId` and shows it. Returns null, having
    /// touched nothing, when the platform is not X11 or the id names no window that
    /// can take a child; `why` then says what was wrong.
    static std::unique_ptr<HostEmbedding> embed(
        ui::MainWindow& window, std::uint32_t hostId, QString* why = nullptr);

    ~HostEmbedding() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    /// Gives a dialog the host as transient parent and centres it over the window.
    void placeDialog(QWidget& dialog);

    /// The embedded window's place on the screen, as the X server has it (Qt places
    /// it at the host's origin); its local geometry when the server cannot say.
    QRect frameOnScreen() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    HostEmbedding(ui::MainWindow& window, std::uint32_t hostId, void* connection, std::uint32_t root);

    QPointer<ui::MainWindow> m_window;
    std::uint32_t m_hostId;
    void* m_connection; // xcb_connection_t*, owned by Qt
    std::uint32_t m_root = 0;
    QWindow* m_hostWindow = nullptr;
    bool m_hostGone = false;
};

} // namespace tramazel::app
