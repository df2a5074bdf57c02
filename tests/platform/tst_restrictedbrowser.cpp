#include "platform/restrictedbrowser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

QStringList names(const QList<RestrictedBrowser::Entry> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out.append(e.isFolder ? e.name + u'/' : e.name);
    return out;
}

} // namespace

// A run folder with pic/ and 图片/, a media base with one stick, and a secret folder outside
// every place that links try to reach.
class TestRestrictedBrowser : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void standardRoots();
    void listing_data();
    void listing();
    void acceptable_data();
    void acceptable();
    void parentNeverLeavesTheRoot();
    void filterSuffixes_data();
    void filterSuffixes();

private:
    RestrictedBrowser browser(RestrictedBrowser::Mode mode) const;
    QString p(const QString &relative) const { return m_dir->filePath(relative); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRestrictedBrowser::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    touch(p(u"run/pic/背景图片.jpg"_s));
    touch(p(u"run/pic/xiangzuo.png"_s));
    touch(p(u"run/pic/notes.txt"_s));
    touch(p(u"run/pic/.hidden.jpg"_s));
    touch(p(u"run/图片/0001@一号窗口#社保.jpg"_s));
    touch(p(u"run/图片/sub/0002@二号#医保.JPG"_s));
    touch(p(u"run/opt.ini"_s));
    touch(p(u"media/kiosk/STICK/新背景.jpg"_s));
    touch(p(u"media/kiosk/STICK/深/更深/图.png"_s));
    touch(p(u"secret/shadow.jpg"_s));
    QVERIFY(QDir().mkpath(p(u"media/empty-user"_s)));
    // Links: one out of the places, one staying inside, one to the run folder's settings.
    QVERIFY(QFile::link(p(u"secret/shadow.jpg"_s), p(u"run/图片/0003@外#链.jpg"_s)));
    QVERIFY(QFile::link(p(u"secret"_s), p(u"run/图片/escape"_s)));
    QVERIFY(QFile::link(p(u"run/图片/0001@一号窗口#社保.jpg"_s), p(u"run/图片/0004@内#链.jpg"_s)));
    QVERIFY(QFile::link(p(u"run"_s), p(u"media/kiosk/STICK/run"_s)));
}

RestrictedBrowser TestRestrictedBrowser::browser(RestrictedBrowser::Mode mode) const
{
    return RestrictedBrowser(
        RestrictedBrowser::standardRoots(p(u"run"_s), p(u"run"_s), {p(u"media"_s)}), mode,
        {u"jpg"_s, u"png"_s});
}

void TestRestrictedBrowser::standardRoots()
{
    const auto roots =
        RestrictedBrowser::standardRoots(p(u"run"_s), p(u"run"_s), {p(u"media"_s), p(u"none"_s)});
    QStringList labels, paths;
    for (const auto &root : roots) {
        labels.append(root.label);
        paths.append(root.path);
    }
    QCOMPARE(labels, (QStringList{u"背景图片"_s, u"照片"_s, u"U盘 STICK"_s}));
    QCOMPARE(paths, (QStringList{p(u"run/pic"_s), p(u"run/图片"_s), p(u"media/kiosk/STICK"_s)}));
    // The same places to save into, named for what they are.
    QStringList exportLabels;
    for (const auto &root :
         RestrictedBrowser::exportRoots(p(u"run"_s), p(u"run"_s), {p(u"media"_s), p(u"none"_s)}))
        exportLabels.append(root.label + u'=' + root.path);
    QCOMPARE(exportLabels, (QStringList{u"本机背景图片文件夹="_s + p(u"run/pic"_s),
                                        u"本机照片文件夹="_s + p(u"run/图片"_s),
                                        u"U 盘 STICK="_s + p(u"media/kiosk/STICK"_s)}));

    // A missing photo folder is no place; a medium directly below the base is one.
    QVERIFY(QDir(p(u"run/图片"_s)).removeRecursively());
    touch(p(u"media2/USB/a.jpg"_s));
    const auto fewer = RestrictedBrowser::standardRoots(p(u"run"_s), p(u"run"_s), {p(u"media2"_s)});
    QCOMPARE(fewer.size(), 2);
    QCOMPARE(fewer.at(1).label, u"U盘 USB"_s);
}

void TestRestrictedBrowser::listing_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("expected");
    const int pics = int(RestrictedBrowser::Mode::Pictures);
    const int folders = int(RestrictedBrowser::Mode::Folders);
    QTest::newRow("pic: pictures only, no hidden")
        << pics << u"run/pic"_s << QStringList{u"xiangzuo.png"_s, u"背景图片.jpg"_s};
    QTest::newRow("photos: links out are not listed, links inside are")
        << pics << u"run/图片"_s
        << QStringList{u"sub/"_s, u"0001@一号窗口#社保.jpg"_s, u"0004@内#链.jpg"_s};
    QTest::newRow("sub folder, upper-case extension")
        << pics << u"run/图片/sub"_s << QStringList{u"0002@二号#医保.JPG"_s};
    QTest::newRow("stick: link back to the run folder is not listed")
        << pics << u"media/kiosk/STICK"_s << QStringList{u"深/"_s, u"新背景.jpg"_s};
    QTest::newRow("folders mode lists folders only")
        << folders << u"media/kiosk/STICK"_s << QStringList{u"深/"_s};
    QTest::newRow("outside every place") << pics << u"secret"_s << QStringList{};
    QTest::newRow("through a dot-dot") << pics << u"run/pic/../../secret"_s << QStringList{};
    QTest::newRow("through a link out") << pics << u"run/图片/escape"_s << QStringList{};
    QTest::newRow("run folder itself") << pics << u"run"_s << QStringList{};
}

void TestRestrictedBrowser::listing()
{
    QFETCH(int, mode);
    QFETCH(QString, folder);
    QFETCH(QStringList, expected);
    QCOMPARE(names(browser(RestrictedBrowser::Mode(mode)).list(p(folder))), expected);
}

void TestRestrictedBrowser::acceptable_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    const int pics = int(RestrictedBrowser::Mode::Pictures);
    const int folders = int(RestrictedBrowser::Mode::Folders);
    QTest::newRow("photo") << pics << u"run/图片/0001@一号窗口#社保.jpg"_s << true;
    QTest::newRow("picture on a stick") << pics << u"media/kiosk/STICK/深/更深/图.png"_s << true;
    QTest::newRow("link out of the photos") << pics << u"run/图片/0003@外#链.jpg"_s << false;
    QTest::newRow("file behind a linked folder")
        << pics << u"run/图片/escape/shadow.jpg"_s << false;
    QTest::newRow("dot-dot out") << pics << u"run/pic/../../secret/shadow.jpg"_s << false;
    QTest::newRow("settings file") << pics << u"run/opt.ini"_s << false;
    QTest::newRow("text file in a place") << pics << u"run/pic/notes.txt"_s << false;
    QTest::newRow("hidden picture") << pics << u"run/pic/.hidden.jpg"_s << false;
    QTest::newRow("folder in pictures mode") << pics << u"run/图片/sub"_s << false;
    QTest::newRow("missing file") << pics << u"run/pic/none.jpg"_s << false;
    QTest::newRow("stick folder") << folders << u"media/kiosk/STICK/深"_s << true;
    QTest::newRow("stick itself") << folders << u"media/kiosk/STICK"_s << true;
    QTest::newRow("media base") << folders << u"media"_s << false;
    QTest::newRow("file in folders mode") << folders << u"media/kiosk/STICK/新背景.jpg"_s << false;
    QTest::newRow("root of the file system") << folders << u"/"_s << false;
}

void TestRestrictedBrowser::acceptable()
{
    QFETCH(int, mode);
    QFETCH(QString, path);
    QFETCH(bool, ok);
    const QString full = path.startsWith(u'/') ? path : p(path);
    QCOMPARE(browser(RestrictedBrowser::Mode(mode)).acceptable(full), ok);
}

void TestRestrictedBrowser::parentNeverLeavesTheRoot()
{
    const RestrictedBrowser b = browser(RestrictedBrowser::Mode::Pictures);
    const QString deep = p(u"media/kiosk/STICK/深/更深"_s);
    QCOMPARE(b.parentOf(deep), QFileInfo(p(u"media/kiosk/STICK/深"_s)).canonicalFilePath());
    QCOMPARE(b.parentOf(p(u"media/kiosk/STICK/深"_s)),
             QFileInfo(p(u"media/kiosk/STICK"_s)).canonicalFilePath());
    QCOMPARE(b.parentOf(p(u"media/kiosk/STICK"_s)), QString());
    QCOMPARE(b.parentOf(p(u"run/pic"_s)), QString());
    QCOMPARE(b.parentOf(p(u"secret"_s)), QString());
}

void TestRestrictedBrowser::filterSuffixes_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("suffixes");
    QTest::newRow("jpeg filter") << u"JPEG 图像文件 (*.jpg)"_s << QStringList{u"jpg"_s};
    QTest::newRow("two patterns") << u"图片 (*.JPG *.png)"_s << QStringList{u"jpg"_s, u"png"_s};
    QTest::newRow("no pattern") << u"所有文件"_s << QStringList{};
}

void TestRestrictedBrowser::filterSuffixes()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, suffixes);
    QCOMPARE(RestrictedBrowser::suffixesOfFilter(filter), suffixes);
}

QTEST_APPLESS_MAIN(TestRestrictedBrowser)
#include "tst_restrictedbrowser.moc"
