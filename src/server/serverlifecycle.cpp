#include "serverlifecycle.h"

#include "closeguard.h"
#include "net/wiretext.h"
#include "net/yield.h"
#include "roster/rosterlist.h"
#include "roster/rosterupkeep.h"
#include "ui/form1.h"
#include "ui/operatordialogs.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QScopedValueRollback>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

const QString NoNickname = QStringLiteral("İsminizi giriniz.");
const QString NoHost = QStringLiteral("Yerel bilgisayar adını yada IP sini giriniz.");
// A nickname of exactly one blank counts as none; two blanks do not.
const QString OneBlank = QStringLiteral(" ");
const QString StopWarning =
    QStringLiteral("Sunucuyu durdurursanız tüm kullanıcıların bağlantısı durur! Emin misiniz?");
const QString StopNotice = QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.");
const QString StoppingLine =
    QStringLiteral("<SUNUCU> Sunucu bağlantıları kesiliyor...Lütfen bekleyiniz.");
const QString StoppedLine = QStringLiteral("<SUNUCU> Sunucu bağlantısı kapatıldı.");

} // namespace

ServerLifecycle::ServerLifecycle(Form1 &window, RosterUpkeep &upkeep, QObject *parent)
    : QObject(parent), m_window(window), m_upkeep(upkeep)
{
}

void ServerLifecycle::load()
{
    m_window.Text3()->setText(m_window.Winsock().localHostIdentity());
    // One guard per window, however often a load step runs on it.
    if (!m_closeGuard)
        m_closeGuard = m_window.findChild<CloseGuard *>(QString(), Qt::FindDirectChildrenOnly);
    if (!m_closeGuard)
        m_closeGuard = new CloseGuard(m_window); // owned by the window
}

void ServerLifecycle::start()
{
    if (!m_window.mnustart()->isEnabled())
        return;

    const QString nickname = m_window.Txtnick()->text();
    if (nickname.isEmpty() || nickname == OneBlank) {
        m_window.dialogs().inputProblem(&m_window, NoNickname);
        m_window.Txtnick()->setFocus();
        return;
    }
    if (m_window.Text3()->text().isEmpty()) {
        m_window.dialogs().inputProblem(&m_window, NoHost);
        m_window.Text3()->setText(m_window.Winsock().localHostIdentity());
        return;
    }

    // A channel that cannot listen ends the start with its report. Channels
    // already listening stay so, and since the commands are not switched yet
    // the window still offers Start: a second start listens again where
    // needed (listening twice on a listening element does nothing).
    for (SocketPool *pool : {&m_window.Winsock(), &m_window.Winusers(), &m_window.Winleft(),
                             &m_window.Winjoin()}) {
        if (Outcome failed = pool->listen()) {
            m_window.dialogs().failure(&m_window, *failed);
            return;
        }
    }

    m_window.mnustart()->setEnabled(false);
    m_window.mnudisconnect()->setEnabled(true);
    m_window.mnuexit()->setEnabled(false);
    m_window.Frame1()->setEnabled(false);
    m_window.Frame2()->setEnabled(true);

    // The operator's own locale decides: in a Turkish locale "ali" becomes
    // "ALİ" with the dotted capital, elsewhere "ALI", as the operator would
    // write it. Clients compare nicknames byte for byte, so this only has to
    // agree with what the operator expects to see.
    m_window.Txtnick()->setText(QLocale::system().toUpper(nickname));
    RosterList::append(*m_window.List1(), WireText::encode(m_window.Txtnick()->text()));
    m_window.Text2()->setFocus();
}

void ServerLifecycle::stop()
{
    // The stop yields to the event loop (inside the broadcast and once more),
    // and mnudisconnect stays enabled until the notice is out; a stop chosen
    // again meanwhile would send a second notice and write the lines twice.
    // One stop at a time: a second one while the first runs does nothing.
    if (m_stopping || !m_window.mnudisconnect()->isEnabled())
        return;
    const QScopedValueRollback stopping(m_stopping, true);

    if (!m_window.dialogs().confirmStop(&m_window, StopWarning))
        return;

    // A send that fails ends the notice broadcast at that client. The stop
    // goes on regardless: left half-done it would keep the server running
    // with its commands in a mixed state and the roster still full. The
    // clients the notice did not reach learn of the stop by the connection
    // closing, a moment later.
    const Outcome noticeFailed = m_window.channels().SendOnArray(WireText::encode(StopNotice));
    Q_UNUSED(noticeFailed);

    // This yield must let in every event pending now (leave announcements the
    // clients send on the notice, for one). The event-loop yield normally
    // hands over only once per time slice, so it is told not to skip this one.
    if (auto *eventLoop = dynamic_cast<EventLoopYield *>(&m_window.yield()))
        eventLoop->forceNext();
    m_window.yield()();

    m_window.transcript().appendLine(StoppingLine);
    m_window.transcript().appendLine(StoppedLine);

    m_window.mnudisconnect()->setEnabled(false);
    m_window.mnuexit()->setEnabled(true);
    m_window.Frame2()->setEnabled(false);

    closeEveryElement();

    m_upkeep.handOverLeaver(m_window.Txtnick()->text());
    m_window.List1()->clear();
}

void ServerLifecycle::closeEveryElement()
{
    // By rising index and, at each index, message, leave, join, roster: the
    // listening elements go first, then the clients in the order they came.
    const std::array<SocketPool *, 4> order{&m_window.Winsock(), &m_window.Winleft(),
                                            &m_window.Winjoin(), &m_window.Winusers()};
    // Closing never yields, so no pool grows while this runs.
    int top = 0;
    for (const SocketPool *pool : order)
        top = std::max(top, int(pool->highestIndex()));
    for (int i = 0; i <= top; ++i) {
        for (SocketPool *pool : order) {
            if (i <= pool->highestIndex())
                pool->close(i);
        }
    }
}

void ServerLifecycle::exit()
{
    if (!m_window.mnuexit()->isEnabled())
        return;
    if (m_closeGuard)
        m_closeGuard->allowClose();
    m_terminate();
}

void ServerLifecycle::endProcessNow()
{
    // "At once" means: no further handler, no notice to any client, no window
    // asked whether it may close. QCoreApplication::quit() asks every window
    // and lets the events already queued run first (a data arrival could
    // still relay text); std::exit() would run static destructors under a
    // live QApplication. So the process ends here, with success; the system
    // closes every socket, which ends every open connection, and the program
    // keeps nothing that would need saving.
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}
