#pragma once

#include <QDateEdit>

// A date box that takes a typed date. The toolkit's date edit only replaces a part of the date
// while that part is selected, so typing over a selected whole date, or after a tap into the
// year, changes nothing. This one puts the typing into the part under the cursor (the year when
// the whole text is selected), carries on into the next part as each one is complete, and takes
// "-", "/" or "." after a complete part as the step that already happened: "2027-03-31",
// "2027/3/31" and "20270331" typed over any date all give 2027-03-31.
class DateBox : public QDateEdit
{
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_typing = false;   // digits are going into the current part
    bool m_advanced = false; // the last digit completed a part and moved on to the next
};
