#include "closeguard.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QWidget>

namespace {

// The title bar keeps everything but the close button. A window left with its
// default decoration gets the default buttons spelled out, since naming hints
// at all (CustomizeWindowHint) drops those not named: the minimize and the
// maximize button both stay. The window has a sizable border and nothing on it
// reacts to resizing, so maximizing is harmless, and the window menu of the
// platform keeps both commands too. A layout that chose its own buttons keeps
// its choice; only the close button goes.
void removeCloseButton(QWidget &window)
{
    Qt::WindowFlags flags = window.windowFlags();
    if (!flags.testFlag(Qt::CustomizeWindowHint))
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint;
    flags |= Qt::CustomizeWindowHint;
    flags &= ~Qt::WindowCloseButtonHint;
    // Changing the flags hides a shown window; show it again as it was.
    const bool shown = window.isVisible();
    window.setWindowFlags(flags);
    if (shown)
        window.show();
}

} // namespace

CloseGuard::CloseGuard(QWidget &window) : QObject(&window), m_window(window)
{
    removeCloseButton(window);
    window.installEventFilter(this);
    if (auto *application = qGuiApp) {
        // X11 session managers and Windows ask for the program's data before the
        // session ends (Windows then quits the application, see aboutToQuit);
        // either way the window may close from then on. Should another program
        // cancel the logout, the window stays closable from the window manager
        // until the program ends: a rare case that costs nothing worse.
#if QT_CONFIG(sessionmanager)
        connect(application, &QGuiApplication::commitDataRequest, this, &CloseGuard::endOfSession);
#endif
        connect(application, &QCoreApplication::aboutToQuit, this, &CloseGuard::endOfSession);
    }
}

bool CloseGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::Close && event->spontaneous()
        && !m_allowed) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
