#pragma once

#include "relay/operator.h"

class OperatorDialogs;
class QLineEdit;
class QWidget;
class TranscriptView;

// The operator window's side of what the server tells the operator: lines go
// into the transcript box Text1, reports and the stop question into message
// boxes over the window, and chat brings the window to the front.
class WindowOperator final : public Operator
{
public:
    WindowOperator(QWidget &window, TranscriptView &Text1, QLineEdit &Txtnick,
                   OperatorDialogs &dialogs)
        : m_window(window), m_Text1(Text1), m_Txtnick(Txtnick), m_dialogs(dialogs)
    {
    }

    void showLine(const QString &line) override;
    void showEmptyLines(int count) override;
    void reportFailure(const Failure &failure) override;
    void reportInputProblem(Field field, const QString &text) override;
    bool confirmStop(const QString &question) override;
    void keepOnTop() override;

private:
    QWidget &m_window;
    TranscriptView &m_Text1;
    QLineEdit &m_Txtnick;
    OperatorDialogs &m_dialogs;
};
