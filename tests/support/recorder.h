#pragma once

#include "platform/platform.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QStringList>

#include <functional>
#include <memory>

// A clock for tests: shows a fixed moment (2026-12-08 10:00:00 unless told otherwise), never the
// real time; set() moves it. Safe to read on one thread while a test sets it on another.
class TestClock final : public platform::Clock
{
public:
    explicit TestClock(const QDateTime &at = {});
    QDateTime now() const override;
    void set(const QDateTime &at);

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
};

// A clock standing still at the moment given (by default the one of TestClock), for what a test
// makes without test services.
platform::ClockPtr fixedClock(const QDateTime &at = {});

// Stand-in for the platform services in tests: records every box, answers questions from a
// script and never blocks. Installs itself on construction and restores the previous services
// on destruction.
class RecordingServices final : public platform::Services
{
public:
    explicit RecordingServices(QString exeDir = {}, QString workDir = {});
    ~RecordingServices() override;

    QString exeDir() const override { return m_exeDir; }
    QString workDir() const override { return m_workDir; }
    void setDirs(const QString &exeDir, const QString &workDir);

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
    platform::ClockPtr clock() const override { return m_clock; }

    // What was shown, in order.
    QStringList messages;
    struct Notice
    {
        QString text;
        int timeoutMs = 0;
    };
    QList<Notice> notices;
    // The texts of the notices, in order.
    QStringList noticeTexts() const;
    QStringList errors;
    struct Question
    {
        QString caption, text;
    };
    QList<Question> questions;
    QStringList confirmations;
    QStringList pictureFilters;
    QStringList openedFolders;
    int restarts = 0;
    int quits = 0;

    // Scripted answers, taken from the front; when empty the default answer is given.
    QList<bool> questionAnswers;
    bool defaultQuestionAnswer = false;
    QList<bool> confirmAnswers;
    bool defaultConfirmAnswer = false;
    QStringList pictureAnswers; // empty string = cancel
    QStringList folderCaptions;
    QStringList folderAnswers;     // empty string = cancel
    QList<bool> openFolderAnswers; // whether a file manager started
    bool defaultOpenFolderAnswer = true;

    // What now() and clock() show from now on (the clock's default moment until set).
    void setNow(const QDateTime &at) { m_clock->set(at); }

    // Called while a plain message box would be open (to act "behind" the box), with its text.
    std::function<void(const QString &)> whileMessageOpen;
    // Called when a notice is shown, with its owner, text and timeout (the notice itself never
    // blocks).
    std::function<void(QWidget *, const QString &, int)> onNotice;

    // Forgets everything recorded so far.
    void clearRecords();

private:
    QString m_exeDir, m_workDir;
    std::shared_ptr<TestClock> m_clock = std::make_shared<TestClock>();
};
