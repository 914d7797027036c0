#include "frmabout.h"
#include "ui_frmabout.h"

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

constexpr int Text1Left = 2100;
constexpr int Text1Width = 5190;
constexpr int Text1Height = 2640;
constexpr qreal TitlePoints = 18;
constexpr qreal TextPoints = 11.25;
constexpr qreal ButtonPoints = 9.75;

using Twips::pixels;

} // namespace

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), m_ui(std::make_unique<Ui::frmAbout>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Fonts are found at run time, so they cannot be part of the form.
    for (QLabel *title : {m_ui->Label1, m_ui->Label2})
        title->setFont(UiFonts::tahoma(TitlePoints, true, true));
    m_ui->Command1->setFont(UiFonts::tahoma(ButtonPoints, true));
    m_ui->Text1->setFont(UiFonts::tahoma(TextPoints));
    connect(m_ui->Command1, &QPushButton::clicked, this, &frmAbout::ok);

    QTextOption centred = m_ui->Text1->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    m_ui->Text1->document()->setDefaultTextOption(centred);
    placeText1();

    // The load step: the text. Text1 is out of the tab order (click focus
    // only); a click still focuses it, which the focus rule below hands on to
    // "Tamam".
    m_ui->Text1->setPlainText(aboutText());
    m_ui->Text1->installEventFilter(this);
    m_ui->Command1->setFocus();

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

frmAbout::~frmAbout() = default;

QLabel *frmAbout::Label1() const { return m_ui->Label1; }
QLabel *frmAbout::Label2() const { return m_ui->Label2; }
QTextEdit *frmAbout::Text1() const { return m_ui->Text1; }
QPushButton *frmAbout::Command1() const { return m_ui->Command1; }

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
    m_ui->Text1->setGeometry(pixels(Text1Left), qRound(m_top / Twips::PerPixel),
                             pixels(Text1Width), pixels(Text1Height));
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->Text1 && event->type() == QEvent::FocusIn)
        m_ui->Command1->setFocus(Qt::OtherFocusReason);
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
