#pragma once

#include "roster/removeduplicates.h"

#include <QByteArrayList>
#include <QObject>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;

// Keeps the roster List1 in shape: the tidy tick (Timer1) removes duplicates
// and refreshes the count label Label4; the lookup box Text4 selects a leaving
// user's entry and the removal tick (Timer2) takes it off the roster.
class RosterUpkeep final : public QObject
{
    Q_OBJECT

public:
    RosterUpkeep(QListWidget &List1, QLineEdit &Text4, QLabel &Label4, QTimer &Timer1,
                 QTimer &Timer2, QObject *parent = nullptr);

    // The hand-off of a leave (or of the server stop): puts the nickname into
    // Text4, which selects its entry, and arms Timer2.
    void handOverLeaver(const QString &nickname);

    // The three handlers, public so tests can run them without waiting.
    void tidyTick();
    void lookupChanged();
    void removalTick();

private:
    void setLookupText(const QString &text);
    void removeLeavers(const QByteArrayList &leavers);

    QListWidget &m_List1;
    QLineEdit &m_Text4;
    QLabel &m_Label4;
    QTimer &m_Timer2;
    // The entries the hand-offs found since the last removal tick, by their
    // bytes: rows shift under the tidy tick, bytes do not.
    QByteArrayList m_pendingLeavers;
};
