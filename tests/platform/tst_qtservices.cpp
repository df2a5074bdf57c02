// The production boxes and choosers, answered from inside their own event loop: buttons a finger
// hits, and choosers that say what is being chosen.
#include "platform/qtservices.h"
#include "platform/widgets/restrictedfiledialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Runs ask, which opens a modal box; once the box is up, look reads it and closes it.
void whileOpen(const std::function<void()> &ask, const std::function<void(QWidget *)> &look)
{
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        QWidget *box = QApplication::activeModalWidget();
        // A chooser shown before its loop started is not registered as modal.
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!box && w->isVisible() && qobject_cast<QDialog *>(w))
                box = w;
        }
        seen = box != nullptr;
        if (box) {
            look(box);
            if (auto *dialog = qobject_cast<QDialog *>(box))
                dialog->reject();
        }
    });
    ask();
    QVERIFY(seen);
}

} // namespace

class TestQtServices : public QObject
{
    Q_OBJECT

private slots:
    void buttonsForAFinger_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("message") << u"message"_s;
        QTest::newRow("error") << u"error"_s;
        QTest::newRow("question") << u"question"_s;
        QTest::newRow("confirm") << u"confirm"_s;
    }
    void buttonsForAFinger()
    {
        QFETCH(QString, kind);
        QtServices services;
        QStringList heights;
        int lowest = 1000;
        whileOpen(
            [&] {
                if (kind == u"message"_s)
                    services.message(nullptr, u"保存成功！"_s);
                else if (kind == u"error"_s)
                    services.error(nullptr, u"无法读取评价数据。"_s);
                else if (kind == u"question"_s)
                    services.question(nullptr, u"提示"_s, u"确定退出软件？"_s);
                else
                    services.confirm(nullptr, u"删除记录？"_s);
            },
            [&](QWidget *box) {
                for (QAbstractButton *b : qobject_cast<QMessageBox *>(box)->buttons()) {
                    lowest = std::min(lowest, b->height());
                    heights << b->text() + u' ' + QString::number(b->height());
                }
            });
        QVERIFY2(lowest >= 44, qPrintable(heights.join(u", "_s)));
    }

    // The export chooser says it chooses where to save and what each place is; the picture
    // chooser keeps its own names.
    void chooserNames_data()
    {
        QTest::addColumn<bool>("folders");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("places");
        QTest::newRow("export folder") << true << u"选择导出位置"_s
                                       << QStringList{u"本机背景图片文件夹"_s, u"本机照片文件夹"_s};
        QTest::newRow("background picture")
            << false << u"选择图片"_s << QStringList{u"背景图片"_s, u"照片"_s};
    }
    void chooserNames()
    {
        QFETCH(bool, folders);
        QFETCH(QString, title);
        QFETCH(QStringList, places);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"pic"_s));
        QVERIFY(QDir(dir.path()).mkpath(u"图片"_s));
        qputenv("QUORVEL_KIOSK_DIR", QFile::encodeName(dir.path()));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        QtServices services;
        QString shownTitle, heading;
        QStringList shownPlaces;
        whileOpen(
            [&] {
                if (folders)
                    services.chooseFolder(nullptr, u"选择导出位置"_s);
                else
                    services.openPicture(nullptr, u"JPEG 图像文件 (*.jpg)|*.jpg"_s);
            },
            [&](QWidget *box) {
                auto *dialog = qobject_cast<RestrictedFileDialog *>(box);
                QVERIFY(dialog);
                shownTitle = dialog->windowTitle();
                for (QPushButton *b : dialog->RootButtons)
                    shownPlaces << b->text();
                heading = dialog->FolderLabel->text();
            });
        QDir::setCurrent(previous);
        qunsetenv("QUORVEL_KIOSK_DIR");
        QCOMPARE(shownTitle, title);
        QCOMPARE(shownPlaces.mid(0, 2), places);
        QCOMPARE(heading, places.first());
    }
};

QTEST_MAIN(TestQtServices)
#include "tst_qtservices.moc"
