// The production services a kiosk visitor meets: the notice (the thanks after a rating), large,
// captioned with the application title, closing by itself or at a tap, and never holding up the
// window behind it; and the photo folder command's answer for a folder that is not there.
#include "platform/platform.h"
#include "platform/qtservices.h"
#include "platform/widgets/noticewindow.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestNoticeWindow : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (NoticeWindow *open = NoticeWindow::current())
            open->close();
        QTRY_VERIFY(!NoticeWindow::current());
    }

    // The production service shows the notice and returns at once: no nested event loop.
    void serviceShowsAndReturns()
    {
        QtServices services;
        QWidget owner;
        owner.resize(400, 300);
        owner.show();
        services.notice(&owner, u"评价成功！谢谢。"_s, 3000);
        NoticeWindow *notice = NoticeWindow::current();
        QVERIFY(notice);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->windowTitle(), platform::applicationTitle());
        QCOMPARE(notice->parentWidget(), &owner);
        QCOMPARE(notice->textLabel()->text(), u"评价成功！谢谢。"_s);
        QCOMPARE(notice->closeTimer()->interval(), 3000);
        QVERIFY(notice->closeTimer()->isActive());
        QVERIFY(notice->windowFlags() & Qt::WindowStaysOnTopHint);
        // Readable from a distance, a button for a finger, and much larger than a plain box.
        QVERIFY(notice->textLabel()->font().pixelSize() >= 40);
        QVERIFY(notice->okButton()->height() >= 44);
        QVERIFY(notice->okButton()->width() >= 120);
        QVERIFY(notice->width() >= 600 && notice->height() >= 300);
        // The window behind keeps answering: a click on a button there goes through.
        auto *behind = new QPushButton(u"x"_s, &owner);
        behind->show();
        QSignalSpy clicked(behind, &QPushButton::clicked);
        QTest::mouseClick(behind, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(NoticeWindow::current());
    }

    // A photo folder that is not there is never reported as opened, so the kiosk keeps running.
    void missingFolderIsNotOpened()
    {
        QTemporaryDir dir;
        QtServices services;
        QVERIFY(!services.openFolder(dir.filePath(u"图片"_s) + u'/'));
    }

    void closes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("by itself after its time") << u"timeout"_s;
        QTest::newRow("tap on the text") << u"tap"_s;
        QTest::newRow("tap on the button") << u"button"_s;
        QTest::newRow("a newer notice") << u"replaced"_s;
    }
    void closes()
    {
        QFETCH(QString, how);
        const int timeout = how == u"timeout" ? 50 : 60000;
        QPointer<NoticeWindow> notice = NoticeWindow::show(nullptr, u"评价失败！"_s, timeout);
        QVERIFY(notice && notice->isVisible());
        if (how == u"tap")
            QTest::mouseClick(notice, Qt::LeftButton, {}, notice->textLabel()->geometry().center());
        else if (how == u"button")
            QTest::mouseClick(notice->okButton(), Qt::LeftButton);
        QPointer<NoticeWindow> newer;
        if (how == u"replaced")
            newer = NoticeWindow::show(nullptr, u"评价成功！谢谢。"_s, 60000);
        // Closed windows delete themselves.
        QTRY_VERIFY(!notice);
        QCOMPARE(NoticeWindow::current(), newer.data());
    }
};

QTEST_MAIN(TestNoticeWindow)
#include "tst_noticewindow.moc"
