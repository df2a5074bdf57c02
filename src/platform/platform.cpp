#include "platform/platform.h"

#include "platform/errortext.h"
#include "platform/guard.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace platform {

QString applicationTitle()
{
    return u"Quorvel评价系统"_s;
}

QString programDir()
{
    const QString dir = qEnvironmentVariable("QUORVEL_KIOSK_DIR");
    if (!dir.isEmpty())
        return QDir::cleanPath(QDir(dir).absolutePath());
    return QCoreApplication::applicationDirPath();
}

namespace {

// Used until the program installs its real services: no window, no process, no answers.
class HeadlessServices final : public Services
{
public:
    QString exeDir() const override { return programDir(); }
    QString workDir() const override { return QDir::currentPath(); }
    void message(QWidget *, const QString &text) override { qWarning("%s", qUtf8Printable(text)); }
    void error(QWidget *, const QString &text) override { qWarning("%s", qUtf8Printable(text)); }
    void notice(QWidget *, const QString &text, int) override
    {
        qWarning("%s", qUtf8Printable(text));
    }
    bool question(QWidget *, const QString &, const QString &) override { return false; }
    bool confirm(QWidget *, const QString &) override { return false; }
    QString openPicture(QWidget *, const QString &) override { return {}; }
    QString chooseFolder(QWidget *, const QString &) override { return {}; }
    void restart() override {}
    bool openFolder(const QString &) override { return false; }
    void quit() override { QCoreApplication::quit(); }
    ClockPtr clock() const override { return systemClock(); }
};

Services *g_services = nullptr;

QString joined(const QString &dir, const QString &relative)
{
    return QDir::cleanPath(dir + u'/' + relative);
}

} // namespace

Services &services()
{
    static HeadlessServices headless;
    return g_services ? *g_services : headless;
}

void useChineseLocale()
{
    QLocale::setDefault(
        QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China));
}

void setServices(Services *s)
{
    g_services = s;
}

QString exePath(const QString &relative)
{
    return joined(services().exeDir(), relative);
}

QString workPath(const QString &relative)
{
    return joined(services().workDir(), relative);
}

void reportError(QWidget *owner, const QString &message)
{
    try {
        // Engine messages get a Chinese explanation in front of them.
        services().error(owner, errortext::explained(message) + u'.');
    } catch (...) {
        // Nothing is left to tell the user with; the handler has ended either way.
    }
}

} // namespace platform
