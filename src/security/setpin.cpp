#include "security/setpin.h"

#include "config/settingsfile.h"
#include "platform/error.h"
#include "security/staffpin.h"

#include <QDir>

#include <csignal>
#include <cstdio>
#include <optional>

#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The terminal's settings while echo is off, so that an interrupt puts them back.
struct termios g_saved;
volatile std::sig_atomic_t g_echoOff = 0;

void restoreEcho()
{
    if (g_echoOff) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
        g_echoOff = 0;
    }
}

extern "C" void onInterrupt(int signal)
{
    restoreEcho();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

// One line of the standard input without its line end, or nothing at its end. On a terminal
// the typed digits are not echoed.
std::optional<QString> readSecretLine(const QString &prompt)
{
    print(stdout, prompt);
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    if (terminal && ::tcgetattr(STDIN_FILENO, &g_saved) == 0) {
        struct termios quiet = g_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= tcflag_t(ECHONL);
        g_echoOff = 1;
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
        std::signal(SIGHUP, onInterrupt);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    bool ended = false;
    for (;;) {
        const int c = std::fgetc(stdin);
        if (c == EOF) {
            ended = line.isEmpty();
            break;
        }
        if (c == '\n')
            break;
        // A PIN is short: whatever is typed beyond this is no PIN anyway.
        if (line.size() < 256)
            line.append(char(c));
    }
    restoreEcho();
    if (!terminal)
        print(stdout, u"\n"_s);
    if (ended)
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace

namespace setpin {

QString option()
{
    return u"--set-pin"_s;
}

int runOnTerminal(const QString &settingsDir)
{
    const SettingsFile settings(settingsDir);
    const QString shownPath = QDir::toNativeSeparators(settings.path());
    if (const auto unreadable = settings.unreadableReason()) {
        print(stderr, *unreadable + u"\n管理密码未更改。\n"_s);
        return 1;
    }
    NewPinEntry entry;
    while (!entry.done()) {
        const std::optional<QString> line = readSecretLine(entry.prompt() + u"："_s);
        if (!line) {
            print(stderr, u"没有读到管理密码，管理密码未更改。\n"_s);
            return 1;
        }
        const QString refusal = entry.submit(*line);
        if (!refusal.isEmpty()) {
            // A script gets one clear answer instead of a question it cannot see.
            print(stderr, refusal + u"。管理密码未更改，请重新运行 quorvel-kiosk --set-pin。\n"_s);
            return 1;
        }
    }
    try {
        settings.WriteSetting(staffpin::settingKey(), staffpin::makeHash(entry.pin()));
    } catch (const KioskError &e) {
        print(
            stderr,
            u"无法保存管理密码：%1。请以 root 身份或以评价软件的用户运行。管理密码未更改。\n"_s.arg(
                e.message()));
        return 1;
    }
    print(
        stdout,
        u"管理密码已设置（%1 中只保存它的散列值）。重新打开管理菜单时生效，无需重启软件。\n"_s.arg(
            shownPath));
    return 0;
}

} // namespace setpin
