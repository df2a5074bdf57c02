#pragma once

#include "platform/restrictedbrowser.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

// The kiosk's own file chooser: a button per place (RestrictedBrowser roots), the current
// folder's contents in a large list, a picture preview, 上一级 (up, never above the place),
// 选择 and 取消. There is no typed path, no new folder, no rename and no delete, and nothing
// outside the places can be reached. In Pictures mode a picture is chosen, in Folders mode the
// folder being shown.
class RestrictedFileDialog : public QDialog
{
    Q_OBJECT
public:
    RestrictedFileDialog(RestrictedBrowser browser, const QString &caption,
                         QWidget *parent = nullptr);

    // The chosen path once accepted, else empty.
    QString chosenPath() const { return m_chosen; }
    QString currentFolder() const { return m_folder; }

    // Event handlers (the tests call them as a tap would).
    void RootClick(int root);
    void ListClick(int row);
    void ListDoubleClick(int row);
    void UpClick();
    void ChooseClick();

    QList<QPushButton *> RootButtons;
    QListWidget *FileList = nullptr;
    QLabel *FolderLabel = nullptr;
    QLabel *Preview = nullptr;
    QPushButton *UpButton = nullptr;
    QPushButton *ChooseButton = nullptr;
    QPushButton *CancelButton = nullptr;

private:
    void showFolder(const QString &folder);
    void updateButtons();

    RestrictedBrowser m_browser;
    QList<RestrictedBrowser::Entry> m_entries;
    QString m_folder;
    QString m_chosen;
};
