#include "serverlifecycle.h"

#include "net/channels.h"
#include "net/yield.h"
#include "relay/operator.h"
#include "relay/typedtext.h"
#include "roster/rostermodel.h"
#include "roster/rosterupkeep.h"
#include "wire/servernotice.h"
#include "wire/wiretext.h"

#include <QLocale>
#include <QScopedValueRollback>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace {

const QString NoNickname = QStringLiteral("İsminizi giriniz.");
const QString NoHost = QStringLiteral("Yerel bilgisayar adını yada IP sini giriniz.");
// A nickname of exactly one blank counts as none; two blanks do not.
const QString OneBlank = QStringLiteral(" ");
const QString StopWarning =
    QStringLiteral("Sunucuyu durdurursanız tüm kullanıcıların bağlantısı durur! Emin misiniz?");
const QString StoppingLine =
    QStringLiteral("<SUNUCU> Sunucu bağlantıları kesiliyor...Lütfen bekleyiniz.");
const QString StoppedLine = QStringLiteral("<SUNUCU> Sunucu bağlantısı kapatıldı.");

} // namespace

ServerLifecycle::ServerLifecycle(Channels &channels, RosterModel &roster, RosterUpkeep &upkeep,
                                 Operator &desk, Inputs inputs, QObject *parent)
    : QObject(parent), m_channels(channels), m_roster(roster), m_upkeep(upkeep), m_operator(desk),
      m_inputs(inputs)
{
}

void ServerLifecycle::load()
{
    m_inputs.host.setText(m_channels.Winsock().localHostIdentity());
}

void ServerLifecycle::start()
{
    if (m_state != ServerState::NotStarted)
        return;

    const QString nickname = m_inputs.nickname.text();
    if (nickname.isEmpty() || nickname == OneBlank) {
        m_operator.reportInputProblem(Operator::Field::Nickname, NoNickname);
        return;
    }
    if (m_inputs.host.text().isEmpty()) {
        m_operator.reportInputProblem(Operator::Field::Host, NoHost);
        m_inputs.host.setText(m_channels.Winsock().localHostIdentity());
        return;
    }

    // A channel that cannot listen ends the start with its report. Channels
    // already listening stay so, and since the state is unchanged the window
    // still offers Start: a second start listens again where needed
    // (listening twice on a listening element does nothing).
    for (SocketPool *pool : {&m_channels.Winsock(), &m_channels.Winusers(), &m_channels.Winleft(),
                             &m_channels.Winjoin()}) {
        if (Outcome failed = pool->listen()) {
            m_operator.reportFailure(*failed);
            return;
        }
    }

    enter(ServerState::Running);

    // The operator's own locale decides: in a Turkish locale "ali" becomes
    // "ALİ" with the dotted capital, elsewhere "ALI", as the operator would
    // write it. Clients compare nicknames byte for byte, so this only has to
    // agree with what the operator expects to see.
    m_inputs.nickname.setText(QLocale::system().toUpper(nickname));
    m_roster.append(WireText::encode(m_inputs.nickname.text()));
}

void ServerLifecycle::stop()
{
    // The stop yields to the event loop (inside the broadcast and once more),
    // and the server stays Running (mnudisconnect enabled) until the notice
    // is out; a stop chosen again meanwhile would send a second notice and
    // write the lines twice. One stop at a time: a second one while the
    // first runs does nothing.
    if (m_stopping || m_state != ServerState::Running)
        return;
    const QScopedValueRollback stopping(m_stopping, true);

    if (!m_operator.confirmStop(StopWarning))
        return;

    // A send that fails ends the notice broadcast at that client. The stop
    // goes on regardless: left half-done it would keep the server running
    // with its commands in a mixed state and the roster still full. The
    // clients the notice did not reach learn of the stop by the connection
    // closing, a moment later.
    std::ignore = m_channels.SendOnArray(WireText::encode(ServerNotice::Stopping));

    // This yield must let in every event pending now (leave announcements the
    // clients send on the notice, for one). The event-loop yield normally
    // hands over only once per time slice, so it is told not to skip this one.
    if (auto *eventLoop = dynamic_cast<EventLoopYield *>(&m_channels.yield()))
        eventLoop->forceNext();
    m_channels.yield()();

    m_operator.showLine(StoppingLine);
    m_operator.showLine(StoppedLine);

    enter(ServerState::Stopped);

    closeEveryElement();

    m_upkeep.handOverLeaver(m_inputs.nickname.text());
    m_roster.clear();
}

void ServerLifecycle::closeEveryElement()
{
    // By rising index and, at each index, message, leave, join, roster: the
    // listening elements go first, then the clients in the order they came.
    const std::array<SocketPool *, 4> order{&m_channels.Winsock(), &m_channels.Winleft(),
                                            &m_channels.Winjoin(), &m_channels.Winusers()};
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
    if (m_state == ServerState::Running)
        return;
    emit exiting();
    m_terminate();
}

void ServerLifecycle::enter(ServerState state)
{
    m_state = state;
    emit stateChanged(m_state);
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
