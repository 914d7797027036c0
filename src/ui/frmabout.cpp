#include "frmabout.h"
#include "ui/twips.h"

#include "ui/accessiblenames.h"
#include "ui/fonts.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

namespace {

constexpr int WidthTwips = 7605;
constexpr int HeightTwips = 4935;
constexpr int Text1Left = 2100;
constexpr int Text1Width = 5190;
constexpr int Text1Height = 2640;
constexpr qreal TitlePoints = 18;
constexpr qreal TextPoints = 11.25;
constexpr qreal ButtonPoints = 9.75;
const QColor Silver(192, 192, 192);

using Twips::pixels;
using Twips::twips;

QLabel *titleLabel(QWidget *parent, const char *name, QRect geometry, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(UiFonts::tahoma(TitlePoints, true, true));
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, Silver);
    label->setPalette(colours);
    return label;
}

} // namespace

frmAbout::frmAbout(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    // The caption is never seen: the window has no title bar.
    setWindowTitle(QStringLiteral("Form1"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(pixels(WidthTwips), pixels(HeightTwips));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    m_Label1 = titleLabel(this, "Label1", twips(75, 150, 1365, 465), QStringLiteral("Sohbet"));
    m_Label2 = titleLabel(this, "Label2", twips(0, 600, 1365, 465), QStringLiteral(" v.1.00"));

    m_Command1 = new QPushButton(QStringLiteral("Tamam"), this);
    m_Command1->setObjectName(QStringLiteral("Command1"));
    m_Command1->setGeometry(twips(75, 4425, 840, 465));
    m_Command1->setFont(UiFonts::tahoma(ButtonPoints, true));
    connect(m_Command1, &QPushButton::clicked, this, &frmAbout::ok);

    m_Text1 = new QTextEdit(this);
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Text1->setFont(UiFonts::tahoma(TextPoints));
    m_Text1->setFrameShape(QFrame::NoFrame);
    m_Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette text = m_Text1->palette();
    text.setColor(QPalette::Base, Qt::black);
    text.setColor(QPalette::Text, Qt::white);
    m_Text1->setPalette(text);
    QTextOption centred = m_Text1->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    m_Text1->document()->setDefaultTextOption(centred);
    placeText1();

    // The load step: the text, and Text1 out of the tab order. A click still
    // focuses it, which the focus rule below hands on to "Tamam".
    m_Text1->setPlainText(aboutText());
    m_Text1->setFocusPolicy(Qt::ClickFocus);
    m_Text1->installEventFilter(this);
    setTabOrder(m_Command1, m_Text1);
    m_Command1->setDefault(true);
    m_Command1->setFocus();

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName(QStringLiteral("Timer1"));
    m_Timer1->setInterval(TickMs);
    connect(m_Timer1, &QTimer::timeout, this, &frmAbout::scrollTick);
    m_Timer1->start();
    AccessibleNames::apply(*this);

    // Centred on the screen (not over the owner). Placing it before it is
    // shown also keeps Qt from centring it over Form1 instead.
    QScreen *screen = owner ? owner->screen() : this->screen();
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

QString frmAbout::aboutText()
{
    static const char16_t *const lines[] = {
        u"Bu haberleşme yazılımı",
        u"Sohbet geliştiricileri tarafından yazılmıştır.",
        u"Kısmen yada tamamen kopyalanması",
        u"veya dağıtılması suç teşkil etmektedir.",
        u"Yazılım genel olarak;",
        u"Yerel bir ağ içerisinde bulunan kullanıcıların",
        u"birbiri ile haberleşmelerini sağlamak amacı",
        u"ile yazılmıştır. Yapılan yazışmalar",
        u"sistem tarafından kayıt altına ALINMAZ!",
        u"Telif hakkı © 2026 Sohbet geliştiricileri",
    };
    QString text;
    for (const char16_t *line : lines)
        text += QString::fromUtf16(line) + QStringLiteral("\r\n");
    return text;
}

void frmAbout::scrollTick()
{
    m_top -= Step;
    if (m_top <= WrapAt)
        m_top = WrapTo;
    placeText1();
}

void frmAbout::placeText1()
{
    // Rounded to whole pixels only for the widget; the position itself stays
    // in twips.
    m_Text1->setGeometry(pixels(Text1Left), qRound(m_top / Twips::PerPixel), pixels(Text1Width),
                         pixels(Text1Height));
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_Text1 && event->type() == QEvent::FocusIn)
        m_Command1->setFocus(Qt::OtherFocusReason);
    return QDialog::eventFilter(watched, event);
}

void frmAbout::ok()
{
    // Closing destroys the window and its timer; Form1 is shown (it is
    // already visible, so nothing changes there).
    QWidget *owner = parentWidget();
    accept();
    if (owner)
        owner->show();
}
