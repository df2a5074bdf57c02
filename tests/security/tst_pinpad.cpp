#include "config/settingsfile.h"
#include "config/tform5.h"
#include "kiosk/tform1.h"
#include "platform/widgets/restrictedfiledialog.h"
#include "platform/widgets/rzbutton.h"
#include "security/pinpadwindow.h"
#include "security/staffpin.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/pictures.h"
#include "support/recorder.h"
#include "support/runfolder.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Pin = u"2580"_s;
const QDateTime Start(QDate(2026, 3, 1), QTime(9, 0));

void tapDigits(PinPadWindow *pad, const QString &digits)
{
    for (const QChar c : digits)
        QTest::mouseClick(pad->Digits[size_t(c.digitValue())], Qt::LeftButton);
}

void enter(PinPadWindow *pad, const QString &digits)
{
    tapDigits(pad, digits);
    QTest::mouseClick(pad->OkButton, Qt::LeftButton);
}

void rightClick(QWidget *w, QPoint at)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &event);
}

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(runfolder::encoded(solid(QSize(40, 40), Qt::red), "JPG"));
}

} // namespace

// The staff PIN in front of the administration menu: the number pad, the lock-out and setting
// a new PIN in the parameter window; and the kiosk's own file chooser.
class TestPinPad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_touch = QTest::createTouchDevice(); }
    void cleanupTestCase() { delete m_touch; }
    void init();
    void cleanup();

    void menuWithoutPin_data();
    void menuWithoutPin();
    void pinOpensMenu_data();
    void pinOpensMenu();
    void lockOutAndRelease();
    void lockSurvivesRestart();
    void padKeys();
    void padKeyboard_data();
    void padKeyboard();
    void setPinCommand_data();
    void setPinCommand();
    void padClosesWhenLeft();
    void setPinInParameterWindow_data();
    void setPinInParameterWindow();
    void chooserStaysInside();

private:
    void writeSettings(const QString &pinHash);
    TForm1 *form();
    // The log of the database in the test's folder: 事件 and 说明 of each entry, oldest first.
    QStringList pinLog();

    std::unique_ptr<TDataModule3> m_module;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingServices> m_services;
    std::unique_ptr<TForm1> m_form;
    QPointingDevice *m_touch = nullptr;
};

void TestPinPad::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_services = std::make_unique<RecordingServices>(m_dir->path(), m_dir->path());
    m_services->setNow(Start);
}

void TestPinPad::cleanup()
{
    m_form.reset();
    m_module.reset();
    m_services.reset();
    m_dir.reset();
}

void TestPinPad::writeSettings(const QString &pinHash)
{
    runfolder::Settings settings = runfolder::goodSettings();
    if (!pinHash.isNull())
        settings.append({staffpin::settingKey(), pinHash});
    QFile f(m_dir->filePath(u"opt.ini"_s));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(runfolder::section(settings));
}

TForm1 *TestPinPad::form()
{
    m_form = std::make_unique<TForm1>(QRect(0, 0, 1024, 768));
    m_form->showKiosk();
    return m_form.get();
}

void TestPinPad::menuWithoutPin_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("blocked"); // "": readable; "dir", "mode": what stands in the way
    QTest::addColumn<QString>("notice");
    const QString notSet = u"未设置管理密码，请管理员在这台电脑上运行 quorvel-kiosk --set-pin"_s;
    const QString hash = staffpin::hashWithSalt(Pin, "salt-of-the-test", 1000);
    QTest::newRow("no key") << QString() << QString() << notSet;
    QTest::newRow("empty value") << u""_s << QString() << notSet;
    QTest::newRow("digits typed into the file") << Pin << QString() << notSet;
    // The file holds a PIN, but the kiosk cannot read it: the menu stays closed all the same.
    QTest::newRow("no read permission") << hash << u"mode"_s << u"文件没有读取权限"_s;
    QTest::newRow("a directory in its place") << hash << u"dir"_s << u"是一个文件夹"_s;
}

void TestPinPad::menuWithoutPin()
{
    QFETCH(QString, stored);
    QFETCH(QString, blocked);
    QFETCH(QString, notice);
    writeSettings(stored);
    const QString ini = m_dir->filePath(u"opt.ini"_s);
    TForm1 *f = form();
    if (blocked == u"mode"_s)
        QVERIFY(QFile::setPermissions(ini, QFile::WriteOwner));
    if (blocked == u"dir"_s)
        QVERIFY(QFile::remove(ini) && QDir(m_dir->path()).mkdir(u"opt.ini"_s));
    QSignalSpy opened(f, &TForm1::menuOpened);
    rightClick(f, QPoint(300, 200));
    QCOMPARE(opened.size(), 0);
    QVERIFY(!f->PopupMenu1->isVisible());
    QVERIFY(!f->PinPad->isVisible());
    QCOMPARE(m_services->notices.size(), 1);
    if (blocked.isEmpty())
        QCOMPARE(m_services->notices[0].text, notice);
    else
        QVERIFY2(m_services->notices[0].text.startsWith(u"无法读取设置文件"_s) &&
                     m_services->notices[0].text.contains(notice),
                 qPrintable(m_services->notices[0].text));
    QCOMPARE(m_services->notices[0].timeoutMs, TForm1::NoPinNoticeMilliseconds);
    QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner);
}

void TestPinPad::pinOpensMenu_data()
{
    QTest::addColumn<bool>("byHold");
    QTest::newRow("right click") << false;
    QTest::newRow("press and hold") << true;
}

void TestPinPad::pinOpensMenu()
{
    QFETCH(bool, byHold);
    writeSettings(staffpin::hashWithSalt(Pin, "salt-of-the-test", 1000));
    TForm1 *f = form();
    QSignalSpy opened(f, &TForm1::menuOpened);
    const QPoint at(420, 330);
    if (byHold) {
        QTest::touchEvent(f, m_touch).press(0, at, f);
        QTRY_VERIFY_WITH_TIMEOUT(f->PinPad->isVisible(), 3 * TForm1::HoldMilliseconds);
        QTest::touchEvent(f, m_touch).release(0, at, f);
    } else {
        rightClick(f, at);
    }
    // The pad asks first; the menu stays closed.
    QVERIFY(f->PinPad->isVisible());
    QCOMPARE(f->PinPad->PromptLabel->text(), u"请输入管理密码"_s);
    QCOMPARE(opened.size(), 0);
    QVERIFY(f->PinPad->width() >= 300 && f->PinPad->Digits[5]->height() >= 60);

    // The digits show as dots, never as digits.
    tapDigits(f->PinPad, Pin);
    QCOMPARE(f->PinPad->EntryLabel->text(), u"●●●●"_s);
    QTest::mouseClick(f->PinPad->OkButton, Qt::LeftButton);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).at(0).toPoint(), f->mapToGlobal(at));
    QVERIFY(!f->PinPad->isVisible());
    f->PopupMenu1->hide();
}

void TestPinPad::lockOutAndRelease()
{
    writeSettings(staffpin::hashWithSalt(Pin, "salt-of-the-test", 1000));
    TForm1 *f = form();
    QSignalSpy opened(f, &TForm1::menuOpened);
    rightClick(f, QPoint(100, 100));
    PinPadWindow *pad = f->PinPad;
    for (int i = 1; i <= 4; ++i) {
        enter(pad, u"1111"_s);
        QCOMPARE(pad->StatusLabel->text(), u"密码错误，还可以再试%1次"_s.arg(5 - i));
    }
    enter(pad, u"1111"_s);
    QCOMPARE(pad->StatusLabel->text(), u"错误次数过多，请60秒后再试"_s);
    QVERIFY(pad->isLocked());
    QVERIFY(!pad->Digits[2]->isEnabled());
    // While locked the right PIN does nothing either, also on a pad opened anew.
    pad->DigitClick(2);
    QCOMPARE(pad->entered(), QString());
    pad->CancelClick();
    m_services->setNow(Start.addSecs(45));
    rightClick(f, QPoint(100, 100));
    QVERIFY(pad->isLocked());
    QCOMPARE(pad->StatusLabel->text(), u"错误次数过多，请15秒后再试"_s);
    f->PinPadSubmitted(Pin);
    QCOMPARE(opened.size(), 0);

    // The clock moves on; the once-a-second tick unlocks the pad.
    m_services->setNow(Start.addSecs(60));
    f->PinPadTimerTimer();
    QVERIFY(!pad->isLocked());
    QCOMPARE(pad->StatusLabel->text(), QString());
    enter(pad, Pin);
    QCOMPARE(opened.size(), 1);
    f->PopupMenu1->hide();
}

void TestPinPad::padKeys()
{
    PinPadWindow pad;
    pad.ask(u"请输入管理密码"_s);
    QSignalSpy submitted(&pad, &PinPadWindow::submitted);
    tapDigits(&pad, u"123456789"_s); // the ninth digit is not taken
    QCOMPARE(pad.entered(), u"12345678"_s);
    QTest::mouseClick(pad.BackButton, Qt::LeftButton);
    QCOMPARE(pad.entered(), u"1234567"_s);
    QTest::mouseClick(pad.ClearButton, Qt::LeftButton);
    QCOMPARE(pad.entered(), QString());
    enter(&pad, u"0907"_s);
    QCOMPARE(submitted.size(), 1);
    QCOMPARE(submitted.at(0).at(0).toString(), u"0907"_s);
    QCOMPARE(pad.entered(), QString());
}

QStringList TestPinPad::pinLog()
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"pin-log"_s);
        db.setDatabaseName(m_dir->filePath(u"db.dll"_s));
        if (db.open()) {
            QSqlQuery q(u"select 日期 || ' ' || 时间, 事件, 说明 from 密码记录 order by 序号"_s,
                        db);
            while (q.next())
                out.append(q.value(1).toString() + u' ' + q.value(2).toString());
        }
    }
    QSqlDatabase::removeDatabase(u"pin-log"_s);
    return out;
}

// Each lock lasts twice the one before; a restart of the kiosk keeps the count and the lock, a
// right PIN ends both, and every entry and lock is in the log of db.dll.
void TestPinPad::lockSurvivesRestart()
{
    writeSettings(staffpin::hashWithSalt(Pin, "salt-of-the-test", 1000));
    store::createDatabaseFile(m_dir->filePath(u"db.dll"_s));
    auto start = [this] {
        m_form.reset();
        m_module = std::make_unique<TDataModule3>(m_dir->path(), m_services->clock());
        m_module->OpenConnection();
        TForm1 *f = form();
        f->setDataModule(m_module.get());
        rightClick(f, QPoint(100, 100));
        return f;
    };
    TForm1 *f = start();
    for (int i = 0; i < 5; ++i)
        enter(f->PinPad, u"1111"_s);
    QCOMPARE(f->PinPad->StatusLabel->text(), u"错误次数过多，请60秒后再试"_s);
    m_services->setNow(Start.addSecs(60));
    f->PinPadTimerTimer();
    for (int i = 0; i < 4; ++i)
        enter(f->PinPad, u"1111"_s);
    f = start(); // the kiosk restarts with one attempt left
    QVERIFY(!f->PinPad->isLocked());
    enter(f->PinPad, u"1111"_s);
    QCOMPARE(f->PinPad->StatusLabel->text(), u"错误次数过多，请2分钟后再试"_s);

    m_services->setNow(Start.addSecs(60 + 100));
    f = start();
    QVERIFY(f->PinPad->isLocked());
    QCOMPARE(f->PinPad->StatusLabel->text(), u"错误次数过多，请20秒后再试"_s);
    m_services->setNow(Start.addSecs(60 + 120));
    f->PinPadTimerTimer();
    QSignalSpy opened(f, &TForm1::menuOpened);
    enter(f->PinPad, Pin);
    QCOMPARE(opened.size(), 1);
    f->PopupMenu1->hide();

    // After the right PIN the next lock is a first one again, also after a restart.
    f = start();
    for (int i = 0; i < 5; ++i)
        enter(f->PinPad, u"1111"_s);
    QCOMPARE(f->PinPad->StatusLabel->text(), u"错误次数过多，请60秒后再试"_s);

    QStringList expected;
    for (int round = 0; round < 3; ++round) {
        for (int left = 4; left >= 0; --left)
            expected.append(u"密码错误 还剩%1次"_s.arg(left));
        expected.append(round == 1 ? u"锁定 2分钟"_s : u"锁定 1分钟"_s);
        if (round == 1)
            expected.append(u"密码正确 "_s);
    }
    QCOMPARE(pinLog(), expected);
}

void TestPinPad::padKeyboard_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QStringList>("submitted");
    QTest::addColumn<bool>("visible");
    QTest::newRow("digits and Enter")
        << QList<int>{Qt::Key_1, Qt::Key_3, Qt::Key_5, Qt::Key_7, Qt::Key_Return}
        << QStringList{u"1357"_s} << true;
    QTest::newRow("Backspace takes the last digit back")
        << QList<int>{Qt::Key_1, Qt::Key_2, Qt::Key_9,    Qt::Key_Backspace,
                      Qt::Key_3, Qt::Key_4, Qt::Key_Enter}
        << QStringList{u"1234"_s} << true;
    QTest::newRow("letters are no digits")
        << QList<int>{Qt::Key_A, Qt::Key_0, Qt::Key_X, Qt::Key_Return} << QStringList{u"0"_s}
        << true;
    QTest::newRow("Escape cancels")
        << QList<int>{Qt::Key_5, Qt::Key_Escape} << QStringList() << false;
}

void TestPinPad::padKeyboard()
{
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, submitted);
    QFETCH(bool, visible);
    PinPadWindow pad;
    pad.ask(u"请输入管理密码"_s);
    QSignalSpy spy(&pad, &PinPadWindow::submitted);
    for (const int key : keys)
        QTest::keyClick(&pad, Qt::Key(key));
    QStringList got;
    for (const QList<QVariant> &args : spy)
        got.append(args.at(0).toString());
    QCOMPARE(got, submitted);
    QCOMPARE(pad.isVisible(), visible);
}

// quorvel-kiosk --set-pin: the PIN twice on the standard input, the hash into opt.ini.
void TestPinPad::setPinCommand_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("directory"); // a folder in the place of opt.ini
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stored"); // the PIN that opt.ini then holds; empty: none
    QTest::addColumn<QString>("answer"); // part of the standard error on refusal
    QTest::newRow("twice the same")
        << QByteArray("24680\n24680\n") << false << 0 << u"24680"_s << QString();
    QTest::newRow("line ends of a Windows editor")
        << QByteArray("1357\r\n1357\r\n") << false << 0 << u"1357"_s << QString();
    QTest::newRow("differ") << QByteArray("24680\n24681\n") << false << 1 << QString()
                            << u"两次输入不一致"_s;
    QTest::newRow("too short") << QByteArray("123\n123\n") << false << 1 << QString()
                               << u"4至8位数字"_s;
    QTest::newRow("input ends after the first")
        << QByteArray("24680\n") << false << 1 << QString() << u"没有读到管理密码"_s;
    QTest::newRow("opt.ini is a folder")
        << QByteArray("24680\n24680\n") << true << 1 << QString() << u"无法读取设置文件"_s;
}

void TestPinPad::setPinCommand()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, directory);
    QFETCH(int, exitCode);
    QFETCH(QString, stored);
    QFETCH(QString, answer);
    writeSettings(QString());
    const QString ini = m_dir->filePath(u"opt.ini"_s);
    if (directory)
        QVERIFY(QFile::remove(ini) && QDir(m_dir->path()).mkdir(u"opt.ini"_s));
    QProcess kiosk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QUORVEL_KIOSK_DIR"_s, m_dir->path());
    kiosk.setProcessEnvironment(env);
    kiosk.start(QStringLiteral(KIOSK_PROGRAM), {u"--set-pin"_s});
    QVERIFY(kiosk.waitForStarted());
    kiosk.write(input);
    kiosk.closeWriteChannel();
    QVERIFY(kiosk.waitForFinished(60000));
    const QString out = QString::fromUtf8(kiosk.readAllStandardOutput());
    const QString err = QString::fromUtf8(kiosk.readAllStandardError());
    QCOMPARE(kiosk.exitCode(), exitCode);
    // The digits are never shown, whatever happened.
    QVERIFY2(!out.contains(u"2468"_s) && !err.contains(u"2468"_s), qPrintable(out + err));
    if (directory) {
        QVERIFY(QFileInfo(ini).isDir());
        QVERIFY2(err.contains(answer), qPrintable(err));
        return;
    }
    const QString value = SettingsFile(m_dir->path()).ReadSetting(staffpin::settingKey());
    if (stored.isEmpty()) {
        QCOMPARE(value, staffpin::settingKey());
        QVERIFY2(err.contains(answer), qPrintable(err));
        return;
    }
    QVERIFY(staffpin::matches(stored, value));
    QCOMPARE(SettingsFile(m_dir->path()).ReadSetting(u"pic_width"_s), u"150"_s);
    QVERIFY2(out.contains(u"管理密码已设置"_s), qPrintable(out));
    // The menu now asks for that PIN.
    TForm1 *f = form();
    rightClick(f, QPoint(10, 10));
    QVERIFY(f->PinPad->isVisible());
    QSignalSpy opened(f, &TForm1::menuOpened);
    enter(f->PinPad, stored);
    QCOMPARE(opened.size(), 1);
    f->PopupMenu1->hide();
}

void TestPinPad::padClosesWhenLeft()
{
    PinPadWindow pad;
    QSignalSpy cancelled(&pad, &PinPadWindow::cancelled);
    pad.ask(u"请输入管理密码"_s);
    QVERIFY(pad.InactivityTimer->isActive());
    QCOMPARE(pad.InactivityTimer->interval(), PinPadWindow::InactivitySeconds * 1000);
    // The timer's end is what a visitor who walks away leaves behind.
    pad.DigitClick(3);
    pad.InactivityTimer->start(0);
    QTRY_VERIFY(!pad.isVisible());
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(pad.entered(), QString());
}

void TestPinPad::setPinInParameterWindow_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("newPin"); // empty: nothing stored
    QTest::addColumn<QString>("status");
    QTest::newRow("twice the same")
        << QStringList{u"13579"_s, u"13579"_s} << u"13579"_s << QString();
    QTest::newRow("differ") << QStringList{u"13579"_s, u"13578"_s} << QString()
                            << u"两次输入不一致，请重新输入"_s;
    QTest::newRow("too short") << QStringList{u"135"_s} << QString() << u"管理密码须为4至8位数字"_s;
}

void TestPinPad::setPinInParameterWindow()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, newPin);
    QFETCH(QString, status);
    writeSettings(QString());
    const QString ini = m_dir->filePath(u"opt.ini"_s);
    TForm5 form5;
    form5.show();
    QTest::mouseClick(form5.RzButton3, Qt::LeftButton);
    QVERIFY(form5.PinPad->isVisible());
    QCOMPARE(form5.PinPad->PromptLabel->text(), u"请输入新的管理密码（4至8位数字）"_s);
    for (const QString &entry : entries)
        enter(form5.PinPad, entry);

    const QString stored = SettingsFile(m_dir->path()).ReadSetting(staffpin::settingKey());
    if (newPin.isEmpty()) {
        QCOMPARE(stored, staffpin::settingKey()); // still missing
        QCOMPARE(form5.PinPad->StatusLabel->text(), status);
        QVERIFY(form5.PinPad->isVisible());
        QVERIFY(m_services->messages.isEmpty());
        return;
    }
    QVERIFY(!form5.PinPad->isVisible());
    QCOMPARE(m_services->messages, QStringList{u"管理密码已设置。"_s});
    QVERIFY(staffpin::isHash(stored));
    QVERIFY(!stored.contains(newPin));
    QVERIFY(staffpin::matches(newPin, stored));
    // The other settings are kept as they were.
    QCOMPARE(SettingsFile(m_dir->path()).ReadSetting(u"pic_width"_s), u"150"_s);

    // The new PIN now guards the menu.
    TForm1 *f = form();
    QSignalSpy opened(f, &TForm1::menuOpened);
    rightClick(f, QPoint(10, 10));
    QCOMPARE(opened.size(), 0);
    enter(f->PinPad, newPin);
    QCOMPARE(opened.size(), 1);
    f->PopupMenu1->hide();
}

void TestPinPad::chooserStaysInside()
{
    const QString run = m_dir->filePath(u"run"_s);
    touch(run + u"/pic/背景图片.jpg"_s);
    touch(run + u"/图片/0001@一号#社保.jpg"_s);
    touch(m_dir->filePath(u"secret.jpg"_s));
    touch(m_dir->filePath(u"media/kiosk/STICK/新/大厅.jpg"_s));
    QVERIFY(QFile::link(m_dir->filePath(u"secret.jpg"_s), run + u"/图片/0002@外#链.jpg"_s));
    RestrictedBrowser browser(
        RestrictedBrowser::standardRoots(run, run, {m_dir->filePath(u"media"_s)}),
        RestrictedBrowser::Mode::Pictures, {u"jpg"_s});
    RestrictedFileDialog dialog(browser, QString());
    dialog.show();

    QCOMPARE(dialog.RootButtons.size(), 3);
    QCOMPARE(dialog.RootButtons[2]->text(), u"U盘 STICK"_s);
    // No typed path, no folder making: the dialog has no edit box at all.
    QVERIFY(dialog.findChildren<QLineEdit *>().isEmpty());
    QTest::mouseClick(dialog.RootButtons[1], Qt::LeftButton);
    QCOMPARE(dialog.FileList->count(), 1);
    QCOMPARE(dialog.FileList->item(0)->text(), u"0001@一号#社保.jpg"_s);

    QTest::mouseClick(dialog.RootButtons[2], Qt::LeftButton);
    QVERIFY(!dialog.UpButton->isEnabled());
    QCOMPARE(dialog.FileList->item(0)->text(), u"文件夹：新"_s);
    QVERIFY(!dialog.ChooseButton->isEnabled());
    dialog.ListClick(0); // a tap opens the folder
    QVERIFY(dialog.UpButton->isEnabled());
    QCOMPARE(dialog.FileList->item(0)->text(), u"大厅.jpg"_s);
    dialog.ListClick(0);
    QVERIFY(dialog.ChooseButton->isEnabled());
    QVERIFY(!dialog.Preview->pixmap().isNull());
    QTest::mouseClick(dialog.ChooseButton, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosenPath(),
             QFileInfo(m_dir->filePath(u"media/kiosk/STICK/新/大厅.jpg"_s)).canonicalFilePath());
}

QTEST_MAIN(TestPinPad)
#include "tst_pinpad.moc"
