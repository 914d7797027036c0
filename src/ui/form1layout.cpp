// The operator window's controls, menus and initial states. Geometry is given
// in twips as the window is designed; 15 twips make one device-independent
// pixel, and Qt scales those on high-dpi screens.
#include "form1.h"
#include "ui/twips.h"

#include "ui/fonts.h"
#include "ui/labelfitter.h"
#include "ui/transcriptview.h"
#include "ui/wrappingbutton.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <limits>

namespace {

constexpr int ClientWidthTwips = 8625;
constexpr int ClientHeightTwips = 7590;
constexpr int TidyIntervalMs = 500;
constexpr int RemovalIntervalMs = 2000;
constexpr qreal TranscriptPoints = 9;
const QColor CountLabelColour(192, 0, 0);

using Twips::pixels;
using Twips::twips;

template<typename Widget>
Widget *place(QWidget *parent, const char *name, QRect geometry)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLineEdit *lineBox(QWidget *parent, const char *name, QRect geometry)
{
    auto *box = place<QLineEdit>(parent, name, geometry);
    // A Windows text box draws its text from the top of a tall box; Qt would
    // centre it vertically (Text2 is as high as the buttons).
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // No length limit of its own (Qt's default would cut a pasted line at
    // 32767 characters without a word).
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QTimer *timer(QObject *parent, const char *name, int intervalMs)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    return t;
}

QIcon applicationIcon()
{
    QIcon icon;
    // The scalable image only loads where Qt's SVG plug-in is installed; the
    // three bitmaps cover the sizes a window manager asks for.
    icon.addFile(QStringLiteral(":/icons/sohbet.svg"));
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/sohbet-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Yazışma - Ana Modül"));
    setWindowIcon(applicationIcon());
    setFont(UiFonts::sansSerif());
    // A sizable window with minimize but no maximize button: nothing follows
    // the window's size, so maximizing would only add empty space. The Close
    // button is taken away by the load step.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);

    // The controls sit at fixed places on a plain widget without a layout, so
    // resizing the window moves and sizes nothing.
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    auto *fitter = new LabelFitter(this);
    auto label = [fitter](QWidget *parent, const char *name, QRect geometry,
                          const QString &caption, const QFont &font = UiFonts::sansSerif()) {
        auto *l = place<QLabel>(parent, name, geometry);
        l->setText(caption);
        l->setFont(font);
        l->setAutoFillBackground(false);
        fitter->watch(l);
        return l;
    };

    m_Frame1 = place<QGroupBox>(client, "Frame1", twips(45, 120, 6420, 1095));
    m_Frame1->setTitle(QStringLiteral("Sunucu ayarları "));
    m_Label2 = label(m_Frame1, "Label2", twips(930, 315, 585, 195), QStringLiteral("Lakap  :"));
    m_Txtnick = lineBox(m_Frame1, "Txtnick", twips(1845, 315, 2535, 285));
    m_Txtnick->setText(QStringLiteral("SERVER"));
    m_Txtnick->setAlignment(Qt::AlignCenter);
    m_Label3 = label(m_Frame1, "Label3", twips(45, 675, 1515, 195),
                     QStringLiteral("Yerel pc adı yada IP :"));
    m_Text3 = lineBox(m_Frame1, "Text3", twips(1845, 675, 2535, 285));
    m_Text3->setAlignment(Qt::AlignCenter);
    m_Cmdconnct = place<WrappingButton>(m_Frame1, "Cmdconnct", twips(4725, 315, 1575, 615));
    m_Cmdconnct->setText(QStringLiteral("Haberleşme sunucusunu başlat"));

    m_Frame2 = place<QGroupBox>(client, "Frame2", twips(45, 1320, 6420, 6255));
    m_Frame2->setEnabled(false);
    // Tab leaves the transcript as it leaves every other box, and there is
    // no undo (it would take back relayed lines): see TranscriptView.
    m_Text1 = place<TranscriptView>(m_Frame2, "Text1", twips(120, 240, 6180, 5175));
    m_Text1->setFont(UiFonts::tahoma(TranscriptPoints, true));
    m_Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Text2 = lineBox(m_Frame2, "Text2", twips(150, 5520, 5295, 615));
    m_Text2->setFont(UiFonts::tahoma(TranscriptPoints, true));
    m_Command1 = place<QPushButton>(m_Frame2, "Command1", twips(5550, 5550, 780, 615));
    m_Command1->setText(QStringLiteral("Gönder"));
    // Command1 is the window's default button: Enter in the input box sends
    // the line, as the operator of a chat expects. Outside dialogs Qt leaves
    // Enter to the line edit, so it is wired here; a disabled button (the chat
    // frame before the start) ignores the click.
    m_Command1->setDefault(true);
    connect(m_Text2, &QLineEdit::returnPressed, m_Command1, &QPushButton::click);

    m_Label1 = label(client, "Label1", twips(6825, 0, 1410, 195),
                     QStringLiteral("Bağlı kullanıcılar"),
                     UiFonts::sansSerif(UiFonts::WindowPoints, true));
    m_List1 = place<QListWidget>(client, "List1", twips(6570, 240, 1935, 6780));
    m_List1->setFont(UiFonts::tahoma(TranscriptPoints, true));
    m_List1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_List1->setSortingEnabled(false);
    m_Label4 = label(client, "Label4", twips(6975, 7200, 1125, 195),
                     QStringLiteral("0 Kullanıcı bağlı"));
    m_Label4->setAlignment(Qt::AlignCenter);
    QPalette countColours = m_Label4->palette();
    countColours.setColor(QPalette::WindowText, CountLabelColour);
    m_Label4->setPalette(countColours);
    m_Text4 = lineBox(client, "Text4", twips(10080, 7920, 1455, 285));
    m_Text4->hide();

    m_Timer1 = timer(this, "Timer1", TidyIntervalMs);
    m_Timer2 = timer(this, "Timer2", RemovalIntervalMs);
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
    // Menus are drawn in Tahoma 8 pt, the menu font of the Windows the window
    // was designed on, rather than in the controls' face.
    const QFont menuFont = UiFonts::tahoma(UiFonts::WindowPoints);
    menuBar()->setFont(menuFont);
    auto menu = [this, &menuFont](const QString &caption, const char *name) {
        QMenu *m = menuBar()->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->setFont(menuFont);
        return m;
    };
    auto item = [](QMenu *parent, const QString &caption, const char *name) {
        QAction *action = parent->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    auto separator = [](QMenu *parent, const char *name) {
        QAction *action = parent->addSeparator();
        action->setObjectName(QLatin1String(name));
        return action;
    };
    auto checkable = [&item](QMenu *parent, const QString &caption, const char *name,
                             bool checked) {
        QAction *action = item(parent, caption, name);
        action->setCheckable(true);
        action->setChecked(checked);
        return action;
    };

    // "Sunucu ayaları" and its items have no access key, as designed.
    m_mnuserver = menu(QStringLiteral("Sunucu ayaları"), "mnuserver");
    m_mnustart = item(m_mnuserver, QStringLiteral("Sunucuyu başlat"), "mnustart");
    m_mnudisconnect = item(m_mnuserver, QStringLiteral("Sunucuyu durdur"), "mnudisconnect");
    m_mnudisconnect->setEnabled(false);
    m_sdfsd = separator(m_mnuserver, "sdfsd");
    m_mnuexit = item(m_mnuserver, QStringLiteral("Çık"), "mnuexit");

    m_mnuformat = menu(QStringLiteral("&Biçimlendirme"), "mnuformat");
    m_mnubold = checkable(m_mnuformat, QStringLiteral("Kalın"), "mnubold", false);
    m_mnuitallic = checkable(m_mnuformat, QStringLiteral("Yatık"), "mnuitallic", false);
    m_mnuunderlined =
            checkable(m_mnuformat, QStringLiteral("Altı çizgili"), "mnuunderlined", false);
    m_mnunone = checkable(m_mnuformat, QStringLiteral("Normal"), "mnunone", true);
    m_safsdf = separator(m_mnuformat, "safsdf");
    m_mnuclear = item(m_mnuformat, QStringLiteral("Sayfayı temizle"), "mnuclear");

    // A top-level command without a sub-menu: clicking it acts at once.
    m_mnuabout = menuBar()->addAction(QStringLiteral("&Yazan hakkında"));
    m_mnuabout->setObjectName(QStringLiteral("mnuabout"));

    // The client area is the designed size below the menu bar.
    resize(pixels(ClientWidthTwips), pixels(ClientHeightTwips) + menuBar()->sizeHint().height());
}
