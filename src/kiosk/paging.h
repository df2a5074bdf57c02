#pragma once

#include "kiosk/tilecache.h"

#include <QList>

#include <functional>

// Page stepping of the main window's arrows and the choice of pages to prepare in the
// background. Pages are counted from 0.
namespace paging {

// The page after page (right arrow): the first page after the last one, and page 0 when there
// are no pages.
int nextPage(int page, int pageCount);
// The page before page (left arrow): the last page before the first one; -1 when there are no
// pages.
int previousPage(int page, int pageCount);

// The tile requests of one page: its ten tiles, an empty path where the page has no photo.
using PageTiles = std::function<QList<tilecache::TileRequest>(int page)>;

// Bytes a tile picture of that size takes in the cache.
qint64 tileBytes(QSize size);

// What to prepare in the background around page current: the pages nearest to it first (next,
// previous, the one after next, ...; wrapping around at both ends, each page once, current
// never), their photos in tile order, for as long as room lasts. room starts as budget less the
// ten tiles of the current page, so that preparing never pushes out what is shown.
QList<tilecache::TileRequest> choosePrefetch(int current, int pageCount, qint64 budget,
                                             const PageTiles &pageTiles);

} // namespace paging
