#include "messagerelay.h"

#include "net/channels.h"
#include "net/wiretext.h"
#include "net/yield.h"
#include "relay/shownread.h"
#include "ui/operatordialogs.h"
#include "ui/transcript.h"

#include <QLineEdit>
#include <QWidget>
#include <QWindow>

#include <tuple>

MessageRelay::MessageRelay(Channels &channels, Transcript &transcript, OperatorDialogs &dialogs,
                           QWidget &window, QObject *parent)
    : QObject(parent), m_channels(channels), m_transcript(transcript), m_dialogs(dialogs),
      m_window(window)
{
}

void MessageRelay::dataArrival()
{
    // The event's element plays no part: every pass reads all of them.
    m_arrivals.arrive(ArrivalGate::AnyElement, [this](qint16, bool) {
        relayEveryElement();
        keepWindowOnTop();
    });
}

void MessageRelay::relayEveryElement()
{
    SocketPool &pool = m_channels.Winsock();
    // Elements accepted during the broadcasts wait for the next arrival.
    const int h = pool.highestIndex();
    for (int i = 1; i <= h; ++i) {
        // A failed read leaves the text empty (getData clears it first), and
        // an empty read still makes its line: one line per element read.
        QByteArray toall;
        std::ignore = pool.getData(i, toall);
        m_transcript.appendLine(ShownRead::shown(toall));
        // A failure ends only this broadcast; the next element is read.
        std::ignore = m_channels.SendOnArray5(toall);
    }
}

void MessageRelay::keepWindowOnTop()
{
    // Qt has no SetWindowPos(HWND_TOPMOST, SWP_NOACTIVATE | SWP_SHOWWINDOW).
    // The same effect: the stay-on-top hint, set once, and a show that does
    // not activate, so the operator's typing is not taken away. The hint goes
    // to the live native window as it is: QWidget::setWindowFlags would
    // re-create it, hiding the window and redrawing all of it in the middle
    // of the first chat line. Nothing takes the hint away again.
    if (!m_window.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        m_window.overrideWindowFlags(m_window.windowFlags() | Qt::WindowStaysOnTopHint);
        if (QWindow *native = m_window.windowHandle())
            native->setFlags(native->flags() | Qt::WindowStaysOnTopHint);
    }
    if (m_window.isVisible())
        return;
    // Only this show goes without activation; the operator's own shows of the
    // window (start-up, closing the about window) still activate it.
    const bool activates = !m_window.testAttribute(Qt::WA_ShowWithoutActivating);
    m_window.setAttribute(Qt::WA_ShowWithoutActivating, true);
    m_window.show();
    m_window.setAttribute(Qt::WA_ShowWithoutActivating, !activates);
}

void MessageRelay::socketError(const Failure &failure)
{
    m_dialogs.failure(&m_window, failure);
}

void MessageRelay::send(QLineEdit &Txtnick, QLineEdit &Text2)
{
    if (Text2.text().isEmpty())
        return;
    // Both boxes are read afresh for the transcript: the operator may have
    // changed them during the yields.
    const auto line = [&]() -> QString {
        return QStringLiteral("<") + Txtnick.text() + QStringLiteral("> ") + Text2.text();
    };
    if (const Outcome failed = m_channels.SendOnArray(WireText::encode(line()))) {
        // The clients reached keep the line; the transcript does not get it.
        m_dialogs.failure(&m_window, *failed);
        Text2.clear();
        return;
    }
    m_channels.yield()();
    m_transcript.appendLine(line());
    Text2.clear();
}
