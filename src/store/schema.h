#pragma once

#include <QString>

class QSqlDatabase;

namespace store {

// Creates table 评价 with its four text fields, the indexes and planner statistics the
// statistics window relies on, in an open database, and sets the journal mode the kiosk relies
// on. Existing tables are kept; missing indexes are added and the statistics written anew. Throws
// KioskError with the engine's message on failure.
void createSchema(QSqlDatabase &db);

// Creates the database file at path with an empty table 评价, or brings an existing one up to
// date (indexes, planner statistics, journal mode). Throws KioskError on failure. Used by the
// kiosk-mkdb tool and by tests.
void createDatabaseFile(const QString &path);

} // namespace store
