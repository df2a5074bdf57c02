// Fuzzes the statistics statements with any box texts and dates: every statement keeps the shape
// of its fixed pieces (typed text stays inside its literal: each "'" in it is doubled), and it
// runs on the engine as one read that leaves the table unchanged.
#include "store/statements.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QSqlDatabase *g_db = nullptr;

[[noreturn]] void fail(const char *what, const QString &statement)
{
    std::fprintf(stderr, "%s\n%s\n", what, statement.toUtf8().constData());
    __builtin_trap();
}

// The statement with every literal replaced by '?', and the literals' contents (doubled quotes
// undone). Nothing when a literal is left open.
struct Parsed
{
    QString skeleton;
    QStringList literals;
};
std::optional<Parsed> parse(const QString &statement)
{
    Parsed p;
    qsizetype i = 0;
    while (i < statement.size()) {
        const QChar c = statement.at(i);
        if (c != u'\'') {
            p.skeleton += c;
            ++i;
            continue;
        }
        QString literal;
        ++i;
        for (;;) {
            if (i >= statement.size())
                return std::nullopt;
            if (statement.at(i) == u'\'') {
                if (i + 1 < statement.size() && statement.at(i + 1) == u'\'') {
                    literal += u'\'';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            literal += statement.at(i++);
        }
        p.skeleton += u"'?'"_s;
        p.literals.append(literal);
    }
    return p;
}

// Text from the fuzzer: UTF-8, or raw UTF-16 code units (lone surrogates, NUL and all).
QString text(FuzzedDataProvider &in)
{
    const bool raw = in.ConsumeBool();
    const std::string bytes = in.ConsumeRandomLengthString(256);
    if (!raw)
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    QString s;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        s += QChar(char16_t(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8)));
    return s;
}

// A box text: the "no restriction" word, a grade word, or anything.
QString boxText(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return u"不限制"_s;
    case 1:
        return u"不满意"_s;
    default:
        return text(in);
    }
}

QString date(FuzzedDataProvider &in)
{
    if (in.ConsumeBool())
        return text(in); // the pickers give dates, but the builder must not rely on it
    return u"%1-%2-%3"_s.arg(in.ConsumeIntegralInRange(1900, 2100))
        .arg(in.ConsumeIntegralInRange(1, 12), 2, 10, QChar(u'0'))
        .arg(in.ConsumeIntegralInRange(1, 31), 2, 10, QChar(u'0'));
}

qint64 number(const QString &statement)
{
    QSqlQuery q(*g_db);
    if (!q.exec(statement) || !q.next())
        fail("cannot read the table", statement);
    return q.value(0).toLongLong();
}

void runOnEngine(const QString &statement)
{
    const qint64 changes = number(u"select total_changes()"_s);
    {
        QSqlQuery q(*g_db);
        if (!q.prepare(statement))
            fail("statement does not prepare", statement);
        if (!q.exec()) {
            // Longer patterns than the engine matches are its error, reported to the user.
            if (!q.lastError().databaseText().contains(u"pattern too complex"_s))
                fail("statement fails", statement);
        }
        while (q.next()) {
        }
    }
    if (number(u"select total_changes()"_s) != changes ||
        number(u"select count(*) from 评价"_s) != 3)
        fail("statement changed the table", statement);
}

void check(const QString &statement, const QString &reference, qsizetype valueLiterals)
{
    const auto parsed = parse(statement);
    if (!parsed)
        fail("literal left open", statement);
    const auto expected = parse(reference);
    if (parsed->skeleton != expected->skeleton)
        fail("typed text changed the statement outside its literals", statement);
    for (const QString &literal : parsed->literals) {
        if (literal.contains(QChar(0)))
            fail("NUL inside a literal", statement);
    }
    if (parsed->literals.size() != expected->literals.size() ||
        parsed->literals.size() < valueLiterals)
        fail("wrong number of literals", statement);
    runOnEngine(statement);
}

// The plain text that the filter should hold: trimmed, and still the same text when it has no
// NUL and no half surrogate pair.
bool plain(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i).isNull() || s.at(i).isSurrogate())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fuzz"_s);
    db.setDatabaseName(u":memory:"_s);
    if (!db.open())
        __builtin_trap();
    QSqlQuery q(db);
    if (!q.exec(u"create table 评价 (名称 TEXT, 日期 TEXT, 时间 TEXT, 综合评价 TEXT)"_s) ||
        !q.exec(u"insert into 评价 values ('张三','2024-03-01','10:00:00','一般'),"
                "('O''Brien','2024-03-02','11:00:00','不满意'),"
                "('100%_','2024-03-03','12:00:00','非常不满意')"_s))
        __builtin_trap();
    g_db = &db;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString nameBox = boxText(in);
    const QString gradeBox = boxText(in);
    const QString start = date(in);
    const QString end = date(in);

    // The same statement with harmless values: its shape is what the fuzzed one must keep.
    const QString name = nameBox == u"不限制" ? nameBox : u"n"_s;
    const QString grade = gradeBox == u"不限制" ? gradeBox : u"g"_s;
    const QString d = u"2024-01-01"_s;

    const QString listing = statements::listing(nameBox, gradeBox, start, end);
    check(listing, statements::listing(name, grade, d, d), 2);
    check(statements::count(nameBox, gradeBox, start, end), statements::count(name, grade, d, d),
          2);
    check(statements::overall(start, end), statements::overall(d, d), 2);

    // The name's literal holds the trimmed name between the two wildcards.
    if (nameBox != u"不限制" && plain(nameBox)) {
        const auto parsed = parse(listing);
        const QString expected = u'%' + statements::trimmedText(nameBox) + u'%';
        if (!parsed->literals.contains(expected))
            fail("the name's literal is not the typed name", listing);
    }
    return 0;
}
