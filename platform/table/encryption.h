#pragma once
// Encrypted table files: the key of a password and a file's salt, keying a
// connection, the salt of a new file, and telling an encrypted file from what is
// no table at all. Not for use outside platform/table.

#include <sqlite3.h>

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tbl {

// Every encrypted file has a random salt of its own, kept in its first bytes.
constexpr int kSaltSize = 16;

// The key of a password for a file with `salt` (PBKDF2 as the sqlcipher tool
// derives it from a passphrase), derived once per process and kept.
QByteArray derivedKey(const QString& password, const QByteArray& salt);
// Keys a connection with a derived key; `saltForNewFile` is the salt a new file
// is to be made with, empty for an existing file (whose salt SQLCipher reads).
bool keyConnection(sqlite3* db, const QByteArray& key, const QByteArray& saltForNewFile);
// A random salt for a new file (see setSaltSource); false when there are no
// random numbers to be had.
bool newSalt(QByteArray* salt);
// Whether a file with this first page and size can be an encrypted table.
bool looksEncrypted(const QByteArray& firstPage, std::int64_t fileSize);

}  // namespace tbl
