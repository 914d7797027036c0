#include "referee.h"

#include "relayrig.h"

#include "wire/wiretext.h"
#include "roster/rostermodel.h"
#include "roster/rosterlookup.h"

#include <cstdio>
#include <cstdlib>

namespace {

const QString JoinedText = QStringLiteral(" sohbete katıldı.");
const QString CountSuffix = QStringLiteral(" Kullanıcı bağlı");

void require(bool holds, const char *rule, const QString &detail = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "relay_fuzzer: broken rule: %s%s%s\n", rule, detail.isEmpty() ? "" : ": ",
                 detail.toUtf8().constData());
    std::abort();
}

bool isSubsequence(const QByteArrayList &part, const QByteArrayList &whole)
{
    qsizetype at = 0;
    for (const QByteArray &entry : part) {
        while (at < whole.size() && whole.at(at) != entry)
            ++at;
        if (at == whole.size())
            return false;
        ++at;
    }
    return true;
}

QByteArrayList withoutLaterDuplicates(const QByteArrayList &entries)
{
    QByteArrayList kept;
    for (const QByteArray &entry : entries) {
        if (!kept.contains(entry))
            kept.append(entry);
    }
    return kept;
}

QString shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toPercentEncoding());
}

} // namespace

Referee::ElementBook &Referee::book(Channel channel, qint16 index)
{
    std::vector<ElementBook> &elements = m_books[size_t(channel)].elements;
    if (size_t(index) >= elements.size())
        elements.resize(size_t(index) + 1);
    return elements[size_t(index)];
}

// A text read on a relaying channel goes to every element there is now, once
// each, and to no other: the broadcast that sends it takes its bound at once.
void Referee::allow(Channel channel, const QByteArray &bytes)
{
    const int highest = m_rig->pool(channel).highestIndex();
    for (int i = 1; i <= highest; ++i)
        ++book(channel, qint16(i)).expected[bytes];
}

void Referee::appendedToRoster(const QByteArray &entry)
{
    m_appended.append(entry);
    ++m_appendedCount[entry];
}

void Referee::readDone(Channel channel, qint16 index, const QByteArray &bytes)
{
    require(index > 0, "element 0 is never read");
    book(channel, index).pendingEvent = false;
    switch (channel) {
    case Channel::Message:
    case Channel::Leave:
        allow(channel, bytes);
        break;
    case Channel::Join:
        allow(channel, bytes + WireText::encode(JoinedText));
        break;
    case Channel::Roster:
        // Every nickname read on the roster channel becomes an entry.
        appendedToRoster(bytes);
        break;
    }
}

void Referee::readFailed(Channel channel, qint16 index)
{
    require(index > 0, "element 0 is never read");
    book(channel, index).pendingEvent = false;
    // The message and leave handlers take a failed read as the empty text.
    if (channel == Channel::Message || channel == Channel::Leave)
        allow(channel, QByteArray());
}

void Referee::sending(Channel channel, qint16 index, qint16 state, const QByteArray &bytes)
{
    require(index > 0, "element 0 never receives a broadcast");
    require(state == EndpointState::Connected, "sends go to connected elements only");
    if (channel == Channel::Roster) {
        require(bytes.isEmpty() || m_appendedCount.contains(bytes),
                "a roster send is a roster entry", shown(bytes));
        return;
    }
    ElementBook &element = book(channel, index);
    const int sent = ++element.sent[bytes];
    require(sent <= element.expected.value(bytes),
            "every text relayed was read from a client or made by the server while the "
            "element existed, and goes to it at most once per read",
            shown(bytes));
}

void Referee::arriving(Channel channel, qint16 index, bool withEvent)
{
    if (withEvent)
        book(channel, index).pendingEvent = true;
    else
        m_books[size_t(channel)].quietArrivalEver = true;
}

void Referee::down(Channel channel, qint16 index)
{
    book(channel, index).everDown = true;
}

void Referee::failureArmed(Channel channel, bool send, bool read)
{
    m_books[size_t(channel)].sendFailureEver |= send;
    m_books[size_t(channel)].readFailureEver |= read;
}

void Referee::operatorLine(const QByteArray &line)
{
    allow(Channel::Message, line);
}

void Referee::operatorEntry(const QByteArray &entry)
{
    appendedToRoster(entry);
}

QByteArrayList Referee::roster() const
{
    QByteArrayList entries;
    for (int row = 0; row < m_rig->List1.count(); ++row)
        entries.append(m_rig->List1.entry(row));
    return entries;
}

std::optional<QByteArray> Referee::selectedEntry() const
{
    const int row = m_rig->List1.selectedRow();
    if (row < 0)
        return std::nullopt;
    return m_rig->List1.entry(row);
}

Referee::Snapshot Referee::snapshot() const
{
    Snapshot s;
    s.roster = roster();
    s.selected = selectedEntry();
    s.appended = m_appended.size();
    s.transcript = m_rig->transcript.text();
    for (int c = 0; c < ChannelCount; ++c)
        s.poolCounts[size_t(c)] = m_rig->pool(Channel(c)).count();
    return s;
}

void Referee::checkPools(const Snapshot &before)
{
    for (int c = 0; c < ChannelCount; ++c) {
        SocketPool &pool = m_rig->pool(Channel(c));
        const int count = pool.count();
        require(count >= 1 && count <= SocketPool::Capacity, "a pool holds 1 to 32767 elements");
        require(count == pool.highestIndex() + 1, "a pool's count is its highest index + 1");
        require(count >= before.poolCounts[size_t(c)], "pools only grow");
        for (int i = 0; i < count; ++i) {
            const auto *element = static_cast<const FuzzEndpoint *>(pool.endpoint(i));
            require(element && element->index() == i && element->channel() == Channel(c),
                    "every index up to the highest holds its own element, never replaced");
        }
        require(pool.state(0) != EndpointState::Connected, "element 0 is never connected");
    }
}

void Referee::checkRoster(const Snapshot &before)
{
    const QByteArrayList now = roster();
    QHash<QByteArray, int> counts;
    for (int row = 0; row < now.size(); ++row) {
        const QByteArray &entry = now.at(row);
        require(++counts[entry] <= m_appendedCount.value(entry),
                "every roster entry is a text once added, bytes unchanged", shown(entry));
        require(m_rig->List1.text(row) == WireText::decodeForDisplay(entry),
                "an entry shows its own bytes");
    }
    require(m_rig->List1.selection().selectedIndexes().size() <= 1, "at most one entry is selected");

    // Entries are only appended at the end or taken out, so the roster is
    // what stayed of the old one followed by what stayed of the new ones.
    const QByteArrayList added = m_appended.mid(before.appended);
    bool ordered = false;
    for (qsizetype split = 0; split <= now.size() && !ordered; ++split) {
        ordered = isSubsequence(now.mid(0, split), before.roster)
            && isSubsequence(now.mid(split), added);
    }
    require(ordered, "the roster keeps its order; new entries go to the end");

    // A run of Counter that resumes after a nested one adds 1 past the count
    // the nested run left: one more per run that was under way.
    const qint32 X = m_rig->presence.X();
    require(X >= 0 && X <= m_appended.size() + FuzzProgram::MaxOperations,
            "Counter's index stays within the roster size and one step per run");
    const QString caption = m_rig->upkeep.countCaption();
    bool digits = false;
    caption.chopped(CountSuffix.size()).toUInt(&digits);
    require(caption.endsWith(CountSuffix) && digits, "the count caption shows a count", caption);
}

void Referee::checkTidy(const Snapshot &before)
{
    const QByteArrayList now = roster();
    require(now == withoutLaterDuplicates(before.roster),
            "a tidy tick removes every later duplicate, keeping first occurrences in order");
    require(m_rig->upkeep.countCaption() == QString::number(now.size()) + CountSuffix,
            "after a tidy tick the caption shows the entry count", m_rig->upkeep.countCaption());
    require(selectedEntry() == before.selected, "a tidy tick keeps the selected text selected");
}

void Referee::checkRemoval(const Snapshot &before)
{
    const QByteArrayList now = roster();
    require(isSubsequence(now, before.roster), "a removal tick only removes");
    if (before.selected) {
        require(now.count(*before.selected) < before.roster.count(*before.selected),
                "a removal tick removes the selected entry", shown(*before.selected));
    }
    require(m_rig->upkeep.lookupText().isEmpty(), "a removal tick empties the lookup text");
    require(m_rig->List1.selectedRow() == -1, "after a removal tick nothing is selected");
    require(!m_rig->Timer2.isActive(), "a removal tick disarms Timer2");
}

void Referee::checkHandOver()
{
    require(m_rig->upkeep.lookupText() == m_handedOver, "the lookup text is the nickname handed over",
            m_rig->upkeep.lookupText() + QStringLiteral(" != ") + m_handedOver);
    require(m_rig->Timer2.isActive(), "a hand-over arms Timer2");
    const QString wanted = RosterLookup::folded(m_handedOver);
    bool someBegins = false;
    for (int row = 0; row < m_rig->List1.count(); ++row)
        someBegins |= RosterLookup::folded(m_rig->List1.text(row)).startsWith(wanted);
    const int selected = m_rig->List1.selectedRow();
    if (m_handedOver.isEmpty()) {
        require(selected == -1, "an empty nickname selects nothing");
        return;
    }
    require((selected >= 0) == someBegins,
            "the lookup selects an entry exactly when one begins with the nickname");
    if (selected >= 0) {
        require(RosterLookup::folded(m_rig->List1.text(selected)).startsWith(wanted),
                "the selected entry begins with the nickname");
    }
}

void Referee::checkAfter(const FuzzProgram::Operation &op, const Snapshot &before)
{
    using FuzzProgram::Kind;
    checkPools(before);
    checkRoster(before);
    require(m_rig->transcript.text().startsWith(before.transcript),
            "the transcript only grows at its end");
    switch (op.kind) {
    case Kind::TidyTick: checkTidy(before); break;
    case Kind::RemovalTick: checkRemoval(before); break;
    case Kind::HandOver: checkHandOver(); break;
    case Kind::ClearRoster: require(m_rig->List1.count() == 0, "a cleared roster is empty"); break;
    default: break;
    }
}

void Referee::checkQuiet()
{
    for (int c = 0; c < ChannelCount; ++c) {
        const Channel channel = Channel(c);
        const ChannelBook &books = m_books[size_t(c)];
        const int highest = m_rig->pool(channel).highestIndex();
        for (int i = 1; i <= highest; ++i) {
            const ElementBook &element = book(channel, qint16(i));
            // An arrival is never lost: its handler ran, now or held back. A
            // leave run takes the first nickname waiting anywhere, so on that
            // channel bytes without an event, or failing reads, may use up runs.
            const bool leaveUncounted = channel == Channel::Leave
                && (books.quietArrivalEver || books.readFailureEver);
            require(!element.pendingEvent || leaveUncounted,
                    "every data arrival has been handled once no handler runs",
                    QStringLiteral("channel %1 element %2").arg(c).arg(i));
            // Every connected client got every text relayed on its channel
            // since it joined, unless a failed send cut a broadcast short.
            if (channel == Channel::Roster || books.sendFailureEver || element.everDown
                || m_rig->pool(channel).state(i) != EndpointState::Connected)
                continue;
            for (auto it = element.expected.cbegin(); it != element.expected.cend(); ++it) {
                // An empty text puts nothing on the wire; whether its send
                // reaches the endpoint at all is the socket layer's business.
                if (it.key().isEmpty())
                    continue;
                require(element.sent.value(it.key()) >= it.value(),
                        "every connected client receives every text relayed on its channel",
                        QStringLiteral("channel %1 element %2: ").arg(c).arg(i) + shown(it.key()));
            }
        }
    }
}
