#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// Colour picker: an edit box that shows the selected colour, with a drop-down button that opens
// a palette. The value is in the stored layout 0x00BBGGRR; until one is set it is the no-colour
// value 536870911.
class ColorEdit : public QWidget
{
    Q_OBJECT
public:
    explicit ColorEdit(QWidget *parent = nullptr);

    qint32 selectedColor() const { return m_value; }
    void setSelectedColor(qint32 value);

    // Opens the palette (what the drop-down button does).
    void openPalette();

signals:
    void colorChanged(qint32 value);

private:
    void refresh();

    qint32 m_value;
    QLineEdit *m_edit;
    QToolButton *m_button;
};
