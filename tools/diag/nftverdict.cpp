#include "nftverdict.h"

#include <QHash>
#include <QJsonObject>

#include <algorithm>
#include <optional>

// The rule set is `nft -j list ruleset`: a list of objects each holding one
// "table", "chain" or "rule"; a rule's "expr" is a list of statements, each
// an object with one key ("match", "counter", "accept", "jump", ...).

namespace {

enum class Match { Yes, No, Unknown };
enum class Outcome { Accept, Drop, Reject, Unknown };
constexpr int MaxJumpDepth = 16;

Match either(bool yes)
{
    return yes ? Match::Yes : Match::No;
}

// Any of a set's elements, or the one value.
template<typename Test>
Match anyOf(const QJsonValue &right, Test test)
{
    // An anonymous set is {"set": [...]}; flags ("ct state established,
    // related") are a bare list.
    if (right.isArray() || right.toObject().contains(u"set")) {
        Match result = Match::No;
        const QJsonArray elements = right.isArray() ? right.toArray() : right.toObject().value(u"set").toArray();
        for (const QJsonValue &element : elements) {
            const Match one = test(element);
            if (one == Match::Yes)
                return Match::Yes;
            if (one == Match::Unknown)
                result = Match::Unknown;
        }
        return result;
    }
    return test(right);
}

Match portMatch(const QJsonValue &value, quint16 port)
{
    if (value.isDouble())
        return either(value.toInt() == port);
    const QJsonArray range = value.toObject().value(u"range").toArray();
    if (range.size() == 2)
        return either(range[0].toInt() <= port && port <= range[1].toInt());
    return Match::Unknown; // a named set ("@name") or an expression
}

// A source match against "some host of the packet's network": yes if the
// rule covers the whole network, no if none of it, unknown if a part.
Match sourceMatch(const QJsonValue &value, const InboundTcp &packet)
{
    QHostAddress address;
    int length = 0;
    const QJsonObject prefix = value.toObject().value(u"prefix").toObject();
    if (value.isString()) {
        address = QHostAddress(value.toString());
        length = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    } else if (!prefix.isEmpty()) {
        address = QHostAddress(prefix.value(u"addr").toString());
        length = prefix.value(u"len").toInt();
    }
    if (address.isNull())
        return Match::Unknown;
    if (length <= packet.prefixLength)
        return either(packet.network.isInSubnet(address, length));
    return address.isInSubnet(packet.network, packet.prefixLength) ? Match::Unknown : Match::No;
}

Match nameMatch(const QJsonValue &value, const QStringList &names)
{
    return anyOf(value, [&](const QJsonValue &one) {
        if (one.isDouble())
            return either(names.contains(QString::number(one.toInt())));
        if (one.isString())
            return either(names.contains(one.toString()));
        return Match::Unknown;
    });
}

Match interfaceMatch(const QJsonValue &value, const QString &name)
{
    return anyOf(value, [&](const QJsonValue &one) {
        if (!one.isString() || one.toString().contains(u'*'))
            return Match::Unknown;
        return either(one.toString() == name);
    });
}

bool isIpv4(const InboundTcp &packet)
{
    return packet.network.protocol() == QAbstractSocket::IPv4Protocol;
}

Match unnegated(const QJsonObject &match, const InboundTcp &packet)
{
    const QJsonObject left = match.value(u"left").toObject();
    const QJsonValue right = match.value(u"right");
    const bool v4 = isIpv4(packet);
    if (left.contains(u"payload")) {
        const QJsonObject payload = left.value(u"payload").toObject();
        const QString protocol = payload.value(u"protocol").toString();
        const QString field = payload.value(u"field").toString();
        if (protocol == u"tcp")
            return field == u"dport" ? anyOf(right, [&](const QJsonValue &v) { return portMatch(v, packet.port); })
                                     : Match::Unknown;
        if (protocol == u"ip" || protocol == u"ip6") {
            if ((protocol == u"ip") != v4)
                return Match::No; // an IPv4 header match never matches IPv6, and back
            if (field == u"saddr")
                return anyOf(right, [&](const QJsonValue &v) { return sourceMatch(v, packet); });
            if (field == u"protocol" || field == u"nexthdr")
                return nameMatch(right, {QStringLiteral("tcp"), QStringLiteral("6")});
            return Match::Unknown;
        }
        if (protocol == u"udp" || protocol == u"udplite" || protocol == u"sctp" || protocol == u"dccp"
            || protocol == u"icmp" || protocol == u"icmpv6")
            return Match::No;
        return Match::Unknown;
    }
    if (left.contains(u"meta")) {
        const QString key = left.value(u"meta").toObject().value(u"key").toString();
        if (key == u"l4proto")
            return nameMatch(right, {QStringLiteral("tcp"), QStringLiteral("6")});
        if (key == u"nfproto")
            return nameMatch(right, {v4 ? QStringLiteral("ipv4") : QStringLiteral("ipv6")});
        if (key == u"iif" || key == u"iifname")
            return interfaceMatch(right, packet.interfaceName);
        return Match::Unknown;
    }
    if (left.contains(u"ct") && left.value(u"ct").toObject().value(u"key").toString() == u"state")
        return nameMatch(right, {QStringLiteral("new")});
    return Match::Unknown;
}

Match matches(const QJsonObject &match, const InboundTcp &packet)
{
    const Match m = unnegated(match, packet);
    if (match.value(u"op").toString() != u"!=" || m == Match::Unknown)
        return m;
    return m == Match::Yes ? Match::No : Match::Yes;
}

// One rule, read: does it match, and what does it do then.
struct Rule
{
    Match match = Match::Yes;
    enum Action { None, Accept, Drop, Reject, Jump, Goto, Return, Unclear } action = None;
    QString target;
};

Rule readRule(const QJsonArray &statements, const InboundTcp &packet)
{
    Rule rule;
    for (const QJsonValue &value : statements) {
        const QJsonObject statement = value.toObject();
        const QString key = statement.isEmpty() ? QString() : statement.begin().key();
        if (key == u"match") {
            const Match m = matches(statement.value(key).toObject(), packet);
            if (m == Match::No)
                rule.match = Match::No;
            else if (m == Match::Unknown && rule.match == Match::Yes)
                rule.match = Match::Unknown;
        } else if (key == u"accept") {
            rule.action = Rule::Accept;
        } else if (key == u"drop") {
            rule.action = Rule::Drop;
        } else if (key == u"reject") {
            rule.action = Rule::Reject;
        } else if (key == u"jump" || key == u"goto") {
            rule.action = key == u"jump" ? Rule::Jump : Rule::Goto;
            rule.target = statement.value(key).toObject().value(u"target").toString();
        } else if (key == u"return") {
            rule.action = Rule::Return;
        } else if (key == u"continue" || key == u"counter" || key == u"log" || key == u"mangle"
                   || key == u"notrack") {
            // No effect on whether the connection gets through.
        } else {
            // A verdict map, queue, rate limit, quota, xt match...: it may
            // decide, and how is not worked out here.
            if (rule.match != Match::No)
                rule.match = Match::Unknown;
            if (rule.action == Rule::None)
                rule.action = Rule::Unclear;
        }
    }
    return rule;
}

// Walks the rules as the kernel would, with the chains jumped from kept on a
// stack. Where a rule may or may not match, both ways are followed to the
// end; the answer is known if they end alike.
class Walk
{
public:
    Walk(const QJsonArray &nftables, const InboundTcp &packet) : m_packet(packet)
    {
        for (const QJsonValue &value : nftables) {
            const QJsonObject rule = value.toObject().value(u"rule").toObject();
            if (!rule.isEmpty())
                m_rules[key(rule.value(u"family").toString(), rule.value(u"table").toString(),
                            rule.value(u"chain").toString())]
                        .append(rule.value(u"expr").toArray());
        }
    }

    // The base chain's outcome, its policy where the rules do not decide.
    Outcome base(const QString &family, const QString &table, const QString &name, Outcome policy)
    {
        m_steps = 0;
        m_prefix = family + u' ' + table + u' ';
        m_policy = policy;
        return walk({{m_prefix + name, 0}});
    }

private:
    struct Frame
    {
        QString chain;
        qsizetype next = 0;
    };

    static QString key(const QString &family, const QString &table, const QString &chain)
    {
        return family + u' ' + table + u' ' + chain;
    }

    Outcome walk(QList<Frame> stack)
    {
        while (!stack.isEmpty()) {
            if (++m_steps > MaxSteps || stack.size() > MaxJumpDepth)
                return Outcome::Unknown;
            const QList<QJsonArray> &rules = m_rules[stack.last().chain];
            if (stack.last().next >= rules.size()) {
                stack.removeLast();
                continue;
            }
            const Rule rule = readRule(rules[stack.last().next++], m_packet);
            if (rule.match == Match::No || rule.action == Rule::None)
                continue;
            QList<Frame> matched = stack;
            std::optional<Outcome> ends;
            switch (rule.action) {
            case Rule::Accept: ends = Outcome::Accept; break;
            case Rule::Drop: ends = Outcome::Drop; break;
            case Rule::Reject: ends = Outcome::Reject; break;
            case Rule::Unclear: ends = Outcome::Unknown; break;
            case Rule::Return: matched.removeLast(); break;
            case Rule::Jump: matched.append({m_prefix + rule.target, 0}); break;
            case Rule::Goto: matched.last() = {m_prefix + rule.target, 0}; break;
            case Rule::None: break;
            }
            if (rule.match == Match::Yes) {
                if (ends)
                    return *ends;
                stack = std::move(matched);
                continue;
            }
            const Outcome ifMatched = ends ? *ends : walk(std::move(matched));
            const Outcome otherwise = walk(std::move(stack));
            return ifMatched == otherwise ? otherwise : Outcome::Unknown;
        }
        return m_policy;
    }

    // Bounds the work where many rules may or may not match.
    static constexpr int MaxSteps = 100000;
    const InboundTcp &m_packet;
    QHash<QString, QList<QJsonArray>> m_rules;
    QString m_prefix;
    Outcome m_policy = Outcome::Accept;
    int m_steps = 0;
};

} // namespace

RulesetVerdict evaluateInbound(const QJsonArray &nftables, const InboundTcp &packet)
{
    const QString ownFamily = isIpv4(packet) ? QStringLiteral("ip") : QStringLiteral("ip6");
    QList<QJsonObject> bases;
    for (const QJsonValue &value : nftables) {
        const QJsonObject chain = value.toObject().value(u"chain").toObject();
        const QString family = chain.value(u"family").toString();
        if (chain.value(u"hook").toString() == u"input" && (family == ownFamily || family == u"inet"))
            bases.append(chain);
    }
    std::stable_sort(bases.begin(), bases.end(), [](const QJsonObject &a, const QJsonObject &b) {
        return a.value(u"prio").toInt() < b.value(u"prio").toInt();
    });

    // Each base chain sees the connection unless an earlier one dropped it;
    // an accept only ends its own chain.
    Walk walk(nftables, packet);
    RulesetVerdict result{Verdict::Accept, {}, {}, {}};
    for (const QJsonObject &base : bases) {
        const Outcome policy = base.value(u"policy").toString() == u"drop" ? Outcome::Drop : Outcome::Accept;
        const Outcome outcome = walk.base(base.value(u"family").toString(), base.value(u"table").toString(),
                                          base.value(u"name").toString(), policy);
        if (outcome == Outcome::Drop || outcome == Outcome::Reject) {
            return {outcome == Outcome::Drop ? Verdict::Drop : Verdict::Reject,
                    base.value(u"family").toString(), base.value(u"table").toString(),
                    base.value(u"name").toString()};
        }
        if (outcome == Outcome::Unknown && result.verdict != Verdict::Unknown) {
            result = {Verdict::Unknown, base.value(u"family").toString(), base.value(u"table").toString(),
                      base.value(u"name").toString()};
        }
    }
    return result;
}
