#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QLabel;

// Keeps labels exactly as large as their caption, the way an auto-sizing
// label does: whenever a caption or font changes, the label is resized to
// fit and keeps its top-left corner.
//
// A QLabel announces a new caption only to its parent (as a layout request,
// posted while the parent is visible), so the fitter watches the parents;
// the windows here place their controls by hand and have no layouts that
// would want those requests.
class LabelFitter final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Fits the label now and after every change from here on.
    void watch(QLabel *label);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QPointer<QLabel>> m_labels;
};
