#pragma once

#include "nftverdict.h"

#include <QJsonArray>
#include <QString>

// The rules in force, as far as this user can read them.
struct Firewall
{
    // Who keeps the rules: the command to open a port is theirs.
    enum class Keeper { Nft, Ufw, Firewalld, IptablesLegacy };
    Keeper keeper = Keeper::Nft;
    bool readable = false;
    QJsonArray nftables;
    // iptables-legacy has rules of its own, which this tool does not weigh.
    bool legacyRules = false;
    // Why the rules could not be read, in Turkish; empty when they could.
    QString unreadable;
};

// Runs `nft -j list ruleset` (and iptables-legacy-save where installed).
Firewall readFirewall();

// What the firewall does with the connection; Unknown where it cannot say.
RulesetVerdict firewallVerdict(const Firewall &firewall, const InboundTcp &packet);

// The command that would accept the connection, for the keeper in use;
// empty for nftables rules that could not be read.
QString openCommand(const Firewall &firewall, const RulesetVerdict &verdict, const InboundTcp &packet);

QString keeperName(Firewall::Keeper keeper);
