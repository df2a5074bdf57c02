#pragma once

#include "platform/widgets/form.h"

class DBGrid;
class PictureBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class RzButton;
class TDataModule3;
namespace central {
class Link;
}

// The statistics window: lists, counts per name and grade, counts per grade over a date range,
// and clears all records, all through the database module's shared result set.
class TForm4 : public KioskForm
{
    Q_OBJECT
public:
    // module: the database module whose shared result set the grid shows (not owned). Without
    // one the grid stays empty and every button reports that the module is missing.
    explicit TForm4(TDataModule3 *module, QWidget *parent = nullptr);
    // The forwarding to a central database, or null (not owned): the clear then says that
    // central rows stay.
    void setCentralLink(const central::Link *link) { m_centralLink = link; }

    DBGrid *DBGrid1 = nullptr;
    PictureBox *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QDateEdit *DateTimePicker1 = nullptr; // start date
    QDateEdit *DateTimePicker2 = nullptr; // end date
    QLineEdit *Edit1 = nullptr;           // name filter
    QComboBox *ComboBox1 = nullptr;       // grade filter
    RzButton *RzButton1 = nullptr;        // query
    RzButton *RzButton2 = nullptr;        // count
    RzButton *RzButton3 = nullptr;        // overall satisfaction
    RzButton *RzButton4 = nullptr;        // close
    RzButton *RzButton5 = nullptr;        // clear all data
    RzButton *RzButton6 = nullptr;        // the staff PIN log

protected:
    void FormCreate() override;
    void FormShow() override;
    // Going hidden ends the open result so that no read stays open while nobody looks.
    void FormHide();
    void Edit1Click();
    void RzButton1Click();
    void RzButton2Click();
    void RzButton3Click();
    void RzButton4Click();
    void RzButton5Click();
    // Lists the log of the staff PIN over the date range: every right and wrong entry and
    // every lock, newest first.
    void RzButton6Click();
    // Ctrl+Delete in the grid on a row of the table: asks, naming the row, then deletes it
    // after a copy into the archive 评价_已删除.
    void DBGrid1DeleteRecord(int row);

    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The database module, with the grid bound to its result set. Throws when there is none,
    // so a button reports it instead of failing silently.
    TDataModule3 &boundModule();
    const central::Link *m_centralLink = nullptr;

    TDataModule3 *m_module = nullptr;
};
