#include "web/ranking.h"

namespace web {

QList<RankedName> rankWithMinimum(const QList<reports::Figures> &ranking, qint64 minimum)
{
    QList<RankedName> rows;
    for (const bool enough : {true, false}) {
        for (const reports::Figures &figures : ranking) {
            if ((figures.ratings >= minimum) == enough)
                rows.append({figures, int(rows.size()) + 1, enough});
        }
    }
    return rows;
}

} // namespace web
