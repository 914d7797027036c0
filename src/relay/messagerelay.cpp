#include "messagerelay.h"

#include "net/channels.h"
#include "net/wiretext.h"
#include "net/yield.h"
#include "relay/operator.h"
#include "relay/shownread.h"
#include "relay/typedtext.h"

#include <tuple>

MessageRelay::MessageRelay(Channels &channels, Operator &desk, QObject *parent)
    : QObject(parent), m_channels(channels), m_operator(desk)
{
}

void MessageRelay::dataArrival()
{
    // The event's element plays no part: every pass reads all of them.
    m_arrivals.arrive(ArrivalGate::AnyElement, [this](qint16, bool) {
        relayEveryElement();
        m_operator.keepOnTop();
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
        m_operator.showLine(ShownRead::shown(toall));
        // A failure ends only this broadcast; the next element is read.
        std::ignore = m_channels.SendOnArray5(toall);
    }
}

void MessageRelay::socketError(const Failure &failure)
{
    m_operator.reportFailure(failure);
}

void MessageRelay::send(const TypedText &nickname, TypedText &line)
{
    if (line.text().isEmpty())
        return;
    // Both texts are read afresh for the transcript: the operator may have
    // changed them during the yields.
    const auto shownLine = [&]() -> QString {
        return QStringLiteral("<") + nickname.text() + QStringLiteral("> ") + line.text();
    };
    if (const Outcome failed = m_channels.SendOnArray(WireText::encode(shownLine()))) {
        // The clients reached keep the line; the transcript does not get it.
        m_operator.reportFailure(*failed);
        line.setText(QString());
        return;
    }
    m_channels.yield()();
    m_operator.showLine(shownLine());
    line.setText(QString());
}
