#pragma once

#include "arrivalgate.h"
#include "net/failure.h"

#include <QObject>

class Channels;
class Operator;
class TypedText;

// The message channel: relays whatever clients send to every message client and
// the transcript, reports socket errors, and sends the operator's own lines.
class MessageRelay final : public QObject
{
    Q_OBJECT

public:
    MessageRelay(Channels &channels, Operator &desk, QObject *parent = nullptr);

    void dataArrival();                              // Winsock data arrival
    void socketError(const Failure &failure);        // Winsock error event
    void send(const TypedText &nickname, TypedText &line); // Command1 click

private:
    void relayEveryElement();
    void relayElement(int index);
    void passOver(int elements);

    Channels &m_channels;
    Operator &m_operator;
    // A pass reads every element, so arrivals held back during a pass need
    // one more pass between them, whichever elements raised them.
    ArrivalGate m_arrivals{ArrivalGate::Hold::OncePerElement};
};
