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

// Refuses a database file beside the write-ahead log of another one: path-wal holds pages that
// never reached their own file (a kiosk killed within a second of a rating) while path is missing
// or was made after the log was last written (staff moved the old file away and put or made a
// new one there). Opening would replay the other file's pages into this one and creating the
// file would delete them. Throws KioskError with a Chinese message that says what to do.
void checkNoForeignLog(const QString &path);

// Creates the database file at path with an empty table 评价, or brings an existing one up to
// date (indexes, planner statistics, journal mode). Refuses a new file beside the log of another
// one (checkNoForeignLog). Throws KioskError on failure. Used by the kiosk-mkdb tool and by tests.
void createDatabaseFile(const QString &path);

} // namespace store
