#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QString>
#include <QTimer>

class RosterModel;

// Keeps the roster in shape: the tidy tick (Timer1) removes duplicates and
// refreshes the count caption; the lookup text (the hidden box Text4) selects
// a leaving user's entry and the removal tick (Timer2) takes it off the
// roster. Whoever owns the roster starts Timer1.
class RosterUpkeep final : public QObject
{
    Q_OBJECT

public:
    static constexpr int TidyIntervalMs = 500;
    static constexpr int RemovalIntervalMs = 2000;

    explicit RosterUpkeep(RosterModel &roster, QObject *parent = nullptr);

    // The hand-off of a leave (or of the server stop): makes the nickname the
    // lookup text, which selects its entry, and arms Timer2.
    void handOverLeaver(const QString &nickname);

    // The lookup text, as Text4 holds it; whoever sets it, the lookup runs.
    QString lookupText() const { return m_lookup; }
    void setLookupText(const QString &text);

    // "N Kullanıcı bağlı", as of the last tidy tick.
    QString countCaption() const { return m_caption; }

    QTimer &Timer1() { return m_Timer1; }
    QTimer &Timer2() { return m_Timer2; }

    // The three handlers, public so tests can run them without waiting.
    void tidyTick();
    void lookupChanged();
    void removalTick();

signals:
    void lookupTextChanged(const QString &text);
    void countCaptionChanged(const QString &caption);

private:
    void removeLeavers(const QByteArrayList &leavers);

    RosterModel &m_roster;
    QTimer m_Timer1;
    QTimer m_Timer2;
    QString m_lookup;
    QString m_caption;
    // The entries the hand-offs found since the last removal tick, by their
    // bytes: rows shift under the tidy tick, bytes do not.
    QByteArrayList m_pendingLeavers;
};
