#include "platform/qtservices.h"

#include "platform/widgets/form.h"
#include "platform/widgets/noticewindow.h"
#include "platform/widgets/restrictedfiledialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int TouchButtonWidth = 96;
constexpr int TouchButtonHeight = 44;

// Message boxes stay above the topmost kiosk windows, and their buttons are as large as the
// finger-sized buttons of the windows.
void keepOnTop(QMessageBox &box)
{
    for (QAbstractButton *button : box.buttons())
        button->setMinimumSize(TouchButtonWidth, TouchButtonHeight);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // A box without an owner is still a dialog of the main window, centred above it on Wayland.
    KioskForm::attachToMainWindow(&box);
}

} // namespace

QString QtServices::exeDir() const
{
    return platform::programDir();
}

QString QtServices::workDir() const
{
    return QDir::currentPath();
}

void QtServices::message(QWidget *owner, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, platform::applicationTitle(), text, QMessageBox::Ok,
                    owner);
    box.button(QMessageBox::Ok)->setText(u"确定"_s);
    keepOnTop(box);
    box.exec();
}

void QtServices::notice(QWidget *owner, const QString &text, int timeoutMs)
{
    NoticeWindow::show(owner, text, timeoutMs);
}

void QtServices::error(QWidget *owner, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, platform::applicationTitle(), text, QMessageBox::Ok,
                    owner);
    box.button(QMessageBox::Ok)->setText(u"确定"_s);
    keepOnTop(box);
    box.exec();
}

bool QtServices::question(QWidget *owner, const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    box.button(QMessageBox::Yes)->setText(u"是"_s);
    box.button(QMessageBox::No)->setText(u"否"_s);
    keepOnTop(box);
    return box.exec() == QMessageBox::Yes;
}

bool QtServices::confirm(QWidget *owner, const QString &text)
{
    QMessageBox box(QMessageBox::Question, platform::applicationTitle(), text,
                    QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.button(QMessageBox::Ok)->setText(u"确定"_s);
    box.button(QMessageBox::Cancel)->setText(u"取消"_s);
    keepOnTop(box);
    return box.exec() == QMessageBox::Ok;
}

QString QtServices::openPicture(QWidget *owner, const QString &filter)
{
    // Not the toolkit's general file dialog: only the places staff need can be browsed.
    QStringList suffixes = RestrictedBrowser::suffixesOfFilter(filter);
    if (suffixes.isEmpty())
        suffixes = {u"jpg"_s};
    RestrictedFileDialog dialog(
        RestrictedBrowser(RestrictedBrowser::standardRoots(workDir(), exeDir()),
                          RestrictedBrowser::Mode::Pictures, suffixes),
        QString(), owner);
    KioskForm::showCentredOnTop(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return QDir::toNativeSeparators(dialog.chosenPath());
}

QString QtServices::chooseFolder(QWidget *owner, const QString &caption)
{
    RestrictedFileDialog dialog(
        RestrictedBrowser(RestrictedBrowser::exportRoots(workDir(), exeDir()),
                          RestrictedBrowser::Mode::Folders),
        caption, owner);
    KioskForm::showCentredOnTop(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosenPath();
}

void QtServices::restart()
{
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {}, QDir::currentPath());
    quit();
}

bool QtServices::openFolder(const QString &path)
{
    // A folder that is not there cannot be shown, whatever the desktop would start for it.
    if (!QFileInfo(path).isDir())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtServices::quit()
{
    // Honoured by the event loop once the current handler has returned.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

platform::ClockPtr QtServices::clock() const
{
    return platform::systemClock();
}

void installChineseTranslations()
{
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString &name : {u"qtbase_zh_CN"_s, u"qt_zh_CN"_s}) {
        auto *translator = new QTranslator(qApp);
        if (translator->load(name, dir))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}
