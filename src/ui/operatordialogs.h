#pragma once

#include "net/failure.h"

#include <QString>

class QWidget;

// Every message box the server shows, behind one interface so tests can answer
// them. Boxes are application-modal: the operator's input waits, while socket
// events and timers go on (the server keeps serving during a box).
class OperatorDialogs
{
public:
    virtual ~OperatorDialogs() = default;
    // An input problem a handler tests for itself: title "Hata", information icon.
    virtual void inputProblem(QWidget *parent, const QString &text) = 0;
    // A failure report: "number: description", no icon, the program's title.
    virtual void failure(QWidget *parent, const Failure &failure) = 0;
    // The stop warning: title "UYARI", Yes/No, warning icon, No the default.
    virtual bool confirmStop(QWidget *parent, const QString &text) = 0;
};

class MessageBoxDialogs final : public OperatorDialogs
{
public:
    void inputProblem(QWidget *parent, const QString &text) override;
    void failure(QWidget *parent, const Failure &failure) override;
    bool confirmStop(QWidget *parent, const QString &text) override;
};
