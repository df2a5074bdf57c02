#pragma once

#include "platform/clock.h"

#include <QDateTime>
#include <QString>

class QWidget;

namespace platform {

// The application title: caption of every message and error box.
QString applicationTitle();

// Services the program takes from the operating system and the desktop. The production
// implementation shows real boxes and starts processes; tests install a recorder that
// answers questions from a script and never blocks.
class Services
{
public:
    virtual ~Services() = default;

    // Folder of the running executable (settings file, photo listing), with no trailing separator.
    virtual QString exeDir() const = 0;
    // The current directory: relative paths (assets, photos, the database) resolve against it.
    virtual QString workDir() const = 0;

    // Plain message box: application title as caption, the text, OK, no icon. Blocks until OK.
    virtual void message(QWidget *owner, const QString &text) = 0;
    // A large notice for a visitor (the thanks after a rating): a window captioned with the
    // application title, text and button readable from a distance and sized for a finger. It
    // closes by itself after timeoutMs or at a tap. Returns at once; nothing waits for it, so
    // every other window keeps answering taps while it shows.
    virtual void notice(QWidget *owner, const QString &text, int timeoutMs) = 0;
    // Toolkit-style error box: application title, error icon, OK. The text is shown as given.
    virtual void error(QWidget *owner, const QString &text) = 0;
    // Yes/No question box with question icon. True when the answer is Yes.
    virtual bool question(QWidget *owner, const QString &caption, const QString &text) = 0;
    // OK/Cancel confirmation (the grid's "Delete record?"). True on OK.
    virtual bool confirm(QWidget *owner, const QString &text) = 0;
    // File-open dialog with picture preview. Returns the chosen full path, or empty on cancel.
    virtual QString openPicture(QWidget *owner, const QString &filter) = 0;
    // Folder choice for files the program writes (report exports). Returns the chosen folder's
    // full path, or empty on cancel.
    virtual QString chooseFolder(QWidget *owner, const QString &caption) = 0;

    // Starts the program's own executable anew, detached, with its full path; the result is
    // not looked at. Then requests the end of this instance.
    virtual void restart() = 0;
    // Opens a folder in the desktop's file manager. True when a file manager was started, false
    // when the desktop has none for folders (or refused to start it).
    virtual bool openFolder(const QString &path) = 0;
    // Requests the end of the program; the event loop ends once the current handler returns.
    virtual void quit() = 0;

    // The local clock. Windows read it here; window-free objects are given clock() by their
    // maker and read only that.
    virtual ClockPtr clock() const = 0;
    QDateTime now() const { return clock()->now(); }
};

// The folder that stands for the executable's folder (opt.ini, the photo listing): the folder
// named by the environment variable QUORVEL_KIOSK_DIR when it is set and not empty (the
// installed package runs one program for the run folder under /var/lib), else the folder of
// the running executable.
QString programDir();

// The services in force. setServices does not take ownership; passing nullptr restores the
// production services.
Services &services();
void setServices(Services *services);

// Makes Simplified Chinese the default locale, so the toolkit's own widgets (the date pickers'
// calendars, number and date texts) speak Chinese whatever the machine's locale. Call once at
// start-up, before any window is created.
void useChineseLocale();

// exeDir() / workDir() joined with a relative path written with "/" separators.
QString exePath(const QString &relative);
QString workPath(const QString &relative);

} // namespace platform
