#pragma once

#include <QLineEdit>

// A text box that shows a text the server holds and writes the operator's
// typing back into it. Only a different text is written either way, so the
// two never echo each other. The box starts with the server's text.
template <typename Holder, typename Changed>
void mirror(QLineEdit &box, Holder &holder, QString (Holder::*get)() const,
            void (Holder::*set)(const QString &), Changed changed)
{
    box.setText((holder.*get)());
    QObject::connect(&box, &QLineEdit::textChanged, &holder, [&holder, get, set](const QString &text) {
        if ((holder.*get)() != text)
            (holder.*set)(text);
    });
    QObject::connect(&holder, changed, &box, [&box](const QString &text) {
        if (box.text() != text)
            box.setText(text);
    });
}
