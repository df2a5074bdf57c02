#include "platform/widgets/coloredit.h"

#include "platform/color.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

using namespace Qt::StringLiterals;

namespace {

// A compact palette: the toolkit's usual 48 colours in 6 rows of 8.
const QRgb Palette[] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
    0xC0DCC0, 0xA6CAF0, 0xFFFBF0, 0xA0A0A4, 0xFF8080, 0x80FF80, 0xFFFF80, 0x8080FF,
    0xFF80FF, 0x80FFFF, 0xFF8000, 0x80FF00, 0x0080FF, 0x8000FF, 0xFF0080, 0x00FF80,
    0x400000, 0x004000, 0x000040, 0x404000, 0x400040, 0x004040, 0x404040, 0xE0E0E0,
    0xFFC000, 0xC08000, 0x804000, 0x408000, 0x004080, 0x400080, 0x800040, 0xF0F0F0,
};

} // namespace

ColorEdit::ColorEdit(QWidget *parent)
    : QWidget(parent), m_value(colors::None), m_edit(new QLineEdit(this)),
      m_button(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_edit->setReadOnly(true);
    m_edit->setFocusPolicy(Qt::NoFocus);
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFixedWidth(18);
    m_button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_edit);
    layout->addWidget(m_button);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_button, &QToolButton::clicked, this, &ColorEdit::openPalette);
    refresh();
}

void ColorEdit::setSelectedColor(qint32 value)
{
    if (value == m_value)
        return;
    m_value = value;
    refresh();
    emit colorChanged(value);
}

void ColorEdit::refresh()
{
    const QColor c = colors::fromBgr(m_value);
    if (c.isValid()) {
        const QColor text =
            qGray(c.rgb()) > 128 ? Qt::black : Qt::white; // by luminance: yellow gets black
        m_edit->setStyleSheet(u"background-color: %1; color: %2;"_s.arg(c.name(), text.name()));
        m_edit->setText(c.name().toUpper());
    } else {
        m_edit->setStyleSheet({});
        m_edit->setText(u"无"_s);
    }
}

void ColorEdit::openPalette()
{
    QMenu menu(this);
    auto *grid = new QWidget(&menu);
    auto *layout = new QGridLayout(grid);
    layout->setSpacing(2);
    layout->setContentsMargins(4, 4, 4, 4);
    int i = 0;
    for (QRgb rgb : Palette) {
        auto *swatch = new QToolButton(grid);
        const QColor c(rgb);
        swatch->setFixedSize(20, 20);
        swatch->setStyleSheet(u"background-color: %1; border: 1px solid #808080;"_s.arg(c.name()));
        connect(swatch, &QToolButton::clicked, &menu, [this, c, &menu] {
            setSelectedColor(colors::toBgr(c));
            menu.close();
        });
        layout->addWidget(swatch, i / 8, i % 8);
        ++i;
    }
    auto *more = new QToolButton(grid);
    more->setText(u"其他颜色…"_s);
    connect(more, &QToolButton::clicked, &menu, [this, &menu] {
        menu.close();
        const QColor start = colors::fromBgr(m_value);
        const QColor c = QColorDialog::getColor(start.isValid() ? start : Qt::white, this);
        if (c.isValid())
            setSelectedColor(colors::toBgr(c));
    });
    layout->addWidget(more, 6, 0, 1, 8);
    auto *action = new QWidgetAction(&menu);
    action->setDefaultWidget(grid);
    menu.addAction(action);
    menu.exec(mapToGlobal(QPoint(0, height())));
}
