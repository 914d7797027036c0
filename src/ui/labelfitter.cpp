#include "labelfitter.h"

#include <QEvent>
#include <QLabel>

#include <algorithm>

namespace {
void fit(QLabel &label)
{
    label.resize(label.sizeHint());
}
} // namespace

void LabelFitter::watch(QLabel *label)
{
    fit(*label);
    QWidget *parent = label->parentWidget();
    const bool parentWatched =
            std::any_of(m_labels.cbegin(), m_labels.cend(), [parent](const QPointer<QLabel> &l) {
                return l && l->parentWidget() == parent;
            });
    if (!parentWatched)
        parent->installEventFilter(this);
    m_labels.append(label);
}

bool LabelFitter::eventFilter(QObject *watched, QEvent *event)
{
    // Show covers changes made while the window was hidden, when no request
    // is posted.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show) {
        for (const QPointer<QLabel> &label : std::as_const(m_labels)) {
            if (label && label->parent() == watched)
                fit(*label);
        }
    }
    return QObject::eventFilter(watched, event);
}
