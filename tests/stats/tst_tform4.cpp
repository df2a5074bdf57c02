#include "central/forwarder.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "stats/dbgrid.h"
#include "stats/tform4.h"
#include "store/record.h"
#include "store/schema.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/recorder.h"

#include "store/resultpages.h"
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Rows = QList<QStringList>;

// The sample table. B and H are identical rows; E and F lie just outside 2015-05-13..2026-12-07.
const QMap<QString, EvaluationRecord> &seed()
{
    static const QMap<QString, EvaluationRecord> rows = {
        {u"A"_s, {u"1号窗口  张三"_s, u"2015-05-13"_s, u"09:00:00"_s, u"非常满意"_s}},
        {u"B"_s, {u"1号窗口  张三"_s, u"2020-01-01"_s, u"10:00:00"_s, u"不满意"_s}},
        {u"C"_s, {u"2号窗口  李四"_s, u"2020-06-01"_s, u"11:00:00"_s, u"非常不满意"_s}},
        {u"D"_s, {u"2号窗口  李四"_s, u"2026-12-07"_s, u"12:00:00"_s, u"一般"_s}},
        {u"E"_s, {u"3号窗口  王五"_s, u"2015-05-12"_s, u"08:00:00"_s, u"比较满意"_s}},
        {u"F"_s, {u"3号窗口  王五"_s, u"2026-12-08"_s, u"08:00:00"_s, u"非常满意"_s}},
        {u"G"_s, {u"不限制窗口"_s, u"2021-01-01"_s, u"13:00:00"_s, u"一般"_s}},
        {u"H"_s, {u"1号窗口  张三"_s, u"2020-01-01"_s, u"10:00:00"_s, u"不满意"_s}},
    };
    return rows;
}

QStringList asRow(const EvaluationRecord &r)
{
    return {r.name, r.date, r.time, r.grade};
}

Rows listed(const QString &keys)
{
    Rows out;
    for (const QChar key : keys)
        out << asRow(seed().value(QString(key)));
    return out;
}

// Every row the grid can show, fetching the rest first.
Rows gridRows(DBGrid *grid)
{
    QAbstractItemModel *model = grid->model();
    while (model->canFetchMore({}))
        model->fetchMore({});
    Rows out;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row << model->index(r, c).data().toString();
        out << row;
    }
    return out;
}

Rows sorted(Rows rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

QStringList titles(DBGrid *grid)
{
    QStringList out;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        out << grid->model()->headerData(c, Qt::Horizontal).toString();
    return out;
}

QList<int> widths(DBGrid *grid)
{
    QList<int> out;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        out << grid->columnWidth(c);
    return out;
}

} // namespace

class TestTForm4 : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowLayout();
    void fingerSizes();
    void chineseCalendar();
    void columnsAfterEachButton_data();
    void columnsAfterEachButton();
    void listingFilters_data();
    void listingFilters();
    void edit1ClickEmptiesAndMatchesEveryName();
    void countAndOverall();
    void typedQuotesFindNothingAndChangeNothing_data();
    void typedQuotesFindNothingAndChangeNothing();
    void ctrlDeleteRemovesOneOfTwoIdenticalRows_data();
    void ctrlDeleteRemovesOneOfTwoIdenticalRows();
    void ctrlDeleteOnCountDoesNothing();
    void pinLogListing_data();
    void pinLogListing();
    void clearAllData_data();
    void clearAllData();
    void showSetsEndDateAndKeepsTheRest();
    void engineErrorLeavesGridEmpty_data();
    void engineErrorLeavesGridEmpty();
    void withoutModuleButtonsReport();
    void rowsFetchedAsScrolled();

private:
    void openModule();
    void createForm();
    void clickButton(RzButton *button);
    Rows tableRows();
    // The rows of a statement over a connection of the test's own, in its order.
    Rows rowsOf(const QString &statement);
    void execSql(const QStringList &statements);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingServices> m_services;
    TForm4 *m_form = nullptr;
    TDataModule3 *m_module = nullptr;
};

void TestTForm4::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_services = std::make_unique<RecordingServices>(m_dir->path(), m_dir->path());
    store::createDatabaseFile(m_dir->filePath(u"db.dll"_s));
}

void TestTForm4::cleanup()
{
    delete m_form;
    m_form = nullptr;
    delete m_module;
    m_module = nullptr;
    m_services.reset();
    m_dir.reset();
}

// The module as start-up makes it, over the sample table.
void TestTForm4::openModule()
{
    m_module = new TDataModule3(m_dir->path(), m_services->clock());
    m_module->OpenConnection();
    for (const EvaluationRecord &r : seed())
        m_module->Append(r);
    m_module->OpenStartupQuery();
}

void TestTForm4::createForm()
{
    // Showing sets the end date to today: the clock stands on the sample range's last day.
    m_services->setNow(QDateTime(QDate(2026, 12, 7), QTime(18, 0, 0)));
    m_form = new TForm4(m_module);
    m_form->DateTimePicker1->setDate(QDate(2015, 5, 13));
    m_form->DateTimePicker2->setDate(QDate(2026, 12, 7));
}

void TestTForm4::clickButton(RzButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

// The table's rows, read over a connection of the test's own.
Rows TestTForm4::tableRows()
{
    Rows out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(m_dir->filePath(u"db.dll"_s));
        if (!db.open())
            qFatal("cannot open the test database");
        QSqlQuery q(u"select 名称,日期,时间,综合评价 from 评价"_s, db);
        while (q.next())
            out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                               q.value(3).toString()};
    }
    QSqlDatabase::removeDatabase(u"check"_s);
    return sorted(out);
}

Rows TestTForm4::rowsOf(const QString &statement)
{
    Rows out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(m_dir->filePath(u"db.dll"_s));
        if (!db.open())
            qFatal("cannot open the test database");
        QSqlQuery q(statement, db);
        while (q.next()) {
            QStringList row;
            for (int c = 0; c < q.record().count(); ++c)
                row << q.value(c).toString();
            out << row;
        }
    }
    QSqlDatabase::removeDatabase(u"check"_s);
    return out;
}

void TestTForm4::execSql(const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"exec"_s);
        db.setDatabaseName(m_dir->filePath(u"db.dll"_s));
        QVERIFY(db.open());
        QVERIFY(db.transaction());
        QSqlQuery q(db);
        for (const QString &s : statements)
            QVERIFY2(q.exec(s), qPrintable(q.lastError().text()));
        QVERIFY(db.commit());
    }
    QSqlDatabase::removeDatabase(u"exec"_s);
}

// Buttons and grid rows for a finger; every button inside the window, none over another
// control.
void TestTForm4::fingerSizes()
{
    openModule();
    createForm();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    const QList<RzButton *> buttons{m_form->RzButton1, m_form->RzButton2, m_form->RzButton3,
                                    m_form->RzButton4, m_form->RzButton5, m_form->RzButton6};
    QList<QWidget *> others;
    others << m_form->DBGrid1 << m_form->DateTimePicker1 << m_form->DateTimePicker2 << m_form->Edit1
           << m_form->ComboBox1 << m_form->Label1 << m_form->Label2 << m_form->Label3;
    for (RzButton *b : buttons) {
        QVERIFY2(b->height() >= 44, qPrintable(b->objectName()));
        QVERIFY(m_form->rect().contains(b->geometry()));
        for (QWidget *w : others)
            QVERIFY2(!b->geometry().intersects(w->geometry()),
                     qPrintable(b->objectName() + u" over "_s + w->objectName()));
        for (RzButton *c : buttons)
            QVERIFY(b == c || !b->geometry().intersects(c->geometry()));
        // The caption fits the button.
        QVERIFY(QFontMetrics(b->font()).horizontalAdvance(b->text()) < b->width());
    }
    clickButton(m_form->RzButton1);
    QVERIFY(m_form->DBGrid1->model()->rowCount() > 0);
    QVERIFY(m_form->DBGrid1->rowHeight(0) >= 36);
}

// With the Chinese default locale of the program, the date pickers' calendars name months and
// days in Chinese whatever the machine's locale.
void TestTForm4::chineseCalendar()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    platform::useChineseLocale();
    openModule();
    createForm();
    QLocale::setDefault(before);
    for (QDateEdit *picker : {m_form->DateTimePicker1, m_form->DateTimePicker2}) {
        const QLocale shown = picker->calendarWidget()->locale();
        QCOMPARE(shown.language(), QLocale::Chinese);
        QCOMPARE(shown.standaloneMonthName(1), u"一月"_s);
    }
    // The display format stays the numeric one the statements rely on.
    QCOMPARE(m_form->DateTimePicker1->text(), u"2015-05-13"_s);
}

void TestTForm4::windowLayout()
{
    openModule();
    createForm();
    QCOMPARE(m_form->windowTitle(), u"统计分析"_s);
    QCOMPARE(m_form->size(), QSize(862, 473));
    QVERIFY(m_form->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(m_form->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    QCOMPARE(m_form->DBGrid1->geometry(), QRect(0, 0, 481, 473));
    QCOMPARE(m_form->Image1->geometry(), QRect(481, 0, 381, 473));
    QCOMPARE(m_form->ComboBox1->currentText(), u"不限制"_s);
    QCOMPARE(m_form->Edit1->text(), u"不限制"_s);
    QCOMPARE(m_form->RzButton1->text(), u"查  询"_s);
    QCOMPARE(m_form->RzButton5->text(), u"清除全部数据！谨慎"_s);

    // Keyboard order: grid, start, end, grade, name, then the buttons.
    const QList<QWidget *> order = {
        m_form->DBGrid1,   m_form->DateTimePicker1, m_form->DateTimePicker2, m_form->ComboBox1,
        m_form->Edit1,     m_form->RzButton1,       m_form->RzButton2,       m_form->RzButton3,
        m_form->RzButton4, m_form->RzButton5};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget *next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus || !order.contains(next))
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
}

void TestTForm4::columnsAfterEachButton_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QStringList>("expectedTitles");
    QTest::addColumn<int>("firstUnbound");

    QTest::newRow("start-up") << 0 << QStringList{u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s}
                              << 4;
    QTest::newRow("查  询") << 1 << QStringList{u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s}
                            << 4;
    QTest::newRow("统  计") << 2 << QStringList{u"名称"_s, u"综合评价"_s, u"数量"_s, QString()}
                            << 3;
    QTest::newRow("综合满意度") << 3 << QStringList{u"综合评价"_s, u"数量"_s, QString(), QString()}
                                << 2;
}

void TestTForm4::columnsAfterEachButton()
{
    QFETCH(int, button);
    QFETCH(QStringList, expectedTitles);
    QFETCH(int, firstUnbound);
    openModule();
    createForm();
    m_form->show();
    // A user widened a column before: the program never changes widths back or otherwise.
    m_form->DBGrid1->setColumnWidth(0, 230);
    const QList<RzButton *> buttons = {nullptr, m_form->RzButton1, m_form->RzButton2,
                                       m_form->RzButton3};
    if (buttons[button])
        clickButton(buttons[button]);
    QVERIFY(m_services->errors.isEmpty());

    QCOMPARE(titles(m_form->DBGrid1), expectedTitles);
    QCOMPARE(widths(m_form->DBGrid1), (QList<int>{230, 70, 50, 100}));
    const Rows rows = gridRows(m_form->DBGrid1);
    QVERIFY(!rows.isEmpty());
    for (const QStringList &row : rows) {
        for (int c = 0; c < 4; ++c)
            QCOMPARE(row[c].isEmpty(), c >= firstUnbound);
    }
}

void TestTForm4::listingFilters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("grade");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QString>("expected"); // seed keys in the listing's order

    const QDate s(2015, 5, 13), e(2026, 12, 7);
    QTest::newRow("no restriction, both range ends included")
        << u"不限制"_s << u"不限制"_s << s << e << u"ABHCDG"_s;
    QTest::newRow("不满意 includes 非常不满意") << u"不限制"_s << u"不满意"_s << s << e << u"BHC"_s;
    QTest::newRow("非常满意 only itself") << u"不限制"_s << u"非常满意"_s << s << e << u"A"_s;
    QTest::newRow("name anywhere in the text") << u"李四"_s << u"不限制"_s << s << e << u"CD"_s;
    QTest::newRow("name and grade") << u"李四"_s << u"一般"_s << s << e << u"D"_s;
    QTest::newRow("blanks around a name are trimmed")
        << u"  李四 "_s << u"不限制"_s << s << e << u"CD"_s;
    QTest::newRow("leading blank before 不限制 filters")
        << u" 不限制"_s << u"不限制"_s << s << e << u"G"_s;
    QTest::newRow("underscore is a wildcard") << u"1_窗口"_s << u"不限制"_s << s << e << u"ABH"_s;
    QTest::newRow("end before start gives nothing")
        << u"不限制"_s << u"不限制"_s << QDate(2020, 1, 2) << QDate(2020, 1, 1) << QString();
    QTest::newRow("one day") << u"不限制"_s << u"不限制"_s << QDate(2020, 1, 1) << QDate(2020, 1, 1)
                             << u"BH"_s;
}

void TestTForm4::listingFilters()
{
    QFETCH(QString, name);
    QFETCH(QString, grade);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QString, expected);
    openModule();
    createForm();
    m_form->Edit1->setText(name);
    m_form->ComboBox1->setCurrentText(grade);
    m_form->DateTimePicker1->setDate(start);
    m_form->DateTimePicker2->setDate(end);
    clickButton(m_form->RzButton1);

    QCOMPARE(m_services->errors, QStringList());
    // Ordered by name then date; rows with equal name and date may come in either order.
    const Rows rows = gridRows(m_form->DBGrid1);
    QCOMPARE(sorted(rows), sorted(listed(expected)));
    for (int i = 0; i + 1 < rows.size(); ++i)
        QVERIFY(std::pair(rows[i][0], rows[i][1]) <= std::pair(rows[i + 1][0], rows[i + 1][1]));
}

void TestTForm4::edit1ClickEmptiesAndMatchesEveryName()
{
    openModule();
    createForm();
    m_form->show();
    QTest::mouseClick(m_form->Edit1, Qt::LeftButton);
    QCOMPARE(m_form->Edit1->text(), QString());
    m_form->Edit1->insert(u"李四"_s);
    QTest::mouseClick(m_form->Edit1, Qt::LeftButton);
    QCOMPARE(m_form->Edit1->text(), QString());

    clickButton(m_form->RzButton1);
    QCOMPARE(sorted(gridRows(m_form->DBGrid1)), sorted(listed(u"ABCDGH"_s)));
}

void TestTForm4::countAndOverall()
{
    openModule();
    createForm();
    m_form->Edit1->setText(u"张三"_s);
    m_form->ComboBox1->setCurrentText(u"不满意"_s);
    clickButton(m_form->RzButton2);
    QCOMPARE(gridRows(m_form->DBGrid1),
             (Rows{{u"1号窗口  张三"_s, u"不满意"_s, u"2"_s, QString()}}));

    m_form->ComboBox1->setCurrentText(u"不限制"_s);
    m_form->Edit1->setText(u"不限制"_s);
    clickButton(m_form->RzButton2);
    QCOMPARE(sorted(gridRows(m_form->DBGrid1)),
             sorted({{u"1号窗口  张三"_s, u"非常满意"_s, u"1"_s, QString()},
                     {u"1号窗口  张三"_s, u"不满意"_s, u"2"_s, QString()},
                     {u"2号窗口  李四"_s, u"非常不满意"_s, u"1"_s, QString()},
                     {u"2号窗口  李四"_s, u"一般"_s, u"1"_s, QString()},
                     {u"不限制窗口"_s, u"一般"_s, u"1"_s, QString()}}));

    // Overall satisfaction ignores both filters.
    m_form->Edit1->setText(u"李四"_s);
    m_form->ComboBox1->setCurrentText(u"一般"_s);
    clickButton(m_form->RzButton3);
    QCOMPARE(sorted(gridRows(m_form->DBGrid1)),
             sorted({{u"非常满意"_s, u"1"_s, QString(), QString()},
                     {u"不满意"_s, u"2"_s, QString(), QString()},
                     {u"非常不满意"_s, u"1"_s, QString(), QString()},
                     {u"一般"_s, u"2"_s, QString(), QString()}}));
    QCOMPARE(m_services->errors, QStringList());
}

void TestTForm4::typedQuotesFindNothingAndChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("single quote") << u"张'三"_s;
    QTest::newRow("injection attempt") << u"x') or 1=1 or ('"_s;
    QTest::newRow("statement after quote") << u"'; DELETE FROM 评价; --"_s;
}

void TestTForm4::typedQuotesFindNothingAndChangeNothing()
{
    QFETCH(QString, name);
    openModule();
    createForm();
    const Rows before = tableRows();
    const QList<RzButton *> buttons = {m_form->RzButton1, m_form->RzButton2};
    for (RzButton *button : buttons) {
        for (const QString &grade : {u"不限制"_s, u"一般"_s}) {
            m_form->Edit1->setText(name);
            m_form->ComboBox1->setCurrentText(grade);
            clickButton(button);
            QCOMPARE(m_services->errors, QStringList());
            QCOMPARE(gridRows(m_form->DBGrid1), Rows());
        }
    }
    QCOMPARE(tableRows(), before);
}

void TestTForm4::ctrlDeleteRemovesOneOfTwoIdenticalRows_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestTForm4::ctrlDeleteRemovesOneOfTwoIdenticalRows()
{
    QFETCH(bool, answer);
    openModule();
    createForm();
    m_form->show();
    m_form->Edit1->setText(u"张三"_s);
    m_form->ComboBox1->setCurrentText(u"不满意"_s);
    clickButton(m_form->RzButton1);
    QCOMPARE(gridRows(m_form->DBGrid1), listed(u"BH"_s));

    const Rows before = tableRows();
    m_services->questionAnswers = {answer};
    m_services->setNow(QDateTime(QDate(2026, 12, 9), QTime(15, 4, 5)));
    m_form->DBGrid1->setFocus();
    m_form->DBGrid1->setCurrentIndex(m_form->DBGrid1->model()->index(1, 0));
    QTest::keyClick(m_form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);

    // The question is in Chinese and names the row.
    QCOMPARE(m_services->confirmations, QStringList());
    QCOMPARE(m_services->questions.size(), 1);
    QCOMPARE(m_services->questions[0].caption, u"提示"_s);
    const QString question = m_services->questions[0].text;
    for (const QString &part :
         {u"确定要删除这条评价记录吗？"_s, u"名称：1号窗口  张三"_s, u"日期：2020-01-01"_s,
          u"时间：10:00:00"_s, u"综合评价：不满意"_s, u"评价_已删除"_s})
        QVERIFY2(question.contains(part), qPrintable(question));
    QCOMPARE(m_services->errors, QStringList());
    Rows after = before;
    if (answer)
        after.removeOne(asRow(seed().value(u"B"_s)));
    QCOMPARE(tableRows(), after);
    QCOMPARE(gridRows(m_form->DBGrid1), answer ? listed(u"B"_s) : listed(u"BH"_s));
    // The deleted row is kept in the archive with the time of its deletion.
    Rows archived;
    if (answer)
        archived << asRow(seed().value(u"B"_s)) + QStringList{u"2026-12-09 15:04:05"_s};
    QCOMPARE(rowsOf(u"select 名称,日期,时间,综合评价,删除时间 from 评价_已删除"_s), archived);
}

void TestTForm4::ctrlDeleteOnCountDoesNothing()
{
    openModule();
    createForm();
    m_form->show();
    const Rows before = tableRows();
    m_services->defaultConfirmAnswer = true;
    m_services->defaultQuestionAnswer = true;
    execSql(
        {u"create table 密码记录 (序号 integer primary key autoincrement, 日期 text not null, "
         "时间 text not null, 事件 text not null, 说明 text)"_s,
         u"insert into 密码记录 (日期,时间,事件,说明) values ('2026-12-01','09:00:00','密码错误','还剩4次')"_s});
    for (RzButton *button : {m_form->RzButton2, m_form->RzButton3, m_form->RzButton6}) {
        clickButton(button);
        const Rows shown = gridRows(m_form->DBGrid1);
        QVERIFY(!shown.isEmpty());
        m_form->DBGrid1->setCurrentIndex(m_form->DBGrid1->model()->index(0, 0));
        QTest::keyClick(m_form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(gridRows(m_form->DBGrid1), shown);
    }
    QCOMPARE(m_services->confirmations, QStringList());
    QCOMPARE(m_services->questions.size(), 0);
    QCOMPARE(m_services->errors, QStringList());
    QCOMPARE(tableRows(), before);
}

void TestTForm4::pinLogListing_data()
{
    QTest::addColumn<bool>("logged"); // false: a db.dll from before the log
    QTest::addColumn<QDate>("start");
    QTest::addColumn<Rows>("rows");
    const QStringList wrong{u"2026-12-01 09:00:00"_s, u"密码错误"_s, u"还剩0次"_s, QString()};
    const QStringList lock{u"2026-12-01 09:00:00"_s, u"锁定"_s, u"1分钟"_s, QString()};
    const QStringList right{u"2026-12-07 10:00:00"_s, u"密码正确"_s, QString(), QString()};
    QTest::newRow("newest first") << true << QDate(2015, 5, 13) << Rows{right, lock, wrong};
    QTest::newRow("only the date range") << true << QDate(2026, 12, 2) << Rows{right};
    QTest::newRow("no log yet") << false << QDate(2015, 5, 13) << Rows{};
}

void TestTForm4::pinLogListing()
{
    QFETCH(bool, logged);
    QFETCH(QDate, start);
    QFETCH(Rows, rows);
    if (logged) {
        execSql(
            {u"create table 密码记录 (序号 integer primary key autoincrement, 日期 text not null, "
             "时间 text not null, 事件 text not null, 说明 text)"_s,
             u"insert into 密码记录 (日期,时间,事件,说明) values "
             "('2026-12-01','09:00:00','密码错误','还剩0次'),"
             "('2026-12-01','09:00:00','锁定','1分钟'),"
             "('2026-12-07','10:00:00','密码正确',null)"_s});
    }
    openModule();
    createForm();
    m_form->show();
    m_form->DateTimePicker1->setDate(start);
    clickButton(m_form->RzButton6);
    QCOMPARE(m_services->errors, QStringList());
    QCOMPARE(titles(m_form->DBGrid1), (QStringList{u"时刻"_s, u"事件"_s, u"说明"_s, QString()}));
    QCOMPARE(gridRows(m_form->DBGrid1), rows);
}

void TestTForm4::clearAllData_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("archiveBlocked"); // a file named 备份 stands in the way
    QTest::addColumn<bool>("forwarding");
    QTest::newRow("Yes archives and clears") << true << false << false;
    QTest::newRow("No keeps, writes no archive") << false << false << false;
    QTest::newRow("archive cannot be written: nothing cleared") << true << true << false;
    // With a central database the question adds that central rows stay.
    QTest::newRow("forwarding, Yes archives and clears") << true << false << true;
}

void TestTForm4::clearAllData()
{
    QFETCH(bool, answer);
    QFETCH(bool, archiveBlocked);
    openModule();
    QFETCH(bool, forwarding);
    // A forwarder to an address it refuses at once: no server and no network are involved.
    std::unique_ptr<central::Link> link;
    if (forwarding) {
        link = std::make_unique<central::Link>(m_dir->filePath(u"db.dll"_s),
                                               central::Config{u"mysql://x/y"_s, u"t"_s},
                                               m_services->clock());
    }
    createForm();
    m_services->setNow(QDateTime(QDate(2026, 12, 7), QTime(18, 0, 5)));
    if (archiveBlocked) {
        QFile blocker(m_dir->filePath(u"备份"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    m_form->setCentralLink(link.get());
    clickButton(m_form->RzButton1);
    const Rows shown = gridRows(m_form->DBGrid1);
    const Rows before = tableRows();
    QVERIFY(!before.isEmpty());
    m_services->questionAnswers = {answer};
    clickButton(m_form->RzButton5);

    const QString archive = m_dir->filePath(u"备份/清除前备份_20261207_180005.db"_s);
    QCOMPARE(m_services->questions.size(), 1);
    QCOMPARE(m_services->questions[0].caption, u"提示"_s);
    // The question names the archive the records go to.
    QCOMPARE(
        m_services->questions[0].text,
        u"程序即将清除所有数据！清除前全部记录将备份到“备份/清除前备份_20261207_180005.db”。"
        "点\"是\"清除，点\"否\"返回！"_s +
            (forwarding
                 ? u"\n（本机已连接中心数据库：中心数据库中的记录不会被清除，尚未发送的记录仍会发送。）"_s
                 : QString()));
    QCOMPARE(m_services->errors, QStringList());
    const bool cleared = answer && !archiveBlocked;
    QCOMPARE(tableRows(), cleared ? Rows() : before);
    QCOMPARE(QFileInfo::exists(archive), cleared);
    if (archiveBlocked) {
        QCOMPARE(m_services->messages.size(), 1);
        QVERIFY(m_services->messages[0].startsWith(u"备份失败，数据未清除："_s));
    } else {
        QCOMPARE(m_services->messages, QStringList());
    }
    if (cleared) {
        // Every cleared row is in the archive, which reads like db.dll.
        const QString name = u"archive-check"_s;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(archive);
            QVERIFY(db.open());
            QSqlQuery q(u"select count(*) from 评价"_s, db);
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), int(before.size()));
        }
        QSqlDatabase::removeDatabase(name);
    }
    QCOMPARE(gridRows(m_form->DBGrid1), cleared ? Rows() : shown);
    if (cleared) {
        // The grid stays empty until a button reopens the result set.
        clickButton(m_form->RzButton3);
        QCOMPARE(gridRows(m_form->DBGrid1), Rows());
        QCOMPARE(m_services->errors, QStringList());
    }
}

void TestTForm4::showSetsEndDateAndKeepsTheRest()
{
    openModule();
    createForm();
    m_services->setNow(QDateTime(QDate(2031, 3, 4), QTime(23, 59, 58)));
    m_form->DateTimePicker1->setDate(QDate(2020, 1, 1));
    m_form->Edit1->setText(u"张三"_s);
    m_form->ComboBox1->setCurrentText(u"不满意"_s);
    m_form->show();
    QCOMPARE(m_form->DateTimePicker2->date(), QDate(2031, 3, 4));
    clickButton(m_form->RzButton2);
    const Rows counted = gridRows(m_form->DBGrid1);
    QVERIFY(!counted.isEmpty());

    clickButton(m_form->RzButton4);
    QVERIFY(!m_form->isVisible());
    m_services->setNow(QDateTime(QDate(2032, 1, 2), QTime(0, 0, 1)));
    m_form->DateTimePicker2->setDate(QDate(2000, 1, 1));
    m_form->show();
    QCOMPARE(m_form->DateTimePicker2->date(), QDate(2032, 1, 2));
    QCOMPARE(m_form->DateTimePicker1->date(), QDate(2020, 1, 1));
    QCOMPARE(m_form->Edit1->text(), u"张三"_s);
    QCOMPARE(m_form->ComboBox1->currentText(), u"不满意"_s);
    QCOMPARE(titles(m_form->DBGrid1),
             (QStringList{u"名称"_s, u"综合评价"_s, u"数量"_s, QString()}));
    QCOMPARE(gridRows(m_form->DBGrid1), counted);
    QCOMPARE(m_services->errors, QStringList());
}

void TestTForm4::engineErrorLeavesGridEmpty_data()
{
    QTest::addColumn<bool>("garbageFile");
    QTest::newRow("table dropped") << false;
    QTest::newRow("db.dll is garbage") << true;
}

void TestTForm4::engineErrorLeavesGridEmpty()
{
    QFETCH(bool, garbageFile);
    if (garbageFile) {
        QFile f(m_dir->filePath(u"db.dll"_s));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(4096, 'x'));
        f.close();
        m_module = new TDataModule3(m_dir->path(), m_services->clock());
        try {
            m_module->OpenConnection();
            QFAIL("a garbage file opened");
        } catch (const KioskError &) {
        }
        createForm();
    } else {
        openModule();
        createForm();
        clickButton(m_form->RzButton1);
        QVERIFY(!gridRows(m_form->DBGrid1).isEmpty());
        execSql({u"drop table 评价"_s});
    }
    for (RzButton *button : {m_form->RzButton1, m_form->RzButton2, m_form->RzButton3}) {
        m_services->clearRecords();
        clickButton(button);
        QCOMPARE(m_services->errors.size(), 1);
        QVERIFY(!m_services->errors[0].isEmpty());
        QCOMPARE(m_form->DBGrid1->model()->rowCount(), 0);
        QVERIFY(!m_form->DBGrid1->model()->canFetchMore({}));
    }
}

void TestTForm4::withoutModuleButtonsReport()
{
    createForm();
    m_form->show();
    for (RzButton *button :
         {m_form->RzButton1, m_form->RzButton2, m_form->RzButton3, m_form->RzButton5}) {
        m_services->clearRecords();
        clickButton(button);
        QCOMPARE(m_services->errors.size(), 1);
    }
    QTest::keyClick(m_form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    clickButton(m_form->RzButton4);
    QVERIFY(!m_form->isVisible());
}

void TestTForm4::rowsFetchedAsScrolled()
{
    const int total = 5000;
    QStringList inserts;
    for (int i = 0; i < total; ++i)
        inserts
            << u"insert into 评价(名称,日期,时间,综合评价) values('窗口%1','2020-02-02','10:00:00','一般')"_s
                   .arg(i, 5, 10, QChar(u'0'));
    execSql(inserts);
    m_module = new TDataModule3(m_dir->path(), m_services->clock());
    m_module->OpenConnection();
    m_module->OpenStartupQuery();
    createForm();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    clickButton(m_form->RzButton1);

    ResultPages *result = m_module->DataSource1();
    const int fetched = result->rowCount();
    QVERIFY2(fetched > 0 && fetched <= total / 4, qPrintable(QString::number(fetched)));
    QVERIFY(result->canFetchMore());
    QScrollBar *bar = m_form->DBGrid1->verticalScrollBar();
    bar->setValue(bar->maximum());
    QTRY_VERIFY(result->rowCount() > fetched);
    QCOMPARE(m_form->DBGrid1->model()->rowCount(), result->rowCount());
    QCOMPARE(m_form->DBGrid1->model()->index(fetched, 0).data().toString(),
             u"窗口%1"_s.arg(fetched, 5, 10, QChar(u'0')));
}

QTEST_MAIN(TestTForm4)
#include "tst_tform4.moc"
