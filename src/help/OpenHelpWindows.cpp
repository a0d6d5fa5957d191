// SPDX-License-Identifier: GPL-3.0-or-later
#include "OpenHelpWindows.h"

#include "HelpWindow.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace tramazel::help {

namespace {

constexpr int preferredWidth = 1000;
constexpr int preferredHeight = 680;
// Narrower than this, the contents and the page side by side are no longer readable.
constexpr int readableWidth = 560;
constexpr int gap = 8;
constexpr int overlapOffset = 48;

} // namespace

QRect helpWindowPlace(const QRect& owner, const QRect& available, bool keepOwnerVisible)
{
    const int height = std::min(preferredHeight, available.height());
    if (owner.isEmpty()) {
        QRect place(0, 0, std::min(preferredWidth, available.width()), height);
        place.moveCenter(available.center());
        return place;
    }
    const int top = std::clamp(owner.top(), available.top(), available.bottom() + 1 - height);
    const int roomRight = available.right() - owner.right() - gap;
    const int roomLeft = owner.left() - available.left() - gap;
    auto beside = [&](int room, bool right) {
        const int width = std::min(preferredWidth, room);
        return right ? QRect(owner.right() + 1 + gap, top, width, height)
                     : QRect(owner.left() - gap - width, top, width, height);
    };
    if (std::max(roomRight, roomLeft) >= readableWidth)
        return beside(std::max(roomRight, roomLeft), roomRight >= roomLeft);
    const int width = std::min(preferredWidth, available.width());
    if (keepOwnerVisible) {
        // A dialog waiting for an answer stays in sight: the help takes the largest
        // free band beside, below or above it, even if that is cramped.
        const int roomBelow = available.bottom() - owner.bottom() - gap;
        const int roomAbove = owner.top() - available.top() - gap;
        const qint64 sideArea = qint64(std::max(std::max(roomRight, roomLeft), 0)) * height;
        const int vertical = std::max(roomBelow, roomAbove);
        const qint64 verticalArea = qint64(std::max(vertical, 0)) * width;
        if (verticalArea > 0 && verticalArea >= sideArea) {
            const int bandHeight = std::min(preferredHeight, vertical);
            const int left = std::clamp(owner.left(), available.left(), available.right() + 1 - width);
            const int y = roomBelow >= roomAbove ? owner.bottom() + 1 + gap : owner.top() - gap - bandHeight;
            return QRect(left, y, width, bandHeight);
        }
        if (sideArea > 0)
            return beside(std::max(roomRight, roomLeft), roomRight >= roomLeft);
    }
    const int left
        = std::clamp(owner.left() + overlapOffset, available.left(), available.right() + 1 - width);
    const int overTop
        = std::clamp(owner.top() + overlapOffset, available.top(), available.bottom() + 1 - height);
    return QRect(left, overTop, width, height);
}

OpenHelpWindows::~OpenHelpWindows()
{
    closeAll();
}

QList<HelpWindow*> OpenHelpWindows::windows() const
{
    QList<HelpWindow*> open;
    for (const QPointer<HelpWindow>& window : m_windows) {
        if (window)
            open << window.data();
    }
    return open;
}

void OpenHelpWindows::closeAll()
{
    const QList<QPointer<HelpWindow>> windows = std::exchange(m_windows, {});
    for (const QPointer<HelpWindow>& window : windows)
        delete window.data();
}

namespace {

// A window waiting for an answer (a dialog that asked for its help topic).
bool awaitsAnswer(const QWidget* window)
{
    return window && (window->isModal() || window->windowModality() != Qt::NonModal);
}

} // namespace

HelpWindow* OpenHelpWindows::windowFor(const QString& chmPath, QWidget* owner)
{
    const QWidget* top = owner ? owner->window() : nullptr;
    const QRect ownerFrame = top ? (m_locator ? m_locator(*top) : top->frameGeometry()) : QRect();
    const QString key = QFileInfo(chmPath).absoluteFilePath();
    m_windows.removeAll(nullptr);
    HelpWindow* window = nullptr;
    for (const QPointer<HelpWindow>& open : std::as_const(m_windows)) {
        if (QFileInfo(open->chmPath()).absoluteFilePath() == key)
            window = open.data();
    }
    // A window already open stays where the user left it, unless it hides the
    // dialog that asks for help now.
    if (window && !(awaitsAnswer(top) && window->frameGeometry().intersects(ownerFrame)))
        return window;
    if (!window) {
        window = new HelpWindow(chmPath);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Closing the main window ends the program even while help is open.
        window->setAttribute(Qt::WA_QuitOnClose, false);
        m_windows << window;
    }
    const QScreen* screen = top && top->screen() ? top->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect place = helpWindowPlace(ownerFrame, screen->availableGeometry(), awaitsAnswer(top));
        // The place is the frame's; the owner's frame tells what the title bar and
        // borders take (nothing when there is no window manager).
        const QSize frame = top ? top->frameGeometry().size() - top->size() : QSize();
        window->resize(place.size() - frame);
        window->move(place.topLeft());
    }
    return window;
}

void OpenHelpWindows::call(
    QWidget* owner, const QString& file, HtmlHelpCommand command, const HtmlHelpData& data)
{
    if (command == HtmlHelpCommand::CloseAll) {
        closeAll();
        return;
    }
    QString chmPath = file;
    QString topic;
    if (command == HtmlHelpCommand::DisplayTopic) {
        const qsizetype separator = file.indexOf(QLatin1String("::"));
        if (separator >= 0) {
            chmPath = file.left(separator);
            topic = file.mid(separator + 2);
            while (topic.startsWith(QLatin1Char('/')))
                topic.remove(0, 1);
        }
    }
    if (chmPath.isEmpty() || !QFileInfo(chmPath).isFile())
        return;
    HelpWindow* window = windowFor(chmPath, owner);
    switch (command) {
    case HtmlHelpCommand::DisplayToc:
        window->showContents();
        break;
    case HtmlHelpCommand::DisplayIndex:
        window->showIndex(data.text);
        break;
    case HtmlHelpCommand::DisplayTopic:
        window->showTopic(topic);
        break;
    case HtmlHelpCommand::HelpContext:
        window->showContext(data.number);
        break;
    case HtmlHelpCommand::CloseAll:
        break;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tramazel::help
