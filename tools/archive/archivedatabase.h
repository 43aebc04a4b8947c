#ifndef ARCHIVEDATABASE_H
#define ARCHIVEDATABASE_H

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

class QSqlError;
class QSqlQuery;

// Where the archive lives: a SQLite file of one machine, or a PostgreSQL
// database that a depot's machines share.
struct ArchiveLocation
{
    enum Kind { SQLite, PostgreSQL };

    Kind kind = SQLite;
    QString path;     // SQLite: the file as the user named it
    QString host;     // PostgreSQL: host name, address or socket folder; empty: libpq's default
    int port = -1;
    QString user;     // empty: libpq's default
    QString name;     // the database
    QString options;  // libpq options from the address's query, "key=value;key=value"

    // For messages: the file, or the address as given (it never holds a password).
    QString text() const;

    // "postgresql://user@host[:port]/dbname[?key=value&...]" or a file path. An
    // empty one means the environment variable TERVALO_ARCHIVE and, without
    // it, defaultPath(). A password in the address is refused: it comes from
    // PGPASSWORD or ~/.pgpass, where libpq finds it, never from a command line.
    static bool parse(const QString &where, ArchiveLocation *location, QString *error);

    // "tervalo-archive.sqlite" in the application's local data folder, which is
    // the program's own when the organisation and application names are
    // "brenvik" and "tervalo"; empty when the system has no such folder.
    static QString defaultPath();
};

// One connection to the archive, made for the calling thread and removed when
// this object goes: a Qt SQL connection may only be used by the thread that
// made it, so an import on a worker thread opens one of its own. open() makes
// sure the database is an archive (or empty, when it may be created), never
// writes into anything else, and brings the schema up to the current version.
class ArchiveDatabase
{
public:
    enum Mode { MustExist, CreateIfMissing };

    ArchiveDatabase();
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase &) = delete;
    ArchiveDatabase &operator=(const ArchiveDatabase &) = delete;

    bool open(const ArchiveLocation &location, Mode mode, QString *error);
    // Only the connection, for work beside the archive (making a database on
    // a server, looking into a file): nothing is checked or created.
    bool connect(const ArchiveLocation &location, Mode mode, QString *error);
    const ArchiveLocation &location() const { return m_location; }
    ArchiveLocation::Kind kind() const { return m_location.kind; }
    QSqlDatabase &connection() { return m_db; }

    // A writer holds the database from the start of its transaction (SQLite:
    // BEGIN IMMEDIATE, waiting out another writer within the busy timeout). A
    // deferred transaction that reads first fails at its first write when
    // another process has written meanwhile, without waiting.
    bool begin(QString *error);
    bool commit(QString *error);
    void rollback();

    // Prepares and runs a statement with the values bound in order.
    bool exec(QSqlQuery &query, const QString &sql, const QVariantList &values, QString *error);
    // Prepares once, for a statement run many times with runPrepared().
    bool prepare(QSqlQuery &query, const QString &sql, QString *error);
    bool runPrepared(QSqlQuery &query, QString *error);

    // "<location>: <what>: <driver's text>"
    QString failure(const QString &what, const QString &detail) const;
    QString failure(const QSqlError &error) const;

    // The schema version this code writes and reads.
    static int schemaVersion();

private:
    bool openSQLite(Mode mode, QString *error);
    bool openPostgreSQL(QString *error);
    // The version of the archive's schema; 0 for a database holding nothing of
    // it. false for a database that holds something else or a newer archive.
    bool readVersion(int *version, bool *empty, QString *error);
    bool migrate(QString *error);
    bool useWal(QString *error);

    QString m_name;
    QSqlDatabase m_db;
    ArchiveLocation m_location;
};

#endif // ARCHIVEDATABASE_H
