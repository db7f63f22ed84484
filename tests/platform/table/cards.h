#pragma once
// Two small tables for the driver's tests: cards with a body, and notes on cards.

#include <sqlite3.h>

#include <QFile>

#include "table.h"
#include "table_support.h"

struct Cards {
    struct Record {
        LONG ID = 0;
        DECIMAL<3> CODE;
        STRING<40> NAME;
        DATE DAY;
        CSTRING<20> NOTE;
        REAL RATE = 0;
        BYTE FLAG = 0;
        BLOB BODY;
    } R;
    TableFile file{QStringLiteral("CARDS"), QStringLiteral("CRD"), Driver::TPS};
    KEY K1, K2, K3, K4;

    explicit Cards(const QString& fileName, const QString& password = {}) {
        file.addField(QStringLiteral("ID"), R.ID);
        file.addField(QStringLiteral("CODE"), R.CODE);
        file.addField(QStringLiteral("NAME"), R.NAME);
        file.addField(QStringLiteral("DAY"), R.DAY);
        file.addField(QStringLiteral("NOTE"), R.NOTE);
        file.addField(QStringLiteral("RATE"), R.RATE);
        file.addField(QStringLiteral("FLAG"), R.FLAG);
        file.addBlob(QStringLiteral("BODY"), R.BODY);
        K1 = file.addKey(QStringLiteral("CRD:K1"), QStringLiteral("by id"), {ref(R.ID)},
                         KeyFlag::Unique | KeyFlag::Optional);
        K2 = file.addKey(QStringLiteral("CRD:K2"), QStringLiteral("by day"), {ref(R.DAY)},
                         KeyFlag::Optional);
        K3 = file.addKey(QStringLiteral("CRD:K3"), QStringLiteral("by name"), {ref(R.NAME)},
                         KeyFlag::NoCase);
        K4 = file.addKey(QStringLiteral("CRD:K4"), QStringLiteral("by code down"),
                         {ref(R.CODE), ref(R.ID)}, 0, {true, false});
        file.setFileName(fileName);
        file.setCreate(true);
        if (!password.isEmpty())
            file.setPassword(password);
    }
    void add(LONG id, const char* name, LONG day = 0, int code = 0) {
        file.clearRecord();
        R.ID = id;
        R.NAME = name;
        R.DAY = day;
        R.CODE = code;
        ADD(file);
    }
    // n cards with ids from `first` on, in one transaction: more than a list
    // reads on one connection. Their names share long beginnings, tie without
    // case, differ in Е and Ё only, hold other scripts, or are blank.
    void addMany(LONG first, int n) {
        static const char* words[] = {"О",     "внесении", "изменений", "в",     "Федеральный",
                                      "закон", "ЗАКОН",    "ёлка",      "елка",  "Ёлка",
                                      "12-ФЗ", "порядке",  "ΣΊΣΥΦΟΣ",   "straße"};
        LOGOUT(5, {&file});
        for (int i = 0; i < n; ++i) {
            file.clearRecord();
            R.ID = first + i;
            QString name;
            if (i % 97 != 0) {
                for (int w = 0; w < 2 + i % 5; ++w)
                    name += QString::fromUtf8(words[(i / (w + 1) + w * 5) % 14]) + u' ';
            }
            R.NAME = name;
            R.CODE = i % 7;
            R.DAY = i % 3 == 0 ? 0 : 70000 + i % 400;
            ADD(file);
        }
        COMMIT();
    }
};

struct Notes {
    struct Record {
        LONG ID = 0;
        LONG CARD = 0;
        STRING<30> TEXT;
    } R;
    TableFile file{QStringLiteral("NOTES"), QStringLiteral("NOT"), Driver::TPS};
    KEY K1, K2;

    explicit Notes(const QString& fileName) {
        file.addField(QStringLiteral("ID"), R.ID);
        file.addField(QStringLiteral("CARD"), R.CARD);
        file.addField(QStringLiteral("TEXT"), R.TEXT);
        K1 = file.addKey(QStringLiteral("NOT:K1"), QStringLiteral("by id"), {ref(R.ID)},
                         KeyFlag::Optional);
        K2 = file.addKey(QStringLiteral("NOT:K2"), QStringLiteral("by card"), {ref(R.CARD)},
                         KeyFlag::Optional);
        file.setFileName(fileName);
        file.setCreate(true);
    }
    void add(LONG id, LONG card, const char* text) {
        R.ID = id;
        R.CARD = card;
        R.TEXT = text;
        ADD(file);
    }
};

// Runs one query on a file with plain SQLite (no key) and gives the first column of
// the first row, or the error.
inline QString plainQuery(const QString& path, const char* sql, int* rc = nullptr) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* st = nullptr;
    int r = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    QString out;
    if (r == SQLITE_OK) {
        r = sqlite3_step(st);
        if (r == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    if (rc)
        *rc = r;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}
