#include "reports/reportstatements.h"

#include "store/statements.h"

using namespace Qt::StringLiterals;

namespace reports {

QString countsByNameStatement()
{
    return u"select 名称,综合评价,count(*) from 评价 where 日期>=? and 日期<=? "
           "group by 名称,综合评价"_s;
}

QString countsByDayStatement()
{
    // Grouped in the order of the (综合评价,日期) index, so no sorting is needed.
    return u"select 日期,综合评价,count(*) from 评价 where 日期>=? and 日期<=? "
           "group by 综合评价,日期"_s;
}

QString dailyCountsByNameStatement()
{
    return u"select 名称,综合评价,sum(数量) from 评价_日计 where 日期>=? and 日期<=? "
           "group by 名称,综合评价"_s;
}

QString dailyCountsByDayStatement()
{
    return u"select 日期,综合评价,sum(数量) from 评价_日计 where 日期>=? and 日期<=? "
           "group by 综合评价,日期"_s;
}

QString reasonCountsStatement(bool leaveOutRepeats)
{
    // Only bad ratings have reasons: the reasons table is walked and each rating looked up by
    // its rowid, which costs little beside the counts above.
    return u"select e.名称,r.原因,count(*) from 评价_原因 r join 评价 e on e.rowid = r.评价 "
           "where e.日期>=? and e.日期<=?"_s +
           (leaveOutRepeats
                ? u" and not exists (select 1 from 评价_疑似重复 m where m.评价号 = r.评价)"_s
                : QString()) +
           u" group by e.名称,r.原因"_s;
}

QString repeatMarksTableStatement()
{
    return statements::repeatMarksExist();
}

QString repeatsByNameStatement()
{
    return u"select 名称,综合评价,count(*) from 评价_疑似重复 where 日期>=? and 日期<=? "
           "group by 名称,综合评价"_s;
}

QString repeatsByDayStatement()
{
    return u"select 日期,综合评价,count(*) from 评价_疑似重复 where 日期>=? and 日期<=? "
           "group by 综合评价,日期"_s;
}

} // namespace reports
