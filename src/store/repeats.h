#pragma once

#include <QString>

#include <optional>

// Suspected repeats (疑似重复): a rating of the same name at the same kiosk less than
// chongfu_miao seconds after the previous one. Every rating is stored all the same; the mark
// only keeps it out of the scores of the reports, which say how many they left out.
namespace repeats {

// The window when opt.ini has no chongfu_miao; 0 turns marking off.
constexpr int DefaultSeconds = 10;
// The longest window staff may set: a day.
constexpr int MaximumSeconds = 86400;

// Whether text is a value staff may store for chongfu_miao: a whole number from 0 to
// MaximumSeconds, blanks around it allowed.
bool isSecondsValue(const QString &text);
// The window from the setting's value: nothing (no such key) or a value that is no valid one
// gives DefaultSeconds.
int secondsSetting(const std::optional<QString> &value);

// Whether a rating stored at date and time ("yyyy-MM-dd", "hh:mm:ss") comes less than seconds
// after the previous rating of its name, stored at previousDate and previousTime. A previous
// rating later than this one (the clock was set back) or a text that is no time marks nothing,
// nor does a window of 0 or less.
bool isRepeat(const QString &previousDate, const QString &previousTime, const QString &date,
              const QString &time, int seconds);

} // namespace repeats
