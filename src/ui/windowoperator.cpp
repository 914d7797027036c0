#include "windowoperator.h"

#include "ui/operatordialogs.h"
#include "ui/transcriptview.h"

#include <QLineEdit>
#include <QWindow>

void WindowOperator::showLine(const QString &line)
{
    m_Text1.appendLine(line);
}

void WindowOperator::showEmptyLines(int count)
{
    m_Text1.appendEmptyLines(count);
}

void WindowOperator::reportFailure(const Failure &failure)
{
    m_dialogs.failure(&m_window, failure);
}

void WindowOperator::reportInputProblem(Field field, const QString &text)
{
    m_dialogs.inputProblem(&m_window, text);
    // The operator types the missing nickname next; a missing host is put
    // back by the server itself.
    if (field == Field::Nickname)
        m_Txtnick.setFocus();
}

bool WindowOperator::confirmStop(const QString &question)
{
    return m_dialogs.confirmStop(&m_window, question);
}

void WindowOperator::keepOnTop()
{
    // Qt has no SetWindowPos(HWND_TOPMOST, SWP_NOACTIVATE | SWP_SHOWWINDOW).
    // The same effect: the stay-on-top hint, set once, and a show that does
    // not activate, so the operator's typing is not taken away. The hint goes
    // to the live native window as it is: QWidget::setWindowFlags would
    // re-create it, hiding the window and redrawing all of it in the middle
    // of the first chat line. Nothing takes the hint away again.
    if (!m_window.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        m_window.overrideWindowFlags(m_window.windowFlags() | Qt::WindowStaysOnTopHint);
        if (QWindow *native = m_window.windowHandle())
            native->setFlags(native->flags() | Qt::WindowStaysOnTopHint);
    }
    if (m_window.isVisible())
        return;
    // Only this show goes without activation; the operator's own shows of the
    // window (start-up, closing the about window) still activate it.
    const bool activates = !m_window.testAttribute(Qt::WA_ShowWithoutActivating);
    m_window.setAttribute(Qt::WA_ShowWithoutActivating, true);
    m_window.show();
    m_window.setAttribute(Qt::WA_ShowWithoutActivating, !activates);
}
