#pragma once
// The four tables as the tests of writers working at once use them, in this
// process and in the helper process: the record of each that both writers read,
// what a form's save changes in it, and what is stored.

#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

#include "app/globals.h"
#include "dictionary.h"

namespace fourtables {

struct Table {
    const char* name;
    TableFile& (*file)();
    FileManager* (*access)();
    RelationManager* (*relate)();
    // What a save changes: a text field, and for a card its text as well.
    void (*edit)(const QString& tag);
};

inline const std::vector<Table>& tables() {
    static const std::vector<Table> t = {
        {"CONFIG", []() -> TableFile& { return CONFIG; }, [] { return Access_CONFIG; },
         [] { return Relate_CONFIG; }, [](const QString& tag) { CON.NAME = tag; }},
        {"RUBRIKA", []() -> TableFile& { return RUBRIKA; }, [] { return Access_RUBRIKA; },
         [] { return Relate_RUBRIKA; }, [](const QString& tag) { RUB.NAME1 = tag; }},
        {"ZAMETKA", []() -> TableFile& { return ZAMETKA; }, [] { return Access_ZAMETKA; },
         [] { return Relate_ZAMETKA; }, [](const QString& tag) { ZAM.ZAKLAD = tag; }},
        {"KALDOR", []() -> TableFile& { return KALDOR; }, [] { return Access_KALDOR; },
         [] { return Relate_KALDOR; },
         [](const QString& tag) {
             KAL.NAME = tag;
             KAL.ZAKON.setData((QStringLiteral("{\\rtf1 ") + tag + u'}').toUtf8());
         }},
    };
    return t;
}

inline void setBase() {
    PUT1 = "c:\\base1\\KALDOR.TPS";
    PUT2 = "c:\\base1\\ZAMETKA.TPS";
}

inline void openAll() {
    setBase();
    for (const Table& t : tables()) {
        t.relate()->SetOpenRelated();
        t.relate()->Open();
    }
}

inline void closeAll() {
    for (const Table& t : tables())
        t.relate()->Close();
}

// The first record of each table: a topic, its base, a card and its bookmark.
inline void addRecords() {
    Access_RUBRIKA->PrimeRecord();
    RUB.NAME1 = "Налоги";
    Access_RUBRIKA->Insert();
    Access_CONFIG->PrimeRecord();
    CON.ID = RUB.KOD;
    CON.NAME = "Налоговый кодекс";
    CON.PATH = "c:\\base1\\";
    Access_CONFIG->Insert();
    Access_KALDOR->PrimeRecord();
    KAL.NAME = "Кодекс";
    KAL.ZAKON.setData("{\\rtf1 исходный текст}");
    Access_KALDOR->Insert();
    Access_ZAMETKA->PrimeRecord();
    ZAM.IDDOK = KAL.ID;
    ZAM.ZAKLAD = "ст. 1";
    Access_ZAMETKA->Insert();
}

// Every field and body of the buffer, as values.
inline QList<QByteArray> image(TableFile& f) {
    QList<QByteArray> out;
    for (const auto& field : f.fields())
        out << field.ref.get().toText().toUtf8();
    for (const auto& b : f.blobs())
        out << b.holder->data();
    return out;
}

// The record the writers share (record pointer 1) as stored now.
inline QList<QByteArray> stored(const Table& t) {
    GET(t.file(), 1);
    return ERRORCODE() == 0 ? image(t.file()) : QList<QByteArray>{};
}

// The record as a save with `tag` makes it from what is stored now.
inline QList<QByteArray> edited(const Table& t, const QString& tag) {
    GET(t.file(), 1);
    t.edit(tag);
    return image(t.file());
}

}  // namespace fourtables
