#include "evaluation/rating.h"

#include "platform/error.h"

using namespace Qt::StringLiterals;

namespace rating {

EvaluationRecord makeRecord(const QString &name, const std::function<QDateTime()> &clock, int star,
                            const QStringList &reasons)
{
    EvaluationRecord record;
    record.name = name;
    record.date = clock().toString(u"yyyy-MM-dd"_s);
    record.time = clock().toString(u"hh:mm:ss"_s);
    record.grade = grades::word(star);
    if (record.grade.isEmpty())
        throw KioskError(u"未选择评价等级"_s);
    if (grades::isBad(star))
        record.reasons = reasons;
    return record;
}

} // namespace rating
