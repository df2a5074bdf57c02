#pragma once

#include <QString>

// Every statement text the reports run on a ratings file, in one place.
namespace reports {

// The statement texts; each takes the first and the last day ("yyyy-MM-dd") as bound values.
QString countsByNameStatement();
QString countsByDayStatement();
// The same counts summed from the daily table 评价_日计, read instead when the file has it (see
// store::hasDailyCounts); same bound values, same columns.
QString dailyCountsByNameStatement();
QString dailyCountsByDayStatement();
// The marked suspected repeats of table 评价_疑似重复, grouped as the counts above, for taking
// them out; same bound values, same columns. The table exists once a rating was marked.
QString repeatMarksTableStatement();
QString repeatsByNameStatement();
QString repeatsByDayStatement();

// Per name and reason (名称, 原因, count) over the reasons 评价_原因 of the ratings in the range;
// same bound values. Read only when the file has the table (reasonsExist). With leaveOutRepeats
// (the file has table 评价_疑似重复) the reasons of marked suspected repeats are left out, as
// their grades are.
QString reasonCountsStatement(bool leaveOutRepeats);

} // namespace reports
