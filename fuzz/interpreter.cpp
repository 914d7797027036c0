#include "interpreter.h"

#include "referee.h"
#include "relayrig.h"

#include "wire/wiretext.h"
#include "roster/rostermodel.h"

using FuzzProgram::Kind;
using FuzzProgram::Operation;

namespace {
Channel channelOf(quint8 arg)
{
    return Channel(arg % ChannelCount);
}
} // namespace

void Interpreter::run(const Operation &op)
{
    const Referee::Snapshot before = m_referee.snapshot();
    ++m_depth;
    perform(op);
    --m_depth;
    m_referee.checkAfter(op, before);
    if (m_depth == 0)
        m_referee.checkQuiet();
}

void Interpreter::drain()
{
    while (m_rig.yield.runEarliest()) {
    }
}

void Interpreter::schedule(const Operation &op)
{
    m_rig.yield.at(m_rig.yield.count + quint64(op.delay), [this, inner = op.inner] {
        if (m_depth >= MaxNesting) {
            Operation again;
            again.kind = Kind::Schedule;
            again.delay = 1;
            again.inner = inner;
            schedule(again);
            return;
        }
        run(*inner);
    });
}

int Interpreter::pickElement(Channel channel, quint8 pick)
{
    const int highest = m_rig.pool(channel).highestIndex();
    return highest > 0 ? 1 + pick % highest : 0;
}

void Interpreter::fail(Channel channel, int index, quint8 how)
{
    FuzzEndpoint &element = m_rig.element(channel, index);
    switch (how) {
    case 0: element.failSend = true; break;
    case 1: element.failRead = true; break;
    case 2: element.failSend = element.failRead = true; break;
    default: element.failSend = element.failRead = false; break;
    }
    m_referee.failureArmed(channel, element.failSend, element.failRead);
}

void Interpreter::handOver(const Operation &op)
{
    QString nickname = QString::fromUtf8(op.text);
    // With an empty roster the nickname stays the empty text.
    if (const int count = m_rig.List1.count(); (op.arg & 1) && count > 0) {
        nickname = m_rig.List1.text(op.pick % count);
        if (const int prefix = op.arg >> 1; prefix > 0)
            nickname.truncate(prefix);
    }
    m_referee.handingOver(nickname);
    m_rig.upkeep.handOverLeaver(nickname);
}

void Interpreter::perform(const Operation &op)
{
    const Channel channel = channelOf(op.arg);
    switch (op.kind) {
    case Kind::Connect:
        if (m_rig.pool(channel).highestIndex() >= MaxClients)
            return;
        m_rig.factory.failNextAccept = op.arg & 4;
        m_rig.element(channel, 0).request(m_nextRequest++);
        m_rig.factory.failNextAccept = false;
        return;
    case Kind::Arrive:
    case Kind::ArriveQuietly:
        if (const int k = pickElement(channel, op.pick)) {
            const bool withEvent = op.kind == Kind::Arrive;
            m_referee.arriving(channel, qint16(k), withEvent);
            m_rig.element(channel, k).arrive(op.text, withEvent);
        }
        return;
    case Kind::Drop:
        if (const int k = pickElement(channel, op.pick)) {
            m_referee.down(channel, qint16(k));
            m_rig.element(channel, k).close();
        }
        return;
    case Kind::Close:
        if (const int k = pickElement(channel, op.pick)) {
            m_referee.down(channel, qint16(k));
            m_rig.pool(channel).close(k);
        }
        return;
    case Kind::Fail:
        if (const int k = pickElement(channel, op.pick))
            fail(channel, k, (op.arg >> 2) & 3);
        return;
    case Kind::OperatorSend:
        m_rig.Text2.setText(QString::fromUtf8(op.text));
        if (!m_rig.Text2.text().isEmpty()) {
            m_referee.operatorLine(WireText::encode(QStringLiteral("<") + m_rig.Txtnick.text()
                                                    + QStringLiteral("> ") + m_rig.Text2.text()));
        }
        m_rig.message.send(m_rig.Txtnick, m_rig.Text2);
        return;
    case Kind::SetNickname:
        m_rig.Txtnick.setText(QString::fromUtf8(op.text));
        return;
    case Kind::TidyTick:
        m_rig.upkeep.tidyTick();
        return;
    case Kind::RemovalTick:
        m_rig.upkeep.removalTick();
        return;
    case Kind::Counter:
        m_rig.presence.Counter();
        return;
    case Kind::AddOperator: {
        const QByteArray entry = WireText::encode(m_rig.Txtnick.text().toUpper());
        m_referee.operatorEntry(entry);
        m_rig.List1.append(entry);
        return;
    }
    case Kind::ClearRoster:
        m_rig.List1.clear();
        return;
    case Kind::SocketError:
        m_rig.element(Channel::Message, pickElement(Channel::Message, op.pick))
            .raiseError(Failure{FailureNumber::ConnectionReset, QStringLiteral("fuzz")});
        return;
    case Kind::HandOver:
        handOver(op);
        return;
    case Kind::Select: {
        m_rig.List1.selectRow(op.pick % (m_rig.List1.count() + 1) - 1);
        return;
    }
    case Kind::Schedule:
        schedule(op);
        return;
    case Kind::KindCount:
        return;
    }
}
