#pragma once

#include <QString>

class QSqlDatabase;

namespace store {

// Creates table 评价 with its four text fields, the indexes and planner statistics the
// statistics window relies on and the daily counts 评价_日计 the reports read (counted from the
// existing ratings when the table is new or a trigger of it was missing), in an open database, and
// sets the journal mode the kiosk relies on. Existing tables are kept; missing indexes are added
// and the statistics written anew. Throws KioskError with the engine's message on failure.
void createSchema(QSqlDatabase &db);

// Whether the database holds the daily counts 评价_日计 with all the triggers that keep them
// exact (a file made or brought up to date by the schema tool). Throws KioskError.
bool hasDailyCounts(QSqlDatabase &db);
// Deletes every rating of table 评价 and, when the file has them, the daily counts with them, in
// one transaction, without running the delete trigger row by row. Throws KioskError.
void deleteAllRatings(QSqlDatabase &db);

// Creates the database file at path with an empty table 评价, or brings an existing one up to
// date (indexes, planner statistics, journal mode). Throws KioskError on failure. Used by the
// kiosk-mkdb tool and by tests.
void createDatabaseFile(const QString &path);

} // namespace store
