#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringListModel>
#include <QTimer>

// Who is present, as far as the wire lets a client know.
//
// The roster channel sends every entry of the server's roster as a send of
// its own with nothing between them, and sends the whole roster again each
// time someone arrives: what comes in is "SERVERAliVeli", perhaps twice over
// and cut anywhere. The names in it can only be told apart by already knowing
// them, so this keeps the names it has learnt elsewhere: the user's own, the
// operator's default "SERVER", every join announcement ("Ali sohbete katıldı."
// ends where the name ends), every leave, and the "<name> " in front of chat
// lines (the operator's, and those of clients that, like this one, put the
// sender's name there).
//
// Roster text is gathered until the channel has been quiet for RosterQuietMs:
// that is one roster, or a few sent back to back. If that text splits into
// known names in exactly one way, the list is those names, each once and in
// roster order, plus those who joined since, minus those who left (the server
// takes a leaver off its roster only two seconds later, and roster text sent
// meanwhile still holds the name), and sure() is true. Otherwise the text
// itself often shows where names meet: a lower-case letter followed by an
// upper-case one ("AyşeMehmet"), or the last capital of a run that starts a
// capitalised word ("HOCAAyşe"). Read with those hints and the known names,
// the list is likely() rather than sure; where the hints find no boundary
// either, rows() holds the roster text as received, a guess not shown as fact.
// It is refined whenever a new name becomes known.
//
// Where it can still be wrong: a name that is two known names run together
// ("AliVeli" while "Ali" and "Veli" are known) is read as those two; a chat
// line someone typed with "<x> " in front teaches a name nobody has; the
// server removes a leaver by the first entry that begins with the name, so
// after "Ali" leaves its roster may have lost "Alice" instead, which the next
// roster here shows; two leaves read at once that are not made of known
// names are taken for one name; and a likely list cuts a name with a capital
// inside ("McLeod") and runs together names written all in capitals.
class People final : public QObject
{
    Q_OBJECT

public:
    static constexpr int RosterQuietMs = 300;

    explicit People(QObject *parent = nullptr);

    // Starts over for a new connection under nickname.
    void reset(const QString &nickname);

    void rosterText(const QString &text);
    // A name announced on the join channel.
    void joined(const QString &nickname);
    // Leave channel text; returns the names that left in it.
    QStringList leaveText(const QString &text);
    // The text of a chat read: "<name> ..." teaches that name.
    void chatText(const QString &text);
    // A name someone has, learnt elsewhere (a gateway knows its own users').
    void know(const QString &name);
    // Takes the roster text gathered so far as complete.
    void settleRoster();

    bool sure() const { return m_sure; }
    bool likely() const { return m_likely; }
    QStringList names() const { return m_names; }
    QStringListModel *rows() { return &m_rows; }

    // Splits text into known names; empty if it cannot be done in exactly
    // one way.
    static QStringList split(const QString &text, const QSet<QString> &known);
    // The most plausible reading of text as names: known names where they
    // fit, the rest cut where the letters' case shows a boundary.
    static QStringList likelySplit(const QString &text, const QSet<QString> &known);
    // Forgets everyone: after leaving, nobody is known to be present.
    void clear();

signals:
    void changed();

private:
    void learn(const QString &name);
    void update();

    QSet<QString> m_known;
    QString m_roster;
    QString m_gathering;
    bool m_haveRoster = false;
    QStringList m_joinedSince;
    QSet<QString> m_gone;
    QStringList m_names;
    bool m_sure = false;
    bool m_likely = false;
    QStringListModel m_rows;
    QTimer m_quiet;
};
