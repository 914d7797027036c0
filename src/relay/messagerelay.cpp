#include "messagerelay.h"

#include "net/channels.h"
#include "wire/wiretext.h"
#include "net/yield.h"
#include "relay/operator.h"
#include "wire/shownread.h"
#include "relay/typedtext.h"

#include <algorithm>
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
        relayElement(i);
        // The elements before the next readable one would each read as
        // nothing, show an empty line and send nothing. The first of them is
        // read as any element, so that what the channel sends next is
        // nobody's text, as after every empty read; the rest, however many,
        // cost what one does. A closed element stays closed during the
        // yields, so the run is the same when its turn comes.
        const int next = std::min(int(pool.nextReadable(i + 1)), h + 1);
        if (next - i > 2) {
            relayElement(i + 1);
            passOver(next - i - 2);
            i = next - 1;
        }
    }
}

void MessageRelay::relayElement(int index)
{
    // A failed read leaves the text empty (getData clears it first), and
    // an empty read still makes its line: one line per element read.
    QByteArray toall;
    std::ignore = m_channels.Winsock().getData(index, toall);
    m_operator.showLine(ShownRead::shown(toall));
    // A failure ends only this broadcast; the next element is read.
    std::ignore = m_channels.SendOnArray5(toall);
}

void MessageRelay::passOver(int elements)
{
    m_operator.showEmptyLines(elements);
    // An empty broadcast is one yield per connected element (see
    // broadcast()): the run makes them all at once.
    m_channels.yield().repeat(elements * m_channels.Winsock().connectedCount());
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
