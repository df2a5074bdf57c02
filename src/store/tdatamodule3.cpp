#include "store/tdatamodule3.h"

#include "platform/error.h"

#include <QSqlQueryModel>

struct TDataModule3::Private
{
    QString path;
    QSqlQueryModel model;
};

TDataModule3::TDataModule3(const QString &workDir, QObject *parent) : QObject(parent), d(new Private)
{
    d->path = workDir + QStringLiteral("/db.dll");
}

TDataModule3::~TDataModule3()
{
    delete d;
}

void TDataModule3::OpenConnection() {}
void TDataModule3::OpenStartupQuery() {}
bool TDataModule3::isConnected() const { return false; }
void TDataModule3::Append(const EvaluationRecord &) { throw KioskError(QStringLiteral("not yet")); }
QSqlQueryModel *TDataModule3::DataSource1() const { return &d->model; }
void TDataModule3::OpenQuery(const QString &) {}
void TDataModule3::ExecuteStatement(const QString &) {}
QString TDataModule3::statement() const { return {}; }
bool TDataModule3::showsTableRows() const { return false; }
void TDataModule3::DeleteRow(int) {}
