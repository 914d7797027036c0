#include "operatordialogs.h"

#include <QMessageBox>

namespace {
// The program's title, which failure reports carry as their box's title.
const QString ProgramTitle = QStringLiteral("Yazışma");
} // namespace

void MessageBoxDialogs::inputProblem(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, QStringLiteral("Hata"), text, QMessageBox::Ok);
}

void MessageBoxDialogs::failure(QWidget *parent, const Failure &failure)
{
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle, failure.report(), QMessageBox::Ok, parent);
    box.exec();
}

bool MessageBoxDialogs::confirmStop(QWidget *parent, const QString &text)
{
    return QMessageBox::warning(parent, QStringLiteral("UYARI"), text,
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}
