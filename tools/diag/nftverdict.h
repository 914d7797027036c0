#pragma once

#include <QHostAddress>
#include <QJsonArray>
#include <QString>

// What the input hook does with a new TCP connection from the local network.
enum class Verdict { Accept, Drop, Reject, Unknown };

// The connection asked about: from some host of the network the local
// address belongs to, arriving on its interface.
struct InboundTcp
{
    QHostAddress network; // the address of the network, host bits zero
    int prefixLength = 0;
    QString interfaceName;
    quint16 port = 0;
};

struct RulesetVerdict
{
    Verdict verdict = Verdict::Unknown;
    // The base chain that drops or rejects, or the first that may: an
    // accepting rule put at its head opens the port.
    QString family, table, chain;
};

// Walks every base chain on the input hook (of the connection's family and
// inet), lowest priority first, following jumps and gotos. Matches it does
// not understand (named sets, verdict maps, rate limits, xt matches) make
// the answer Unknown unless the rest of the chain ends the same way.
RulesetVerdict evaluateInbound(const QJsonArray &nftables, const InboundTcp &packet);
