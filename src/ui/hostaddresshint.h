#pragma once

#include "net/lanaddresswatch.h"

#include <QObject>

class QLineEdit;

// The host box shows one name; its tooltip, and the same accessible
// description for screen readers, lists the addresses clients on the LAN
// can type, kept current as interfaces come and go. Lives as a child of the
// box.
class HostAddressHint final : public QObject
{
    Q_OBJECT

public:
    explicit HostAddressHint(QLineEdit *box);

private:
    void refresh();

    QLineEdit *m_box;
    LanAddressWatch m_watch;
};
