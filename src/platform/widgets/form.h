#pragma once

#include <QWidget>

// Base of the program's windows. A window's creation handler runs from its constructor; its
// show handler runs each time it goes from hidden to visible. Both run inside the handler guard,
// so a failure ends the handler and is shown in the error box.
class KioskForm : public QWidget
{
    Q_OBJECT
public:
    explicit KioskForm(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

protected:
    // Subclasses call this at the end of their constructor, once the controls exist.
    void runCreate();
    virtual void FormCreate() {}
    virtual void FormShow() {}

    void showEvent(QShowEvent *event) override;
};
