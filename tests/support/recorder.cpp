#include "support/recorder.h"

#include <QDir>

RecordingServices::RecordingServices(QString exeDir, QString workDir)
    : m_exeDir(exeDir.isEmpty() ? QDir::currentPath() : exeDir),
      m_workDir(workDir.isEmpty() ? m_exeDir : workDir)
{
    platform::setServices(this);
}

RecordingServices::~RecordingServices()
{
    platform::setServices(nullptr);
}

void RecordingServices::setDirs(const QString &exeDir, const QString &workDir)
{
    m_exeDir = exeDir;
    m_workDir = workDir;
}

void RecordingServices::message(QWidget *, const QString &text)
{
    messages.append(text);
    if (whileMessageOpen)
        whileMessageOpen(text);
}

void RecordingServices::notice(QWidget *owner, const QString &text, int timeoutMs)
{
    notices.append({text, timeoutMs});
    if (onNotice)
        onNotice(owner, text, timeoutMs);
}

QStringList RecordingServices::noticeTexts() const
{
    QStringList texts;
    for (const Notice &n : notices)
        texts.append(n.text);
    return texts;
}

void RecordingServices::error(QWidget *, const QString &text)
{
    errors.append(text);
}

bool RecordingServices::question(QWidget *, const QString &caption, const QString &text)
{
    questions.append({caption, text});
    return questionAnswers.isEmpty() ? defaultQuestionAnswer : questionAnswers.takeFirst();
}

bool RecordingServices::confirm(QWidget *, const QString &text)
{
    confirmations.append(text);
    return confirmAnswers.isEmpty() ? defaultConfirmAnswer : confirmAnswers.takeFirst();
}

QString RecordingServices::openPicture(QWidget *, const QString &filter)
{
    pictureFilters.append(filter);
    return pictureAnswers.isEmpty() ? QString() : pictureAnswers.takeFirst();
}

QString RecordingServices::chooseFolder(QWidget *, const QString &caption)
{
    folderCaptions.append(caption);
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

void RecordingServices::restart()
{
    ++restarts;
    ++quits;
}

bool RecordingServices::openFolder(const QString &path)
{
    openedFolders.append(path);
    return openFolderAnswers.isEmpty() ? defaultOpenFolderAnswer : openFolderAnswers.takeFirst();
}

void RecordingServices::quit()
{
    ++quits;
}

// Tests never read the real clock: a run at midnight or on new year's eve gives the same result
// as any other.
TestClock::TestClock(const QDateTime &at)
    : m_now(at.isValid() ? at : QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0)))
{
}

QDateTime TestClock::now() const
{
    const QMutexLocker lock(&m_mutex);
    return m_now;
}

void TestClock::set(const QDateTime &at)
{
    const QMutexLocker lock(&m_mutex);
    m_now = at;
}

platform::ClockPtr fixedClock(const QDateTime &at)
{
    return std::make_shared<const TestClock>(at);
}

void RecordingServices::clearRecords()
{
    messages.clear();
    notices.clear();
    errors.clear();
    questions.clear();
    confirmations.clear();
    pictureFilters.clear();
    openedFolders.clear();
    restarts = 0;
    quits = 0;
}
