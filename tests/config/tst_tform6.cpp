#include "config/tform6.h"
#include "platform/widgets/labelededit.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "support/recorder.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTForm6 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    RecordingServices *m_services = nullptr;
    TForm6 *m_form = nullptr;

    QString photos() const { return m_dir->path() + u"/图片"_s; }
    static void writePicture(const QString &path, const QColor &colour, const char *format = "JPEG")
    {
        QImage image(24, 32, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY2(image.save(path, format), qPrintable(path));
    }
    void addPhoto(const QString &name, const QColor &colour = Qt::red, const char *format = "JPEG")
    {
        writePicture(photos() + u'/' + name, colour, format);
    }
    static QByteArray content(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QStringList filesIn(const QString &dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < m_form->ListBox1->count(); ++i)
            names << m_form->ListBox1->item(i)->text();
        return names;
    }
    QStringList boxes() const
    {
        return {m_form->LabeledEdit3->text(), m_form->LabeledEdit1->text(),
                m_form->LabeledEdit2->text()};
    }
    // A pointer or key selection of the entry with that name.
    void select(const QString &name)
    {
        const QList<QListWidgetItem *> items = m_form->ListBox1->findItems(name, Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        m_form->ListBox1->setCurrentItem(items.first());
    }
    QRgb previewCentre() const
    {
        const QImage image = m_form->Image2->picture().toImage();
        return image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2);
    }
    static bool near(QRgb a, const QColor &b)
    {
        return qAbs(qRed(a) - b.red()) < 40 && qAbs(qGreen(a) - b.green()) < 40 &&
               qAbs(qBlue(a) - b.blue()) < 40;
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(photos()));
        m_services = new RecordingServices(m_dir->path(), m_dir->path());
        m_form = new TForm6;
    }
    void cleanup()
    {
        delete m_form;
        delete m_services;
        delete m_dir;
    }

    void showListsTheFolderAndSelectsTheFirst()
    {
        addPhoto(u"0002@二号窗口#医保业务.jpg"_s, Qt::blue);
        addPhoto(u"0001@一号窗口#社保业务.jpg"_s, Qt::green);
        addPhoto(u"0003@x#y.png"_s, Qt::red, "PNG");
        QFile(photos() + u"/Thumbs.db"_s).open(QIODevice::WriteOnly);
        QFile(photos() + u"/thumbs.db"_s).open(QIODevice::WriteOnly);
        QVERIFY(QDir(photos()).mkdir(u"0000@子#文件夹.jpg"_s));

        m_form->show();
        QCOMPARE(listed(),
                 (QStringList{u"0001@一号窗口#社保业务.jpg"_s, u"0002@二号窗口#医保业务.jpg"_s,
                              u"0003@x#y.png"_s, u"thumbs.db"_s}));
        QCOMPARE(m_form->ListBox1->selectedItems().size(), 1);
        QCOMPARE(m_form->ListBox1->selectedItems().first()->text(),
                 u"0001@一号窗口#社保业务.jpg"_s);
        QCOMPARE(boxes(), (QStringList{u"0001"_s, u"一号窗口"_s, u"社保业务"_s}));
        QVERIFY(near(previewCentre(), Qt::green));

        // Selecting another entry by pointer or keys shows it.
        select(u"0003@x#y.png"_s);
        QCOMPARE(boxes(), (QStringList{u"0003"_s, u"x"_s, u"y"_s}));
        QVERIFY(near(previewCentre(), Qt::red));
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_services->errors.isEmpty());
    }

    void saveRenames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("shown"); // order, line 1, line 2
        QTest::addColumn<QString>("order");     // typed over the order box; empty: unchanged
        QTest::addColumn<QString>("renamed");
        QTest::newRow("new order number") << u"0012@一号窗口#社保业务.jpg"_s
                                          << QStringList{u"0012"_s, u"一号窗口"_s, u"社保业务"_s}
                                          << u"0003"_s << u"0003@一号窗口#社保业务.jpg"_s;
        QTest::newRow("name without order number")
            << u"一号窗口.jpg"_s << QStringList{u"一号"_s, QString(), u"一号窗口"_s} << QString()
            << u"一号@#一号窗口.jpg"_s;
        QTest::newRow("short order number")
            << u"12@AB#CD.jpg"_s << QStringList{u"12@A"_s, u"AB"_s, u"CD"_s} << QString()
            << u"12@A@AB#CD.jpg"_s;
        // A photo keeps its own extension, as the camera or phone wrote it.
        QTest::newRow("camera's .JPG") << u"0012@一号窗口#社保业务.JPG"_s
                                       << QStringList{u"0012"_s, u"一号窗口"_s, u"社保业务"_s}
                                       << u"0004"_s << u"0004@一号窗口#社保业务.JPG"_s;
        QTest::newRow(".jpeg") << u"0012@a#b.jpeg"_s << QStringList{u"0012"_s, u"a"_s, u"b"_s}
                               << u"0004"_s << u"0004@a#b.jpeg"_s;
        QTest::newRow(".png") << u"0012@a#b.png"_s << QStringList{u"0012"_s, u"a"_s, u"b"_s}
                              << u"0004"_s << u"0004@a#b.png"_s;
    }
    void saveRenames()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, shown);
        QFETCH(QString, order);
        QFETCH(QString, renamed);
        addPhoto(u"0001@甲#一.jpg"_s);
        addPhoto(u"0005@乙#二.jpg"_s);
        addPhoto(name, Qt::blue, name.endsWith(u".png"_s, Qt::CaseInsensitive) ? "PNG" : "JPEG");
        const QByteArray bytes = content(photos() + u'/' + name);

        m_form->show();
        select(name);
        QCOMPARE(boxes(), shown);
        if (!order.isEmpty())
            m_form->LabeledEdit3->setText(order);
        m_form->findChild<RzButton *>(u"RzButton1"_s)->click();

        QStringList expected{u"0001@甲#一.jpg"_s, u"0005@乙#二.jpg"_s, renamed};
        expected.sort(Qt::CaseInsensitive);
        QCOMPARE(filesIn(photos()), expected);
        QCOMPARE(content(photos() + u'/' + renamed), bytes);
        // The list shows the new name in the folder's order, nothing selected, boxes as they were.
        QCOMPARE(listed(), expected);
        QVERIFY(m_form->ListBox1->selectedItems().isEmpty());
        QCOMPARE(m_form->LabeledEdit1->text(), shown[1]);
        QVERIFY(near(previewCentre(), Qt::blue));
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_services->errors.isEmpty());

        // A second save without a new selection does nothing.
        m_form->LabeledEdit3->setText(u"0099"_s);
        m_form->RzButton1Click();
        QCOMPARE(filesIn(photos()), expected);
    }

    void refusedRenameChangesNothing_data()
    {
        QTest::addColumn<int>("box"); // 3 order, 1 line 1, 2 line 2
        QTest::addColumn<QString>("text");
        QTest::newRow("target exists") << 3 << u"0001"_s;
        QTest::newRow("slash in caption 1") << 1 << u"子/目录"_s;
        QTest::newRow("parent folder in caption 2") << 2 << u"/../../x"_s;
        QTest::newRow("backslash in caption 1") << 1 << u"a\\b"_s;
    }
    void refusedRenameChangesNothing()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        addPhoto(u"0001@甲#一.jpg"_s, Qt::green);
        addPhoto(u"0002@甲#一.jpg"_s, Qt::blue);
        QVERIFY(QDir(photos()).mkpath(u"0002@子"_s));
        const QByteArray first = content(photos() + u"/0001@甲#一.jpg"_s);
        const QByteArray second = content(photos() + u"/0002@甲#一.jpg"_s);

        m_form->show();
        select(u"0002@甲#一.jpg"_s);
        LabeledEdit *edits[] = {nullptr, m_form->LabeledEdit1, m_form->LabeledEdit2,
                                m_form->LabeledEdit3};
        edits[box]->setText(text);
        m_form->RzButton1Click();

        QCOMPARE(filesIn(photos()), (QStringList{u"0001@甲#一.jpg"_s, u"0002@甲#一.jpg"_s}));
        QCOMPARE(content(photos() + u"/0001@甲#一.jpg"_s), first);
        QCOMPARE(content(photos() + u"/0002@甲#一.jpg"_s), second);
        QVERIFY(filesIn(photos() + u"/0002@子"_s).isEmpty());
        QCOMPARE(filesIn(m_dir->path()), QStringList());
        QCOMPARE(listed(), (QStringList{u"0001@甲#一.jpg"_s, u"0002@甲#一.jpg"_s}));
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_services->errors.isEmpty());
    }

    void unloadableEntryKeepsThePreviousParts()
    {
        addPhoto(u"0001@甲#一.jpg"_s, Qt::green);
        addPhoto(u"0002@乙#二.jpg"_s, Qt::blue, "PNG"); // PNG data named .jpg
        QFile text(photos() + u"/0003@丙#三.txt"_s);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("no picture");
        text.close();

        m_form->show();
        const QStringList first{u"0001"_s, u"甲"_s, u"一"_s};
        QCOMPARE(boxes(), first);
        select(u"0002@乙#二.jpg"_s);
        QCOMPARE(boxes(), first);
        QVERIFY(near(previewCentre(), Qt::green));
        select(u"0003@丙#三.txt"_s);
        QCOMPARE(boxes(), first);
        QVERIFY(near(previewCentre(), Qt::green));

        // Saving composes the first photo's name, which exists: nothing changes.
        m_form->RzButton1Click();
        QCOMPARE(filesIn(photos()),
                 (QStringList{u"0001@甲#一.jpg"_s, u"0002@乙#二.jpg"_s, u"0003@丙#三.txt"_s}));
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_services->errors.isEmpty());
    }

    void previewAndRenameUseTheWorkFolder()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        QVERIFY(QDir().mkpath(work.path() + u"/图片"_s));
        m_services->setDirs(m_dir->path(), work.path());
        addPhoto(u"0001@甲#一.jpg"_s, Qt::red);
        writePicture(work.path() + u"/图片/0001@甲#一.jpg"_s, Qt::blue);

        m_form->show();
        QVERIFY(near(previewCentre(), Qt::blue));
        m_form->LabeledEdit3->setText(u"0002"_s);
        m_form->RzButton1Click();
        QCOMPARE(filesIn(work.path() + u"/图片"_s), QStringList{u"0002@甲#一.jpg"_s});
        QCOMPARE(filesIn(photos()), QStringList{u"0001@甲#一.jpg"_s});
        QCOMPARE(listed(), QStringList{u"0001@甲#一.jpg"_s});
    }

    void emptyFolderIsAListIndexError_data()
    {
        QTest::addColumn<bool>("folderExists");
        QTest::newRow("empty folder") << true;
        QTest::newRow("missing folder") << false;
    }
    void emptyFolderIsAListIndexError()
    {
        QFETCH(bool, folderExists);
        QFile(photos() + u"/Thumbs.db"_s).open(QIODevice::WriteOnly);
        if (!folderExists)
            QVERIFY(QDir(photos()).removeRecursively());
        m_form->show();
        QCOMPARE(m_services->errors, QStringList{u"列表索引越界 (0)."_s});
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_form->isVisible());
        QCOMPARE(m_form->ListBox1->count(), 0);
        QVERIFY(m_form->Image2->isEmpty());
        QCOMPARE(boxes(), (QStringList{QString(), QString(), QString()}));
        m_form->RzButton1Click();
        QCOMPARE(m_services->errors.size(), 1);
    }

    void keyFilter_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("refused");
        const int none = Qt::NoModifier;
        QTest::newRow("digit") << int(Qt::Key_5) << none << u"12"_s << u"125"_s << false;
        QTest::newRow("letter") << int(Qt::Key_A) << none << u"12"_s << u"12"_s << true;
        QTest::newRow("minus") << int(Qt::Key_Minus) << none << u"12"_s << u"12"_s << true;
        QTest::newRow("blank") << int(Qt::Key_Space) << none << u"12"_s << u"12"_s << true;
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << none << u"12"_s << u"1"_s << false;
        QTest::newRow("enter") << int(Qt::Key_Return) << none << u"12"_s << u"12"_s << true;
        QTest::newRow("escape") << int(Qt::Key_Escape) << none << u"12"_s << u"12"_s << true;
        QTest::newRow("paste shortcut")
            << int(Qt::Key_V) << int(Qt::ControlModifier) << u"12"_s << u"12"_s << true;
        QTest::newRow("cut shortcut")
            << int(Qt::Key_X) << int(Qt::ControlModifier) << u"12"_s << u"12"_s << true;
        QTest::newRow("arrow") << int(Qt::Key_Left) << none << u"12"_s << u"12"_s << false;
        QTest::newRow("home") << int(Qt::Key_Home) << none << u"12"_s << u"12"_s << false;
        QTest::newRow("delete") << int(Qt::Key_Delete) << none << u"12"_s << u"12"_s << false;
        QTest::newRow("fifth digit") << int(Qt::Key_7) << none << u"1234"_s << u"1234"_s << false;
    }
    void keyFilter()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(bool, refused);
        QGuiApplication::clipboard()->setText(u"99"_s);
        m_form->show();
        LabeledEdit *box = m_form->LabeledEdit3;
        box->setText(before);
        box->selectAll();
        box->end(false);
        box->setFocus();
        QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(box->text(), after);
        QCOMPARE(m_services->messages,
                 refused ? QStringList{u"对不起，只能输入数字！"_s} : QStringList());
    }

    void keyFilterOnInputMethodText()
    {
        m_form->show();
        LabeledEdit *box = m_form->LabeledEdit3;
        box->setText(u"1"_s);
        box->setFocus();
        QInputMethodEvent typed;
        typed.setCommitString(u"2一"_s);
        QCoreApplication::sendEvent(box, &typed);
        QCOMPARE(box->text(), u"12"_s);
        QCOMPARE(m_services->messages, QStringList{u"对不起，只能输入数字！"_s});
    }

    // The preview keeps a photo's proportions: it covers the box and only the middle shows. A
    // photo of three bands (red, green, blue) across its long side shows green alone, where a
    // stretched one would show all three.
    void previewKeepsProportions_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("wide photo") << QSize(900, 120);
        QTest::newRow("tall photo") << QSize(120, 1500);
    }
    void previewKeepsProportions()
    {
        QFETCH(QSize, size);
        const bool wide = size.width() > size.height();
        QImage bands(size, QImage::Format_RGB32);
        const int third = (wide ? size.width() : size.height()) / 3;
        const QColor colours[3] = {Qt::red, Qt::green, Qt::blue};
        for (int b = 0; b < 3; ++b)
            QPainter(&bands).fillRect(wide ? QRect(b * third, 0, third, size.height())
                                           : QRect(0, b * third, size.width(), third),
                                      colours[b]);
        QVERIFY(bands.save(photos() + u"/0001@宽#窄.jpg"_s, "JPEG", 95));
        m_form->show();
        const QImage drawn = m_form->Image2->grab().toImage();
        QCOMPARE(drawn.size(), m_form->Image2->size());
        const int w = drawn.width(), h = drawn.height();
        for (const QPoint at : {QPoint(3, 3), QPoint(w / 2, h / 2), QPoint(w - 4, h - 4),
                                QPoint(3, h - 4), QPoint(w - 4, 3)})
            QVERIFY2(near(drawn.pixel(at), Qt::green),
                     qPrintable(u"%1,%2"_s.arg(at.x()).arg(at.y())));
    }

    // Rows and buttons for a finger, all inside the window and clear of the edit boxes.
    void fingerSizes()
    {
        for (int i = 1; i <= 3; ++i)
            addPhoto(u"000%1@a#b.jpg"_s.arg(i));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        QCOMPARE(m_form->ListBox1->count(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_form->ListBox1->visualItemRect(m_form->ListBox1->item(i)).height() >= 36);
        const QRect client(QPoint(0, 0), QSize(862, 473));
        for (RzButton *b : {m_form->RzButton1, m_form->RzButton2}) {
            QVERIFY2(b->height() >= 44, qPrintable(b->objectName()));
            QVERIFY(client.contains(b->geometry()));
            for (QWidget *edit : {static_cast<QWidget *>(m_form->LabeledEdit1),
                                  static_cast<QWidget *>(m_form->LabeledEdit2),
                                  static_cast<QWidget *>(m_form->LabeledEdit3)})
                QVERIFY(!b->geometry().intersects(edit->geometry()));
        }
        QVERIFY(!m_form->RzButton1->geometry().intersects(m_form->RzButton2->geometry()));
    }

    void closeRestarts()
    {
        addPhoto(u"0001@甲#一.jpg"_s);
        m_form->show();
        m_form->findChild<RzButton *>(u"RzButton2"_s)->click();
        QCOMPARE(m_services->restarts, 1);
        QCOMPARE(filesIn(photos()), QStringList{u"0001@甲#一.jpg"_s});
    }
};

QTEST_MAIN(TestTForm6)
#include "tst_tform6.moc"
