#pragma once

#include <QString>
#include <QVariant>

class Database;

// Operators' passwords as salted slow hashes (Argon2id through libsodium), in the
// text form "$argon2id$v=19$m=...,t=...,p=...$salt$hash" that carries its own
// salt and costs.
class PasswordHash {
public:
    // A new hash of `password` (a fresh salt each time). Throws StoreError when
    // libsodium cannot work (no memory for the hash).
    static QString hash(const QString& password);
    // True when `password` is the one `stored` was made from.
    static bool verify(const QString& stored, const QString& password);
    // True for a value `hash` made; anything else is a password kept in clear.
    static bool isHash(const QString& stored);
    static bool isHash(const QVariant& stored) { return isHash(stored.toString()); }

    // The operator's rule for a stored value: a hash is verified, a clear value
    // compared exactly (an empty value takes an empty password).
    static bool matches(const QString& stored, const QString& password);

    // Every non-empty password of 操作员 still in clear is replaced by its hash (for
    // a server database: copied from a file, or written before passwords were
    // hashed). Runs in the caller's transaction when one is open.
    static int hashClearPasswords(Database& db);
    // For a copy of a file to a server, told of each table copied inside the copy's
    // transaction: the operators' passwords arrive hashed.
    static void hashOnCopy(Database& server, const QString& table);
};
