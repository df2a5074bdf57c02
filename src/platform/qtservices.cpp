#include "platform/qtservices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Message boxes stay above the topmost kiosk windows.
void keepOnTop(QMessageBox &box)
{
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
}

// Picture preview beside the file list of the open dialog.
class PreviewFileDialog : public QFileDialog
{
public:
    PreviewFileDialog(QWidget *owner, const QString &filter)
        : QFileDialog(owner, QString(), QString(), filter)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFile);
        setWindowFlag(Qt::WindowStaysOnTopHint);
        m_preview = new QLabel(this);
        m_preview->setFixedSize(220, 220);
        m_preview->setAlignment(Qt::AlignCenter);
        m_preview->setFrameShape(QFrame::StyledPanel);
        if (auto *grid = qobject_cast<QGridLayout *>(layout()))
            grid->addWidget(m_preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
        connect(this, &QFileDialog::currentChanged, this, [this](const QString &path) {
            QImageReader reader(path);
            const QSize full = reader.size();
            if (full.isValid())
                reader.setScaledSize(full.scaled(m_preview->size(), Qt::KeepAspectRatio));
            const QImage image = reader.read();
            m_preview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
        });
    }

private:
    QLabel *m_preview = nullptr;
};

} // namespace

QString QtServices::exeDir() const
{
    return QCoreApplication::applicationDirPath();
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
    PreviewFileDialog dialog(owner, filter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(
        QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
}

QString QtServices::chooseFolder(QWidget *owner, const QString &caption)
{
    QFileDialog dialog(owner, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

void QtServices::restart()
{
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {}, QDir::currentPath());
    quit();
}

void QtServices::openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtServices::quit()
{
    // Honoured by the event loop once the current handler has returned.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

QDateTime QtServices::now() const
{
    return QDateTime::currentDateTime();
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
