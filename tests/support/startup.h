#pragma once

#include "kiosk/forms.h"
#include "support/recorder.h"
#include "support/runfolder.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QStringList>

#include <memory>

// The run folder of one start-up test and the recording services answering there. begin makes
// both; end releases the six start-up objects, the services and the folder (giving a database
// marked read-only its write bit back, so the folder can go).
struct StartupRun
{
    std::unique_ptr<runfolder::RunFolder> folder;
    std::unique_ptr<RecordingServices> rec;

    bool begin()
    {
        folder = std::make_unique<runfolder::RunFolder>();
        if (!folder->isValid())
            return false;
        rec = std::make_unique<RecordingServices>(folder->root(), folder->root());
        return true;
    }
    void end()
    {
        DestroyForms();
        rec.reset();
        if (folder)
            QFile::setPermissions(folder->db(), QFile::ReadOwner | QFile::WriteOwner);
        folder.reset();
    }
};

// Every row of model as text (its first columns columns; all of them when columns is -1),
// after fetching all there is.
inline QList<QStringList> allRows(QAbstractItemModel *model, int columns = -1)
{
    while (model->canFetchMore({}))
        model->fetchMore({});
    QList<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < (columns < 0 ? model->columnCount() : columns); ++c)
            row.append(model->index(r, c).data().toString());
        rows.append(row);
    }
    return rows;
}
