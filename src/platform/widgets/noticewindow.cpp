#include "platform/widgets/noticewindow.h"

#include "platform/platform.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

QPointer<NoticeWindow> NoticeWindow::s_current;

namespace {

// The window a notice belongs to: the owner's when it is on screen, otherwise the first shown
// top-level window (the main screen when the rating dialog has just hidden itself). A kiosk
// compositor centres such a window over its parent instead of filling the screen with it.
QWidget *noticeParent(QWidget *owner)
{
    if (owner && owner->window()->isVisible())
        return owner->window();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !(w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip))
            return w;
    }
    return nullptr;
}

} // namespace

NoticeWindow::NoticeWindow(QWidget *parent, const QString &text, int timeoutMs)
    : QWidget(parent,
              Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(u"NoticeWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    // A notice never takes the keyboard from the window behind it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(platform::applicationTitle());

    // The caption inside the window as well: a kiosk runs without window decorations.
    auto *caption = new QLabel(platform::applicationTitle(), this);
    caption->setObjectName(u"NoticeCaption"_s);
    caption->setAlignment(Qt::AlignCenter);
    QFont captionFont = font();
    captionFont.setPixelSize(24);
    caption->setFont(captionFont);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_text = new QLabel(text, this);
    m_text->setObjectName(u"NoticeText"_s);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    QFont textFont = font();
    textFont.setFamilies({u"SimHei"_s, u"黑体"_s, u"WenQuanYi Micro Hei"_s});
    textFont.setPixelSize(TextPixels);
    textFont.setBold(true);
    m_text->setFont(textFont);
    QPalette textPalette = m_text->palette();
    textPalette.setColor(QPalette::WindowText, QColor(0, 60, 116));
    m_text->setPalette(textPalette);
    // Taps on the text reach the window, which closes.
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_ok = new QPushButton(u"确定"_s, this);
    m_ok->setObjectName(u"NoticeOk"_s);
    m_ok->setFixedSize(ButtonSize);
    QFont buttonFont = textFont;
    buttonFont.setPixelSize(ButtonPixels);
    m_ok->setFont(buttonFont);
    m_ok->setFocusPolicy(Qt::NoFocus);
    connect(m_ok, &QPushButton::clicked, this, &QWidget::close);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(40, 20, 40, 32);
    column->setSpacing(20);
    column->addWidget(caption);
    column->addWidget(m_text, 1);
    column->addWidget(m_ok, 0, Qt::AlignHCenter);

    m_timer = new QTimer(this);
    m_timer->setObjectName(u"NoticeTimer"_s);
    m_timer->setSingleShot(true);
    m_timer->setInterval(qMax(timeoutMs, 0));
    connect(m_timer, &QTimer::timeout, this, &QWidget::close);
}

NoticeWindow *NoticeWindow::show(QWidget *owner, const QString &text, int timeoutMs)
{
    if (s_current)
        s_current->close();
    QWidget *parent = noticeParent(owner);
    auto *notice = new NoticeWindow(parent, text, timeoutMs);
    s_current = notice;

    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    // Large on any screen, yet never wider or taller than it.
    const QSize size(qMin(qMax(area.width() * 11 / 20, 620), area.width()),
                     qMin(qMax(area.height() * 2 / 5, 300), area.height()));
    notice->resize(size);
    // A long text (what an administrator has to do) gets a smaller font until it fits.
    const int textWidth = size.width() - 80;
    const int textHeight = size.height() - 20 - 32 - 2 * 20 - ButtonSize.height() - 30;
    QFont textFont = notice->m_text->font();
    while (textFont.pixelSize() > 20 &&
           QFontMetrics(textFont)
                   .boundingRect(QRect(0, 0, textWidth, 10000), Qt::TextWordWrap, text)
                   .height() > textHeight) {
        textFont.setPixelSize(textFont.pixelSize() - 2);
    }
    notice->m_text->setFont(textFont);
    notice->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    notice->QWidget::show();
    notice->raise();
    notice->m_timer->start();
    return notice;
}

NoticeWindow *NoticeWindow::current()
{
    return s_current.data();
}

void NoticeWindow::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    close();
}

void NoticeWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(244, 244, 240));
    p.setPen(QPen(QColor(0, 60, 116), 6));
    p.drawRect(rect().adjusted(3, 3, -3, -3));
}
