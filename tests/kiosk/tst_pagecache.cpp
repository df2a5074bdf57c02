// The main window's page fill over the tile cache: what a visitor sees is always the files as
// they are on disk, and unchanged photos are not decoded again.
#include "kiosk/tform1.h"
#include "kiosk/tilecache.h"
#include "platform/gbk.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"
#include "support/pictures.h"
#include "support/recorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QRect Screen(0, 0, 1024, 768);

QColor centre(const PictureBox *box)
{
    return ::centre(box->picture().toImage());
}

} // namespace

class TestPageCache : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingServices> m_services;
    std::unique_ptr<TForm1> m_form;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    // Each write gets a modification time of its own, so a rewrite is a change even where the
    // file clock is too coarse to tell two writes apart.
    void writePhoto(int n, QColor color, QSize size = {200, 200})
    {
        const QString file = path(u"图片/"_s + photoName(n));
        QVERIFY(solid(size, color).save(file, "JPEG"));
        static int writes = 0;
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addSecs(++writes),
                              QFileDevice::FileModificationTime));
    }

    // Settings for 150 x 180 tiles, the arrows, and photos 1..count; the window created and
    // shown, its first paint done and the background preparation finished.
    TForm1 *shownForm(int count)
    {
        const QString ini = u"[canshu]\r\npic_width=150\r\npic_height=180\r\n"
                            "pic_zuoyoujiange=40\r\npic_shangxiajiange=100\r\n"
                            "pic_shangxiaxiuzheng=20\r\nbiaoti_top=30\r\nbiaoti_size=36\r\n"
                            "xiaobiaoti1=12\r\nxiaobiaoti2=10\r\n"_s;
        QFile f(path(u"opt.ini"_s));
        if (!f.open(QIODevice::WriteOnly))
            return nullptr;
        f.write(gbk::encode(ini));
        f.close();
        QDir(m_dir->path()).mkpath(u"pic"_s);
        QDir(m_dir->path()).mkpath(u"图片"_s);
        solid({55, 80}, Qt::yellow).save(path(u"pic/xiangzuo.png"_s), "PNG");
        solid({55, 80}, Qt::cyan).save(path(u"pic/xiangyou.png"_s), "PNG");
        solid({320, 240}, Qt::darkBlue).save(path(u"pic/背景图片.jpg"_s), "JPEG");
        for (int n = 1; n <= count; ++n)
            writePhoto(n, photoColor(n));

        m_form = std::make_unique<TForm1>(Screen);
        m_form->Timer1->stop();
        m_form->show();
        if (!QTest::qWaitForWindowExposed(m_form.get()))
            return nullptr;
        // The first paint, for certain, before the preparation it starts is waited for.
        m_form->repaint();
        settle();
        return m_form.get();
    }

    // Lets the first paint happen and the background preparation it starts run to its end.
    void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        tilecache::waitForPrefetch();
    }

    std::array<PictureBox *, 10> tiles() const
    {
        TForm1 *f = m_form.get();
        return {f->Image4, f->Image5,  f->Image6,  f->Image7,  f->Image8,
                f->Image9, f->Image10, f->Image11, f->Image12, f->Image13};
    }

    // The page shows photos 10·page+1 .. as stored in the colours given.
    void checkPage(int count, const QMap<int, QColor> &changed = {})
    {
        const int first = 10 * m_form->pageIndex;
        for (int k = 0; k < 10; ++k) {
            const int n = first + k + 1;
            const bool shown = n <= count;
            QCOMPARE(!tiles()[k]->isEmpty(), shown);
            if (shown)
                QVERIFY2(near(centre(tiles()[k]), changed.value(n, photoColor(n))),
                         qPrintable(u"photo %1"_s.arg(n)));
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_services = std::make_unique<RecordingServices>(m_dir->path(), m_dir->path());
        tilecache::waitForPrefetch();
        tilecache::shared().clear();
    }
    void cleanup()
    {
        m_form.reset();
        tilecache::waitForPrefetch();
        m_services.reset();
        m_dir.reset();
    }

    // Paging around three pages after the first paint: the other pages were prepared in the
    // background, so no turn decodes anything, and every turn shows the right photos.
    void unchangedPhotosAreNotDecodedAgain()
    {
        TForm1 *f = shownForm(25);
        QVERIFY(f);
        QCOMPARE(tilecache::shared().count(), 25);
        const int settled = tilecache::decodeCount();
        for (int turn = 0; turn < 6; ++turn) {
            QTest::mouseClick(turn % 3 == 2 ? f->Image1 : f->Image2, Qt::LeftButton);
            checkPage(25);
            settle();
        }
        QCOMPARE(tilecache::decodeCount(), settled);
        QCOMPARE(m_services->errors, QStringList());
    }

    // A photo changed on disk shows at the next fill, on the current page (refilled by an arrow
    // with a single page) and on a page prepared in the background before the change.
    void replacedPhotoShowsAtNextTurn_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("photo");
        QTest::newRow("current page, refilled") << 7 << 3;
        QTest::newRow("prepared next page") << 25 << 12;
    }
    void replacedPhotoShowsAtNextTurn()
    {
        QFETCH(int, count);
        QFETCH(int, photo);
        TForm1 *f = shownForm(count);
        QVERIFY(f);
        writePhoto(photo, Qt::black, {240, 200});
        const int before = tilecache::decodeCount();
        QTest::mouseClick(f->Image2, Qt::LeftButton);
        checkPage(count, {{photo, Qt::black}});
        QCOMPARE(tilecache::decodeCount() - before, 1);
    }

    // A photo removed from disk leaves its tile empty at the next fill, while its caption stays
    // (the catalogue was listed at start).
    void removedPhotoClearsItsTile()
    {
        TForm1 *f = shownForm(7);
        QVERIFY(f);
        QVERIFY(!f->Image6->isEmpty());
        QVERIFY(QFile::remove(path(u"图片/"_s + photoName(3))));
        QTest::mouseClick(f->Image2, Qt::LeftButton);
        QVERIFY(f->Image6->isEmpty());
        QCOMPARE(f->CnAALabel3->text(), u"窗口3"_s);
        QVERIFY(!f->Image5->isEmpty());
        QVERIFY(!f->Image7->isEmpty());
    }

    // Background work after the first paint puts pictures in the cache only: the tiles keep the
    // very pictures the fill gave them, even when a shown photo changes on disk meanwhile.
    void preparationNeverChangesThePage()
    {
        TForm1 *f = shownForm(25);
        QVERIFY(f);
        std::array<qint64, 10> keys;
        for (int k = 0; k < 10; ++k)
            keys[k] = tiles()[k]->picture().cacheKey();
        writePhoto(2, Qt::black, {240, 200});
        QTest::mouseClick(f->Image2, Qt::LeftButton); // page 2: preparation around it starts
        QTest::mouseClick(f->Image1, Qt::LeftButton); // back to page 1 with the new photo 2
        const qint64 changedKey = f->Image5->picture().cacheKey();
        QVERIFY(changedKey != keys[1]);
        for (int k = 0; k < 10; ++k)
            keys[k] = tiles()[k]->picture().cacheKey();
        settle();
        settle();
        for (int k = 0; k < 10; ++k)
            QCOMPARE(tiles()[k]->picture().cacheKey(), keys[k]);
        checkPage(25, {{2, Qt::black}});
    }
};

QTEST_MAIN(TestPageCache)
#include "tst_pagecache.moc"
