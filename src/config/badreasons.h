#pragma once

#include "config/settingsfile.h"

#include <QString>
#include <QStringList>

#include <optional>

// The reasons a visitor may tap after a bad rating (one or two stars): setting chaping_yuanyin
// of opt.ini, the reasons one after another, separated by "|". An empty value offers none.
namespace badreasons {

// At most this many reasons, each at most MaxLength characters, so that they fit as finger-sized
// buttons under the stars.
constexpr int MaxReasons = 8;
constexpr int MaxLength = 8;

// 服务态度不好, 等候时间太长, 业务不熟练, 办事效率低, 没有一次办好, 其他.
QStringList defaults();

// Why text is no value staff may store, as a Chinese sentence; nothing when it is one. Refused:
// more than MaxReasons reasons, an empty reason (two "|" in a row, one at either end), a reason
// longer than MaxLength characters, the same reason twice, characters GBK cannot store.
std::optional<QString> refusal(const QString &text);

// The reasons of a value, each trimmed of blanks; empty for an empty value.
QStringList split(const QString &text);
// The value that stores reasons.
QString joined(const QStringList &reasons);

// The reasons to offer: those of opt.ini; the defaults while opt.ini has no chaping_yuanyin or
// holds one that refusal() would refuse (written by hand), so a visitor never sees a broken list.
QStringList offered(const SettingsFile &settings);

} // namespace badreasons
