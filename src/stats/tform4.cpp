#include "stats/tform4.h"

#include "platform/error.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "platform/widgets/datebox.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "stats/dbgrid.h"
#include "store/backup.h"
#include "store/record.h"
#include "store/resultpages.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

const QString DateFormat = u"yyyy-MM-dd"_s;
const QString NoRestriction = u"不限制"_s;

// Field bindings of the grid's four columns after each button.
const QStringList ListingFields = {u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s};
const QStringList CountFields = {u"名称"_s, u"综合评价"_s, u"数量"_s, QString()};
const QStringList OverallFields = {u"综合评价"_s, u"数量"_s, QString(), QString()};
const QStringList PinLogFields = {u"时刻"_s, u"事件"_s, u"说明"_s, QString()};

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setStyleSheet(u"QLabel { color: white; background: transparent; }"_s);
    return label;
}

RzButton *makeButton(QWidget *parent, const QString &name, const QString &caption,
                     const QRect &geometry)
{
    auto *button = new RzButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFaceColor(RzButton::defaultFace());
    button->setFrameColor(RzButton::defaultFrame());
    // Large enough for a finger, in a font that can be read at arm's length.
    button->setPixelHeight(14);
    return button;
}

QDateEdit *makeDatePicker(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *picker = new DateBox(parent);
    picker->setObjectName(name);
    picker->setGeometry(geometry);
    picker->setDisplayFormat(DateFormat);
    picker->setCalendarPopup(true);
    return picker;
}

} // namespace

TForm4::TForm4(TDataModule3 *module, QWidget *parent)
    : KioskForm(parent, DialogFlags), m_module(module)
{
    setObjectName(u"Form4"_s);
    setUpWindow(u"统计分析"_s);
    // Behind the labels when the background picture is missing, so white text stays readable.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, RzButton::defaultFrame());
    setPalette(pal);
    setAutoFillBackground(true);

    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setFixedWidth(481);
    DBGrid1->setColumnWidths({200, 70, 50, 100});
    DBGrid1->setFields(ListingFields);
    QPalette gridPal = DBGrid1->palette();
    gridPal.setColor(QPalette::Window, QColor(240, 240, 240));
    DBGrid1->setPalette(gridPal);

    Image1 = new PictureBox(this);
    Image1->setObjectName(u"Image1"_s);
    Image1->setPicture(builtinPicture(u"stats-background.jpg"_s));

    // The grid is docked left at full height, the picture fills the rest.
    auto *dock = new QHBoxLayout(this);
    dock->setContentsMargins(0, 0, 0, 0);
    dock->setSpacing(0);
    dock->addWidget(DBGrid1);
    dock->addWidget(Image1, 1);

    Label1 = makeLabel(this, u"Label1"_s, u"请选择起止日期："_s, {496, 137, 113, 13});
    Label2 = makeLabel(this, u"Label2"_s, u"请输入名称："_s, {499, 166, 97, 13});
    Label3 = makeLabel(this, u"Label3"_s, u"请选择综合评价内容："_s, {496, 196, 139, 13});

    DateTimePicker1 = makeDatePicker(this, u"DateTimePicker1"_s, {639, 132, 97, 21});
    DateTimePicker1->setDate(QDate(2015, 5, 13));
    DateTimePicker2 = makeDatePicker(this, u"DateTimePicker2"_s, {751, 133, 89, 21});
    DateTimePicker2->setDate(platform::services().now().date());

    Edit1 = new QLineEdit(NoRestriction, this);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setGeometry(639, 162, 202, 21);
    Edit1->installEventFilter(this);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(u"ComboBox1"_s);
    ComboBox1->setGeometry(638, 192, 203, 21);
    ComboBox1->setEditable(false);
    ComboBox1->addItems(grades::filterItems());
    ComboBox1->setCurrentIndex(ComboBox1->findText(NoRestriction));

    RzButton1 = makeButton(this, u"RzButton1"_s, u"查  询"_s, {504, 344, 75, 44});
    RzButton2 = makeButton(this, u"RzButton2"_s, u"统  计"_s, {592, 344, 75, 44});
    RzButton3 = makeButton(this, u"RzButton3"_s, u"综合满意度"_s, {680, 344, 75, 44});
    RzButton4 = makeButton(this, u"RzButton4"_s, u"关  闭"_s, {768, 344, 75, 44});
    RzButton5 = makeButton(this, u"RzButton5"_s, u"清除全部数据！谨慎"_s, {680, 8, 147, 44});
    RzButton5->setTextColor(Qt::red);
    RzButton6 = makeButton(this, u"RzButton6"_s, u"密码记录"_s, {504, 400, 163, 44});

    setTabOrder(DBGrid1, DateTimePicker1);
    setTabOrder(DateTimePicker1, DateTimePicker2);
    setTabOrder(DateTimePicker2, ComboBox1);
    setTabOrder(ComboBox1, Edit1);
    setTabOrder(Edit1, RzButton1);
    setTabOrder(RzButton1, RzButton2);
    setTabOrder(RzButton2, RzButton3);
    setTabOrder(RzButton3, RzButton4);
    setTabOrder(RzButton4, RzButton5);
    setTabOrder(RzButton5, RzButton6);

    const auto handle = [this](auto handler) {
        return
            [this, handler] { platform::guarded(this, [this, handler] { (this->*handler)(); }); };
    };
    connect(RzButton1, &QPushButton::clicked, this, handle(&TForm4::RzButton1Click));
    connect(RzButton2, &QPushButton::clicked, this, handle(&TForm4::RzButton2Click));
    connect(RzButton3, &QPushButton::clicked, this, handle(&TForm4::RzButton3Click));
    connect(RzButton4, &QPushButton::clicked, this, handle(&TForm4::RzButton4Click));
    connect(RzButton5, &QPushButton::clicked, this, handle(&TForm4::RzButton5Click));
    connect(RzButton6, &QPushButton::clicked, this, handle(&TForm4::RzButton6Click));
    connect(DBGrid1, &DBGrid::deleteRecordRequested, this, [this](int row) {
        platform::guarded(this, [this, row] { DBGrid1DeleteRecord(row); });
    });

    runCreate();
}

TDataModule3 &TForm4::boundModule()
{
    if (!m_module)
        throw KioskError(u"数据库模块不可用"_s);
    DBGrid1->setDataSource(m_module->DataSource1());
    return *m_module;
}

void TForm4::FormCreate()
{
    // The grid shows the module's result set from the start (the whole table after start-up).
    if (m_module)
        DBGrid1->setDataSource(m_module->DataSource1());
}

void TForm4::FormShow()
{
    // Today without time of day, through its "yyyy-MM-dd" text; on a failed conversion the end
    // date keeps its value and the result is still brought up to date.
    platform::guarded(this, [this] {
        const QString today = platform::services().now().toString(DateFormat);
        const QDate date = QDate::fromString(today, DateFormat);
        if (!date.isValid())
            throw KioskError(u"'%1' is not a valid date"_s.arg(today));
        DateTimePicker2->setDate(date);
    });
    if (m_module) {
        DBGrid1->setDataSource(m_module->DataSource1());
        m_module->Refresh();
    }
}

void TForm4::FormHide()
{
    if (m_module)
        m_module->ReleaseResult();
}

void TForm4::Edit1Click()
{
    Edit1->clear();
}

void TForm4::RzButton1Click()
{
    TDataModule3 &module = boundModule();
    DBGrid1->setFields(ListingFields);
    module.ShowListing(Edit1->text(), ComboBox1->currentText(),
                       DateTimePicker1->date().toString(DateFormat),
                       DateTimePicker2->date().toString(DateFormat));
}

void TForm4::RzButton2Click()
{
    TDataModule3 &module = boundModule();
    DBGrid1->setFields(CountFields);
    module.ShowCounts(Edit1->text(), ComboBox1->currentText(),
                      DateTimePicker1->date().toString(DateFormat),
                      DateTimePicker2->date().toString(DateFormat));
}

void TForm4::RzButton3Click()
{
    TDataModule3 &module = boundModule();
    DBGrid1->setFields(OverallFields);
    module.ShowOverall(DateTimePicker1->date().toString(DateFormat),
                       DateTimePicker2->date().toString(DateFormat));
}

void TForm4::RzButton4Click()
{
    hide();
}

void TForm4::RzButton5Click()
{
    TDataModule3 &module = boundModule();
    // Every record is first copied into an archive in folder 备份, which the question names;
    // the records are deleted only once that copy is complete on disk.
    const QString workDir = platform::services().workDir();
    const QString archive = backup::clearArchivePath(workDir, platform::services().now());
    const QString shown = QDir::toNativeSeparators(QDir(workDir).relativeFilePath(archive));
    const QString text =
        u"程序即将清除所有数据！清除前全部记录将备份到“%1”。点\"是\"清除，点\"否\"返回！"_s.arg(
            shown) +
        (m_centralLink
             ? u"\n（本机已连接中心数据库：中心数据库中的记录不会被清除，尚未发送的记录仍会发送。）"_s
             : QString());
    if (!platform::services().question(this, u"提示"_s, text))
        return;
    try {
        module.ClearAll(archive);
    } catch (const ArchiveFailed &e) {
        platform::services().message(this, u"备份失败，数据未清除：%1"_s.arg(e.message()));
    }
}

void TForm4::RzButton6Click()
{
    TDataModule3 &module = boundModule();
    DBGrid1->setFields(PinLogFields);
    module.OpenPinLog(DateTimePicker1->date().toString(DateFormat),
                      DateTimePicker2->date().toString(DateFormat));
}

void TForm4::DBGrid1DeleteRecord(int row)
{
    TDataModule3 &module = boundModule();
    // Count, overall and log results are not rows of the table: nothing to delete there.
    const std::optional<EvaluationRecord> record = module.shownRecord(row);
    if (!record)
        return;
    const QString text =
        u"确定要删除这条评价记录吗？\n名称：%1\n日期：%2\n时间：%3\n综合评价：%4\n"
        u"删除前这条记录会复制到数据库的存档表 评价_已删除（记下删除时间）。点\"是\"删除，点"
        u"\"否\"返回！"_s.arg(record->name, record->date, record->time, record->grade);
    if (!platform::services().question(this, u"提示"_s, text))
        return;
    module.DeleteRow(row);
    DBGrid1->setCurrentRecord(row);
}

void TForm4::hideEvent(QHideEvent *event)
{
    KioskForm::hideEvent(event);
    if (!event->spontaneous())
        platform::guarded(this, [this] { FormHide(); });
}

bool TForm4::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::MouseButtonPress)
        platform::guarded(this, [this] { Edit1Click(); });
    return KioskForm::eventFilter(watched, event);
}
