#include "store/record.h"

using namespace Qt::StringLiterals;

namespace grades {

QString word(int star)
{
    switch (star) {
    case 1:
        return u"非常不满意"_s;
    case 2:
        return u"不满意"_s;
    case 3:
        return u"一般"_s;
    case 4:
        return u"比较满意"_s;
    case 5:
        return u"非常满意"_s;
    default:
        return {};
    }
}

int points(int star)
{
    static constexpr int Points[] = {0, 30, 60, 80, 100};
    return (star >= 1 && star <= 5) ? Points[star - 1] : -1;
}

bool isBad(int star)
{
    return star == 1 || star == 2;
}

QStringList filterItems()
{
    return {u"不限制"_s, word(5), word(4), word(3), word(2), word(1)};
}

} // namespace grades
