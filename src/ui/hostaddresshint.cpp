#include "hostaddresshint.h"

#include "wire/lanaddresses.h"

#include <QLineEdit>

HostAddressHint::HostAddressHint(QLineEdit *box) : QObject(box), m_box(box)
{
    connect(&m_watch, &LanAddressWatch::changed, this, &HostAddressHint::refresh);
    refresh();
}

void HostAddressHint::refresh()
{
    const QString text = describeLanAddresses(lanAddresses());
    m_box->setToolTip(text);
    m_box->setAccessibleDescription(text);
}
