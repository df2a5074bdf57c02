#pragma once

#include "platform/widgets/form.h"

class LabeledEdit;
class PictureBox;
class QListWidget;
class RzButton;

// The 图片编辑窗口: changes a photo's order number and its two caption lines by renaming its
// file in the photo folder. Lists the folder, previews the selected picture with the three parts
// of its name in three edit boxes, and on save renames the file to a name composed from them.
// Its close button restarts the program, so the main window lists the new names. Created once at
// start-up and shown modeless from the administration menu.
class TForm6 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm6(QWidget *parent = nullptr);

    // Controls, named as in the form description.
    QListWidget *ListBox1 = nullptr;     // the photo folder's file names, in listing order
    PictureBox *Image1 = nullptr;        // background
    PictureBox *Image2 = nullptr;        // preview of the selected picture
    LabeledEdit *LabeledEdit3 = nullptr; // order number, digits only, at most 4 characters
    LabeledEdit *LabeledEdit1 = nullptr; // caption line 1
    LabeledEdit *LabeledEdit2 = nullptr; // caption line 2
    RzButton *RzButton2 = nullptr;       // close: restarts the program
    RzButton *RzButton1 = nullptr;       // save: renames the selected file

    // Event handlers. Each runs inside the handler guard and may be called directly.
    void ListBox1Click();
    void RzButton1Click();
    void RzButton2Click();
    // One typed character of the order box; sets Key to the NUL character to drop it.
    void LabeledEdit3KeyPress(QChar &Key);

protected:
    void FormShow() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Empties ListBox1 and lists the photo folder into it, selecting nothing.
    void refillList();
    // The name of the selected entry, or nothing.
    int selectedRow() const;
};
