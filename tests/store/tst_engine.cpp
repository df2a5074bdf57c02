#include "platform/error.h"
#include "store/engine.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QTest>

using namespace Qt::StringLiterals;

class TestEngine : public QObject
{
    Q_OBJECT

private:
    QSqlDatabase m_db;

private slots:
    void init()
    {
        m_db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"engine-test"_s);
        m_db.setDatabaseName(u":memory:"_s);
        QVERIFY(m_db.open());
        store::run(m_db, u"create table t (a text)"_s);
    }
    void cleanup()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"engine-test"_s);
    }

    // The engine's own words come first; an error without any text still reads as one.
    void message_data()
    {
        QTest::addColumn<QString>("driverText");
        QTest::addColumn<QString>("databaseText");
        QTest::addColumn<QString>("message");
        QTest::newRow("engine's text")
            << u"Unable to execute statement"_s << u"no such table: x"_s << u"no such table: x"_s;
        QTest::newRow("driver's text only")
            << u"Driver not loaded"_s << QString() << u"Driver not loaded"_s;
        QTest::newRow("no text at all") << QString() << QString() << u"unknown database error"_s;
    }
    void message()
    {
        QFETCH(QString, driverText);
        QFETCH(QString, databaseText);
        QFETCH(QString, message);
        QCOMPARE(store::engineMessage(QSqlError(driverText, databaseText)), message);
    }

    void statements_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QVariant>("first"); // invalid: no row
        QTest::addColumn<QString>("error");  // empty: runs
        QTest::newRow("one value") << u"select 'x' || 1"_s << QVariant(u"x1"_s) << QString();
        QTest::newRow("no row") << u"select a from t"_s << QVariant() << QString();
        QTest::newRow("syntax error")
            << u"selec 1"_s << QVariant() << u"near \"selec\": syntax error"_s;
        QTest::newRow("missing table")
            << u"select * from 评价"_s << QVariant() << u"no such table: 评价"_s;
    }
    void statements()
    {
        QFETCH(QString, statement);
        QFETCH(QVariant, first);
        QFETCH(QString, error);
        for (const bool valueWanted : {true, false}) {
            try {
                if (valueWanted)
                    QCOMPARE(store::firstValue(m_db, statement), first);
                else
                    store::run(m_db, statement);
                QVERIFY2(error.isEmpty(), "a failing statement passed");
            } catch (const KioskError &e) {
                QCOMPARE(e.message(), error);
            }
        }
    }

    // firstValue finishes its statement: the table can be written right after it.
    void firstValueHoldsNoRead()
    {
        store::run(m_db, u"insert into t values ('a'), ('b')"_s);
        QCOMPARE(store::firstValue(m_db, u"select a from t order by a"_s), QVariant(u"a"_s));
        store::run(m_db, u"drop table t"_s);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
