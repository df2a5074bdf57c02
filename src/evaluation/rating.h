#pragma once

#include "store/record.h"

#include <QDateTime>

#include <functional>

namespace rating {

// Builds the record a submit stores: the rated name as the dialog shows it, the date and the
// time from two readings of clock (date first, "yyyy-MM-dd" and "hh:mm:ss"), and the grade word
// of star, and for a bad rating (star 1 or 2) the reasons chosen (the others carry none). Throws
// KioskError "未选择评价等级" when star is no star from 1 to 5.
EvaluationRecord makeRecord(const QString &name, const std::function<QDateTime()> &clock, int star,
                            const QStringList &reasons = {});

} // namespace rating
