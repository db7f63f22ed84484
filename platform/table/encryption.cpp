#include "encryption.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <functional>
#include <map>
#include <mutex>

#include "driver.h"

namespace tbl {

namespace {

constexpr int kKdfIterations = 64000;  // what a passphrase gets from the sqlcipher tool

// The derived keys of encrypted files: the key derivation is slow on purpose and
// runs once per process for each file (salt) and password.
std::mutex gKeyLock;
std::map<QByteArray, QByteArray> gKeys;

std::mutex gSaltLock;
std::function<bool(QByteArray*)> gSaltSource;

}  // namespace

QByteArray derivedKey(const QString& password, const QByteArray& salt) {
    const QByteArray pw = password.toUtf8();
    const QByteArray id = pw + '\0' + salt;
    {
        std::lock_guard<std::mutex> l(gKeyLock);
        auto it = gKeys.find(id);
        if (it != gKeys.end())
            return it->second;
    }
    QByteArray key(32, '\0');
    PKCS5_PBKDF2_HMAC_SHA1(
        pw.constData(), pw.size(), reinterpret_cast<const unsigned char*>(salt.constData()),
        salt.size(), kKdfIterations, key.size(), reinterpret_cast<unsigned char*>(key.data()));
    std::lock_guard<std::mutex> l(gKeyLock);
    gKeys[id] = key;
    return key;
}

bool keyConnection(sqlite3* db, const QByteArray& key, const QByteArray& saltForNewFile) {
    const QByteArray sql = "PRAGMA key = \"x'" + key.toHex() + saltForNewFile.toHex() +
                           "'\"; PRAGMA cipher_page_size = " + QByteArray::number(kPageSize) + ";";
    return sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// An encrypted file is whole pages of what looks like random bytes; a text, a
// picture or a file of zeros under the table's name is not a table with another
// password but no table at all.
bool looksEncrypted(const QByteArray& firstPage, std::int64_t fileSize) {
    if (fileSize % kPageSize != 0)
        return false;
    bool seen[256] = {};
    int distinct = 0;
    for (const char ch : firstPage) {
        bool& s = seen[static_cast<unsigned char>(ch)];
        distinct += s ? 0 : 1;
        s = true;
    }
    return distinct >= 200;  // random bytes: about 256 in a page of 4096
}

bool newSalt(QByteArray* salt) {
    {
        std::lock_guard<std::mutex> l(gSaltLock);
        if (gSaltSource)
            return gSaltSource(salt);
    }
    return RAND_bytes(reinterpret_cast<unsigned char*>(salt->data()), int(salt->size())) == 1;
}

void setSaltSource(std::function<bool(QByteArray*)> source) {
    std::lock_guard<std::mutex> l(gSaltLock);
    gSaltSource = std::move(source);
}

}  // namespace tbl
