#pragma once

#include <QString>

// Every statement text the program issues, in one place.
namespace statements {

// "select * from 评价"
QString selectAll();
// "DELETE FROM 评价"
QString deleteAll();

// Removes leading and trailing blanks and control characters, as the statistics window and the
// picture editing window trim what was typed.
QString trimmedText(const QString &text);

// Makes text safe inside a single-quoted literal: each "'" is doubled, so typed text can never
// end the literal. "%" and "_" keep their LIKE meaning.
QString quoted(const QString &text);

// The statistics window's listing ("查  询") and count ("统  计") statements. nameBox and
// gradeBox are the boxes' untrimmed texts: a filter applies unless its text is exactly
// "不限制"; the values in the statement are trimmed and quoted. Dates are "yyyy-MM-dd".
QString listing(const QString &nameBox, const QString &gradeBox, const QString &startDate,
                const QString &endDate);
QString count(const QString &nameBox, const QString &gradeBox, const QString &startDate,
              const QString &endDate);
// The overall satisfaction ("综合满意度") statement over the date range alone.
QString overall(const QString &startDate, const QString &endDate);

} // namespace statements
