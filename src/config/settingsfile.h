#pragma once

#include "config/settingkeys.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Converts a settings value to a signed 32-bit whole number: leading blanks, an optional sign,
// then decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X". Nothing may
// follow the digits. Returns nothing when the text is not such a number.
std::optional<qint32> TryStrToInt(const QString &text);

// As TryStrToInt, but throws KioskError "'<text>' is not a valid integer value".
qint32 StrToInt(const QString &text);

// The profile format itself, on the file's bytes. profileValue gives the value of key in section
// "canshu" (or the section named; names without regard to case, first match wins), or nothing.
// withProfileValue gives the bytes with that key of "canshu" set, every other line left as it was.
std::optional<QString> profileValue(const QByteArray &content, const QString &key,
                                    const QString &section = QStringLiteral("canshu"));
QByteArray withProfileValue(const QByteArray &content, const QString &key, const QString &value);

// The title the main window shows while opt.ini holds no biaoti_wenzi (Setting::BiaotiWenzi).
QString BuiltInTitle();

// Accessor of section "canshu" of opt.ini in the executable's folder, with the semantics of
// the private-profile functions: names match without regard to case, a missing file, section
// or key reads as the key's own name, values are GBK on disk and cut at 2047 bytes, and a write
// keeps every other line of the file. It holds no values: every read goes to the file.
class SettingsFile
{
public:
    // Names exeDir/opt.ini. Neither reads nor creates the file.
    explicit SettingsFile(const QString &exeDir);

    const QString &path() const { return m_path; }

    // Why the file cannot be read although something is in its place (a folder, a file without
    // read permission bits, a file the system refuses to open), in Chinese with what to do; or
    // nothing when it can be read or is missing. Decided on the permission bits like db.dll, so
    // a privileged user is kept out of a file marked unreadable too.
    std::optional<QString> unreadableReason() const;

    // The value of key as text; the key's own name when there is none.
    QString ReadSetting(const QString &key) const;
    // The value of key as text, or nothing when the file, the section or the key is missing.
    std::optional<QString> ReadSettingIfPresent(const QString &key) const;
    // ReadSetting followed by StrToInt; throws KioskError on a value that is no whole number,
    // and with unreadableReason() when the file cannot be read.
    qint32 ReadSettingNumber(const QString &key) const;
    // The value of key in another section ("zhongxin"), or nothing when the file, the section
    // or the key is missing. Same rules as ReadSetting otherwise.
    std::optional<QString> ReadSectionValue(const QString &section, const QString &key) const;
    // Stores value under key, creating file, section and key as needed. The file is replaced
    // atomically, so a crash never leaves it half-written. Throws KioskError when the write is
    // refused (no write permission bits on the file, folder not writable, disk full).
    void WriteSetting(const QString &key, const QString &value) const;

    // The same, for a key of the table of settings.
    QString ReadSetting(Setting setting) const { return ReadSetting(keyName(setting)); }
    std::optional<QString> ReadSettingIfPresent(Setting setting) const
    {
        return ReadSettingIfPresent(keyName(setting));
    }
    qint32 ReadSettingNumber(Setting setting) const { return ReadSettingNumber(keyName(setting)); }
    void WriteSetting(Setting setting, const QString &value) const
    {
        WriteSetting(keyName(setting), value);
    }

    static constexpr qsizetype MaxValueBytes = 2047;

private:
    // The file's bytes, or nothing when it is missing or cannot be read.
    std::optional<QByteArray> contents() const;

    QString m_path;
};
