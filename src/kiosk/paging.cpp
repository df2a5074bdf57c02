#include "kiosk/paging.h"

#include <vector>

namespace paging {

int nextPage(int page, int pageCount)
{
    ++page;
    return page >= pageCount ? 0 : page;
}

int previousPage(int page, int pageCount)
{
    if (page >= 0)
        --page;
    return page < 0 ? pageCount - 1 : page;
}

qint64 tileBytes(QSize size)
{
    return qint64(size.width()) * size.height() * 4;
}

QList<tilecache::TileRequest> choosePrefetch(int current, int pageCount, qint64 budget,
                                             const PageTiles &pageTiles)
{
    qint64 room = budget;
    for (const tilecache::TileRequest &shown : pageTiles(current))
        room -= tileBytes(shown.size);
    std::vector<bool> planned(size_t(qMax(pageCount, 0)), false);
    if (current >= 0 && current < pageCount)
        planned[size_t(current)] = true;
    QList<tilecache::TileRequest> requests;
    for (int distance = 1; distance < pageCount && room > 0; ++distance) {
        for (const int step : {distance, -distance}) {
            const int page = (((current + step) % pageCount) + pageCount) % pageCount;
            if (planned[size_t(page)])
                continue;
            planned[size_t(page)] = true;
            for (const tilecache::TileRequest &request : pageTiles(page)) {
                if (request.path.isEmpty() || room <= 0)
                    continue;
                room -= tileBytes(request.size);
                requests.append(request);
            }
        }
    }
    return requests;
}

} // namespace paging
