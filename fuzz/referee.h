#pragma once

#include "fuzzendpoint.h"
#include "fuzzprogram.h"

#include <QByteArrayList>
#include <QHash>
#include <QString>

#include <array>
#include <optional>
#include <vector>

struct RelayRig;

// Keeps the books of what clients sent and what the server sent back, and
// aborts the run at the first broken rule. Sends are judged the moment they
// are made; the rest after every operation, and the rules that need every
// broadcast to have ended only when no handler is running.
class Referee final : public EndpointObserver
{
public:
    // The state an operation starts from, to judge what it did.
    struct Snapshot
    {
        QByteArrayList roster;
        std::optional<QByteArray> selected;
        qsizetype appended = 0;
        QString transcript;
        std::array<int, ChannelCount> poolCounts{};
    };

    void watch(RelayRig &rig) { m_rig = &rig; }

    void readDone(Channel channel, qint16 index, const QByteArray &bytes) override;
    void readFailed(Channel channel, qint16 index) override;
    void sending(Channel channel, qint16 index, qint16 state, const QByteArray &bytes) override;

    // What the program does to the clients and the roster besides the handlers.
    void arriving(Channel channel, qint16 index, bool withEvent);
    void down(Channel channel, qint16 index);
    void failureArmed(Channel channel, bool send, bool read);
    void operatorLine(const QByteArray &line);
    void operatorEntry(const QByteArray &entry);
    void handingOver(const QString &nickname) { m_handedOver = nickname; }

    Snapshot snapshot() const;
    void checkAfter(const FuzzProgram::Operation &op, const Snapshot &before);
    // Only when no handler is running: every broadcast has ended.
    void checkQuiet();

private:
    struct ElementBook
    {
        QHash<QByteArray, int> sent;
        QHash<QByteArray, int> expected;
        bool everDown = false;
        bool pendingEvent = false;
    };
    struct ChannelBook
    {
        std::vector<ElementBook> elements;
        bool sendFailureEver = false;
        bool readFailureEver = false;
        bool quietArrivalEver = false;
    };

    ElementBook &book(Channel channel, qint16 index);
    void allow(Channel channel, const QByteArray &bytes);
    void appendedToRoster(const QByteArray &entry);
    QByteArrayList roster() const;
    std::optional<QByteArray> selectedEntry() const;

    void checkPools(const Snapshot &before);
    void checkRoster(const Snapshot &before);
    void checkTidy(const Snapshot &before);
    void checkRemoval(const Snapshot &before);
    void checkHandOver();

    RelayRig *m_rig = nullptr;
    std::array<ChannelBook, ChannelCount> m_books;
    // Every roster entry ever added, in order, and how often each text was.
    QByteArrayList m_appended;
    QHash<QByteArray, int> m_appendedCount;
    QString m_handedOver;
};
