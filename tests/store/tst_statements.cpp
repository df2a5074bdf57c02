#include "store/statements.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The statement texts are compared with whole literal statements, written out as the statistics
// window must send them, so that any changed character shows.
class TestStatements : public QObject
{
    Q_OBJECT

private slots:
    void listing_data()
    {
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("gradeBox");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no filter")
            << u"不限制"_s << u"不限制"_s << u"2015-05-13"_s << u"2026-12-07"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where (日期>='2015-05-13' and "
               "日期<='2026-12-07') order by 名称,日期"_s;
        QTest::newRow("grade only")
            << u"不限制"_s << u"不满意"_s << u"2020-01-01"_s << u"2020-12-31"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((综合评价 like '%不满意%') and "
               "(日期>='2020-01-01' and 日期<='2020-12-31')) order by 名称,日期"_s;
        QTest::newRow("name only")
            << u"2号窗口"_s << u"不限制"_s << u"2020-01-01"_s << u"2020-12-31"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((名称 like '%2号窗口%') and "
               "(日期>='2020-01-01' and 日期<='2020-12-31')) order by 名称,日期"_s;
        QTest::newRow("worked example: name and grade")
            << u"1号窗口"_s << u"一般"_s << u"2015-05-13"_s << u"2026-12-07"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((综合评价 like '%一般%') and "
               "(名称 like '%1号窗口%') and (日期>='2015-05-13' and 日期<='2026-12-07')) order by "
               "名称,日期"_s;
        QTest::newRow("blanks around the name are trimmed")
            << u"  1号窗口\t"_s << u"不限制"_s << u"2015-05-13"_s << u"2026-12-07"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((名称 like '%1号窗口%') and "
               "(日期>='2015-05-13' and 日期<='2026-12-07')) order by 名称,日期"_s;
        QTest::newRow("leading blank before 不限制 applies the name filter")
            << u" 不限制"_s << u"不限制"_s << u"2015-05-13"_s << u"2026-12-07"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((名称 like '%不限制%') and "
               "(日期>='2015-05-13' and 日期<='2026-12-07')) order by 名称,日期"_s;
        QTest::newRow("single quote in the name is doubled")
            << u"O'Brien"_s << u"不限制"_s << u"2015-05-13"_s << u"2026-12-07"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((名称 like '%O''Brien%') and "
               "(日期>='2015-05-13' and 日期<='2026-12-07')) order by 名称,日期"_s;
        QTest::newRow("injection attempt stays inside the literal")
            << u"x') or 1=1 or ('"_s << u"一般"_s << u"2015-05-13"_s << u"2026-12-07"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((综合评价 like '%一般%') and "
               "(名称 like '%x'') or 1=1 or (''%') and (日期>='2015-05-13' and "
               "日期<='2026-12-07')) order by 名称,日期"_s;
        QTest::newRow("quotes in grade and dates are doubled")
            << u"不限制"_s << u"a'b"_s << u"2015'"_s << u"'2026"_s
            << u"select 名称,日期,时间,综合评价 from 评价 where ((综合评价 like '%a''b%') and "
               "(日期>='2015''' and 日期<='''2026')) order by 名称,日期"_s;
    }
    void listing()
    {
        QFETCH(QString, nameBox);
        QFETCH(QString, gradeBox);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, expected);
        QCOMPARE(statements::listing(nameBox, gradeBox, start, end), expected);
    }

    void count_data()
    {
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("gradeBox");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no filter")
            << u"不限制"_s << u"不限制"_s
            << u"select 名称,综合评价,count(综合评价) as 数量 from 评价 where "
               "(日期>='2015-05-13' and 日期<='2026-12-07') group by 名称,综合评价"_s;
        QTest::newRow("grade only")
            << u"不限制"_s << u"非常满意"_s
            << u"select 名称,综合评价,count(综合评价) as 数量 from 评价 where ((综合评价 like "
               "'%非常满意%') and (日期>='2015-05-13' and 日期<='2026-12-07')) group by "
               "名称,综合评价"_s;
        QTest::newRow("name only")
            << u"1号窗口"_s << u"不限制"_s
            << u"select 名称,综合评价,count(综合评价) as 数量 from 评价 where ((名称 like "
               "'%1号窗口%') and (日期>='2015-05-13' and 日期<='2026-12-07')) group by "
               "名称,综合评价"_s;
        QTest::newRow("name and grade")
            << u"1号窗口"_s << u"一般"_s
            << u"select 名称,综合评价,count(综合评价) as 数量 from 评价 where ((综合评价 like "
               "'%一般%') and (名称 like '%1号窗口%') and (日期>='2015-05-13' and "
               "日期<='2026-12-07')) group by 名称,综合评价"_s;
    }
    void count()
    {
        QFETCH(QString, nameBox);
        QFETCH(QString, gradeBox);
        QFETCH(QString, expected);
        QCOMPARE(statements::count(nameBox, gradeBox, u"2015-05-13"_s, u"2026-12-07"_s), expected);
    }

    void overall()
    {
        QCOMPARE(statements::overall(u"2015-05-13"_s, u"2026-12-07"_s),
                 u"select 综合评价,count(综合评价) as 数量 from 评价 where (日期>='2015-05-13' "
                 "and 日期<='2026-12-07') group by 综合评价"_s);
    }

    void fixedStatements()
    {
        QCOMPARE(statements::selectAll(), u"select * from 评价"_s);
        QCOMPARE(statements::deleteAll(), u"DELETE FROM 评价"_s);
    }

    void trimmedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unchanged") << u"1号窗口"_s << u"1号窗口"_s;
        QTest::newRow("blanks both sides") << u"  一般  "_s << u"一般"_s;
        QTest::newRow("tab, newline, carriage return") << u"\t\r\n一般\n"_s << u"一般"_s;
        QTest::newRow("other control characters") << u"\x01\x1f一般\x7f"_s << u"一般"_s;
        QTest::newRow("ideographic space") << u"\u3000一般\u3000"_s << u"一般"_s;
        QTest::newRow("inner blanks stay") << u" 张三  1号窗口 "_s << u"张三  1号窗口"_s;
        QTest::newRow("only blanks") << u" \t "_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void trimmedText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(statements::trimmedText(text), expected);
    }

    void quoted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no quote") << u"1号窗口"_s << u"1号窗口"_s;
        QTest::newRow("one quote") << u"a'b"_s << u"a''b"_s;
        QTest::newRow("two quotes in a row") << u"''"_s << u"''''"_s;
        QTest::newRow("wildcards untouched") << u"%_"_s << u"%_"_s;
        QTest::newRow("NUL dropped") << u"a"_s + QChar(0) + u"'b"_s << u"a''b"_s;
        QTest::newRow("lone surrogate replaced")
            << u"a"_s + QChar(0xD800) + u"b"_s + QChar(0xDC00) << u"a\uFFFDb\uFFFD"_s;
        QTest::newRow("surrogate pair kept") << u"😀'"_s << u"😀''"_s;
    }
    void quoted()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(statements::quoted(text), expected);
    }
};

QTEST_GUILESS_MAIN(TestStatements)
#include "tst_statements.moc"
