#pragma once

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
};
