#pragma once

#include <QObject>
#include <QString>

// A text the operator types (the nickname, the host, the line to send). The
// server reads it afresh at every step, since the operator may change it
// during a handler's yields; the window's box shows it and writes into it.
class TypedText final : public QObject
{
    Q_OBJECT

public:
    explicit TypedText(QString initial = {}, QObject *parent = nullptr)
        : QObject(parent), m_text(std::move(initial))
    {
    }

    QString text() const { return m_text; }
    void setText(const QString &text)
    {
        if (text == m_text)
            return;
        m_text = text;
        emit changed(m_text);
    }

signals:
    void changed(const QString &text);

private:
    QString m_text;
};
