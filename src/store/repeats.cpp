#include "store/repeats.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace repeats {

namespace {

// The stored date and time as a moment on a clock without time zones, so that the difference
// is the one the two texts show (a change to or from summer time in between aside).
std::optional<QDateTime> moment(const QString &date, const QString &time)
{
    if (date.size() != 10 || time.size() != 8)
        return std::nullopt;
    const QDate d = QDate::fromString(date, u"yyyy-MM-dd"_s);
    const QTime t = QTime::fromString(time, u"hh:mm:ss"_s);
    if (!d.isValid() || !t.isValid())
        return std::nullopt;
    return QDateTime(d, t, Qt::UTC);
}

} // namespace

bool isSecondsValue(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 5)
        return false;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return t.toInt() <= MaximumSeconds;
}

int secondsSetting(const std::optional<QString> &value)
{
    if (!value || !isSecondsValue(*value))
        return DefaultSeconds;
    return value->trimmed().toInt();
}

bool isRepeat(const QString &previousDate, const QString &previousTime, const QString &date,
              const QString &time, int seconds)
{
    if (seconds <= 0)
        return false;
    const auto before = moment(previousDate, previousTime);
    const auto now = moment(date, time);
    if (!before || !now)
        return false;
    const qint64 gap = before->secsTo(*now);
    return gap >= 0 && gap < seconds;
}

} // namespace repeats
