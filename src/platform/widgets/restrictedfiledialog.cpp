#include "platform/widgets/restrictedfiledialog.h"

#include "platform/guard.h"

#include <QDir>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QFont chooserFont(int pixels)
{
    QFont font;
    font.setFamilies({u"WenQuanYi Micro Hei"_s, u"SimHei"_s});
    font.setPixelSize(pixels);
    return font;
}

QPushButton *bigButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setFont(chooserFont(20));
    button->setMinimumSize(140, 56);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

RestrictedFileDialog::RestrictedFileDialog(RestrictedBrowser browser, const QString &caption,
                                           QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint),
      m_browser(std::move(browser))
{
    setObjectName(u"RestrictedFileDialog"_s);
    setWindowTitle(caption.isEmpty()
                       ? (m_browser.mode() == RestrictedBrowser::Mode::Pictures ? u"选择图片"_s
                                                                                : u"选择文件夹"_s)
                       : caption);
    setFont(chooserFont(18));

    auto *outer = new QVBoxLayout(this);
    auto *places = new QHBoxLayout;
    outer->addLayout(places);
    for (int i = 0; i < m_browser.roots().size(); ++i) {
        QPushButton *button = bigButton(u"Root%1"_s.arg(i), m_browser.roots().at(i).label, this);
        places->addWidget(button);
        RootButtons.append(button);
        connect(button, &QPushButton::clicked, this,
                [this, i] { platform::guarded(this, [this, i] { RootClick(i); }); });
    }
    places->addStretch();

    FolderLabel = new QLabel(this);
    FolderLabel->setObjectName(u"FolderLabel"_s);
    outer->addWidget(FolderLabel);

    auto *middle = new QHBoxLayout;
    outer->addLayout(middle, 1);
    FileList = new QListWidget(this);
    FileList->setObjectName(u"FileList"_s);
    FileList->setFont(chooserFont(22));
    FileList->setMinimumSize(460, 360);
    FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileList->setDragDropMode(QAbstractItemView::NoDragDrop);
    middle->addWidget(FileList, 1);
    Preview = new QLabel(this);
    Preview->setObjectName(u"Preview"_s);
    Preview->setFixedSize(260, 260);
    Preview->setAlignment(Qt::AlignCenter);
    Preview->setFrameShape(QFrame::StyledPanel);
    Preview->setVisible(m_browser.mode() == RestrictedBrowser::Mode::Pictures);
    middle->addWidget(Preview, 0, Qt::AlignTop);

    auto *buttons = new QHBoxLayout;
    outer->addLayout(buttons);
    UpButton = bigButton(u"UpButton"_s, u"上一级"_s, this);
    ChooseButton = bigButton(u"ChooseButton"_s, u"选择"_s, this);
    CancelButton = bigButton(u"CancelButton"_s, u"取消"_s, this);
    buttons->addWidget(UpButton);
    buttons->addStretch();
    buttons->addWidget(ChooseButton);
    buttons->addWidget(CancelButton);

    connect(FileList, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int row = FileList->row(item);
        platform::guarded(this, [this, row] { ListClick(row); });
    });
    connect(FileList, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const int row = FileList->row(item);
        platform::guarded(this, [this, row] { ListDoubleClick(row); });
    });
    connect(UpButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { UpClick(); }); });
    connect(ChooseButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { ChooseClick(); }); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    if (!m_browser.roots().isEmpty())
        RootClick(0);
    else
        FolderLabel->setText(u"没有可用的位置（请插入U盘）"_s);
    updateButtons();
    adjustSize();
}

void RestrictedFileDialog::showFolder(const QString &folder)
{
    if (!m_browser.contains(folder))
        return;
    m_folder = QFileInfo(folder).canonicalFilePath();
    m_entries = m_browser.list(m_folder);
    const int root = m_browser.rootOf(m_folder);
    const QString rootReal = QFileInfo(m_browser.roots().at(root).path).canonicalFilePath();
    const QString inside = QDir(rootReal).relativeFilePath(m_folder);
    FolderLabel->setText(m_browser.roots().at(root).label +
                         (inside == u"."_s ? QString() : u" / "_s + inside));
    const QSignalBlocker blocker(FileList);
    FileList->clear();
    for (const RestrictedBrowser::Entry &entry : m_entries)
        FileList->addItem(entry.isFolder ? u"文件夹：%1"_s.arg(entry.name) : entry.name);
    Preview->clear();
    updateButtons();
}

void RestrictedFileDialog::updateButtons()
{
    UpButton->setEnabled(!m_browser.parentOf(m_folder).isEmpty());
    if (m_browser.mode() == RestrictedBrowser::Mode::Folders) {
        ChooseButton->setEnabled(m_browser.acceptable(m_folder));
        return;
    }
    const int row = FileList->currentRow();
    ChooseButton->setEnabled(row >= 0 && row < m_entries.size() && !m_entries[row].isFolder);
}

void RestrictedFileDialog::RootClick(int root)
{
    if (root < 0 || root >= m_browser.roots().size())
        return;
    showFolder(m_browser.roots().at(root).path);
}

void RestrictedFileDialog::ListClick(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    // One tap opens a folder: a touch screen has no double click.
    if (m_entries[row].isFolder) {
        showFolder(m_entries[row].path);
        return;
    }
    FileList->setCurrentRow(row);
    updateButtons();
    if (m_browser.mode() != RestrictedBrowser::Mode::Pictures)
        return;
    QImageReader reader(m_entries[row].path);
    const QSize full = reader.size();
    if (full.isValid())
        reader.setScaledSize(full.scaled(Preview->size(), Qt::KeepAspectRatio));
    const QImage image = reader.read();
    Preview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
}

void RestrictedFileDialog::ListDoubleClick(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    if (m_entries[row].isFolder)
        showFolder(m_entries[row].path);
    else
        ChooseClick();
}

void RestrictedFileDialog::UpClick()
{
    const QString up = m_browser.parentOf(m_folder);
    if (!up.isEmpty())
        showFolder(up);
}

void RestrictedFileDialog::ChooseClick()
{
    QString path;
    if (m_browser.mode() == RestrictedBrowser::Mode::Folders) {
        path = m_folder;
    } else {
        const int row = FileList->currentRow();
        if (row < 0 || row >= m_entries.size() || m_entries[row].isFolder)
            return;
        path = m_entries[row].path;
    }
    // Checked again at the moment of the choice: the file may have changed since it was listed.
    if (!m_browser.acceptable(path))
        return;
    m_chosen = path;
    accept();
}
