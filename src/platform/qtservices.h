#pragma once

#include "platform/platform.h"

// The production services: real message boxes, file dialog, process start and desktop shell.
class QtServices final : public platform::Services
{
public:
    QString exeDir() const override;
    QString workDir() const override;
    void message(QWidget *owner, const QString &text) override;
    void notice(QWidget *owner, const QString &text, int timeoutMs) override;
    void error(QWidget *owner, const QString &text) override;
    bool question(QWidget *owner, const QString &caption, const QString &text) override;
    bool confirm(QWidget *owner, const QString &text) override;
    QString openPicture(QWidget *owner, const QString &filter) override;
    QString chooseFolder(QWidget *owner, const QString &caption) override;
    void restart() override;
    bool openFolder(const QString &path) override;
    void quit() override;
    platform::ClockPtr clock() const override;
};

// Loads Qt's own Simplified Chinese texts (dialogs, edit menus) into the application.
void installChineseTranslations();
