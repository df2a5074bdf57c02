#pragma once

#include "reports/figures.h"

#include <QList>

// The dashboard's ranking: names with fewer ratings than a minimum keep their counts but give
// up their place; they follow the others, in the report's own order among themselves.
namespace web {

struct RankedName
{
    reports::Figures figures;
    int rank = 0;       // 1, 2, ... across all rows, the short ones after the others
    bool enough = true; // false: shown as 样本不足
};

QList<RankedName> rankWithMinimum(const QList<reports::Figures> &ranking, qint64 minimum);

} // namespace web
