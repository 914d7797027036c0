#pragma once

#include "arrivalgate.h"
#include "net/failure.h"

#include <QObject>

class Channels;
class OperatorDialogs;
class QLineEdit;
class QWidget;
class Transcript;

// The message channel: relays whatever clients send to every message client and
// the transcript, reports socket errors, and sends the operator's own lines.
class MessageRelay final : public QObject
{
    Q_OBJECT

public:
    MessageRelay(Channels &channels, Transcript &transcript, OperatorDialogs &dialogs,
                 QWidget &window, QObject *parent = nullptr);

    void dataArrival();                                 // Winsock data arrival
    void socketError(const Failure &failure);           // Winsock error event
    void send(QLineEdit &Txtnick, QLineEdit &Text2);    // Command1 click

private:
    void relayEveryElement();
    void keepWindowOnTop();

    Channels &m_channels;
    Transcript &m_transcript;
    OperatorDialogs &m_dialogs;
    QWidget &m_window;
    // A pass reads every element, so arrivals held back during a pass need
    // one more pass between them, whichever elements raised them.
    ArrivalGate m_arrivals{ArrivalGate::Hold::OncePerElement};
};
