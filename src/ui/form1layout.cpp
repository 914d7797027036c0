// The operator window's controls, menus and initial states. Geometry is given
// in twips as the window is designed; 15 twips make one device-independent
// pixel, and Qt scales those on high-dpi screens.
#include "form1.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int TwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height)
{
    return {left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
            height / TwipsPerPixel};
}

template<typename Widget>
Widget *place(QWidget *parent, const char *name, QRect geometry)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel *label(QWidget *parent, const char *name, QRect geometry, const QString &caption)
{
    auto *l = place<QLabel>(parent, name, geometry);
    l->setText(caption);
    // Labels fit their size to the caption and have a transparent background.
    l->adjustSize();
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

} // namespace

void Form1::buildLayout()
{
    setWindowTitle(QStringLiteral("Yazışma - Ana Modül"));
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(8625 / TwipsPerPixel, 7590 / TwipsPerPixel);
    setCentralWidget(client);

    m_Frame1 = place<QGroupBox>(client, "Frame1", twips(45, 120, 6420, 1095));
    m_Frame1->setTitle(QStringLiteral("Sunucu ayarları "));
    m_Label2 = label(m_Frame1, "Label2", twips(930, 315, 585, 195), QStringLiteral("Lakap  :"));
    m_Txtnick = place<QLineEdit>(m_Frame1, "Txtnick", twips(1845, 315, 2535, 285));
    m_Txtnick->setText(QStringLiteral("SERVER"));
    m_Txtnick->setAlignment(Qt::AlignCenter);
    m_Label3 = label(m_Frame1, "Label3", twips(45, 675, 1515, 195),
                     QStringLiteral("Yerel pc adı yada IP :"));
    m_Text3 = place<QLineEdit>(m_Frame1, "Text3", twips(1845, 675, 2535, 285));
    m_Text3->setAlignment(Qt::AlignCenter);
    m_Cmdconnct = place<QPushButton>(m_Frame1, "Cmdconnct", twips(4725, 315, 1575, 615));
    m_Cmdconnct->setText(QStringLiteral("Haberleşme\nsunucusunu başlat"));

    m_Frame2 = place<QGroupBox>(client, "Frame2", twips(45, 1320, 6420, 6255));
    m_Frame2->setEnabled(false);
    m_Text1 = place<QPlainTextEdit>(m_Frame2, "Text1", twips(120, 240, 6180, 5175));
    m_Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Text2 = place<QLineEdit>(m_Frame2, "Text2", twips(150, 5520, 5295, 615));
    m_Command1 = place<QPushButton>(m_Frame2, "Command1", twips(5550, 5550, 780, 615));
    m_Command1->setText(QStringLiteral("Gönder"));

    m_Label1 = label(client, "Label1", twips(6825, 0, 1410, 195),
                     QStringLiteral("Bağlı kullanıcılar"));
    m_List1 = place<QListWidget>(client, "List1", twips(6570, 240, 1935, 6780));
    m_List1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Label4 = label(client, "Label4", twips(6975, 7200, 1125, 195),
                     QStringLiteral("0 Kullanıcı bağlı"));
    m_Label4->setAlignment(Qt::AlignCenter);
    m_Text4 = place<QLineEdit>(client, "Text4", twips(10080, 7920, 1455, 285));
    m_Text4->hide();

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName(QStringLiteral("Timer1"));
    m_Timer1->setInterval(500);
    m_Timer2 = new QTimer(this);
    m_Timer2->setObjectName(QStringLiteral("Timer2"));
    m_Timer2->setInterval(2000);
    m_Timer2->setSingleShot(true);
    m_Timer1->start();

    setTabOrder(m_Txtnick, m_Text3);
    setTabOrder(m_Text3, m_Cmdconnct);
    setTabOrder(m_Cmdconnct, m_Text2);
    setTabOrder(m_Text2, m_Command1);
    setTabOrder(m_Command1, m_List1);
    setTabOrder(m_List1, m_Text1);
    m_Txtnick->setFocus();
}

void Form1::buildMenus()
{
    m_mnuserver = menuBar()->addMenu(QStringLiteral("Sunucu ayaları"));
    m_mnuserver->setObjectName(QStringLiteral("mnuserver"));
    m_mnustart = m_mnuserver->addAction(QStringLiteral("Sunucuyu başlat"));
    m_mnustart->setObjectName(QStringLiteral("mnustart"));
    m_mnudisconnect = m_mnuserver->addAction(QStringLiteral("Sunucuyu durdur"));
    m_mnudisconnect->setObjectName(QStringLiteral("mnudisconnect"));
    m_mnudisconnect->setEnabled(false);
    m_sdfsd = m_mnuserver->addSeparator();
    m_sdfsd->setObjectName(QStringLiteral("sdfsd"));
    m_mnuexit = m_mnuserver->addAction(QStringLiteral("Çık"));
    m_mnuexit->setObjectName(QStringLiteral("mnuexit"));

    m_mnuformat = menuBar()->addMenu(QStringLiteral("&Biçimlendirme"));
    m_mnuformat->setObjectName(QStringLiteral("mnuformat"));
    auto checkable = [this](const QString &caption, const char *name, bool checked) {
        QAction *action = m_mnuformat->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setCheckable(true);
        action->setChecked(checked);
        return action;
    };
    m_mnubold = checkable(QStringLiteral("Kalın"), "mnubold", false);
    m_mnuitallic = checkable(QStringLiteral("Yatık"), "mnuitallic", false);
    m_mnuunderlined = checkable(QStringLiteral("Altı çizgili"), "mnuunderlined", false);
    m_mnunone = checkable(QStringLiteral("Normal"), "mnunone", true);
    m_safsdf = m_mnuformat->addSeparator();
    m_safsdf->setObjectName(QStringLiteral("safsdf"));
    m_mnuclear = m_mnuformat->addAction(QStringLiteral("Sayfayı temizle"));
    m_mnuclear->setObjectName(QStringLiteral("mnuclear"));

    m_mnuabout = menuBar()->addAction(QStringLiteral("&Yazan hakkında"));
    m_mnuabout->setObjectName(QStringLiteral("mnuabout"));
}
