#pragma once
// A small table of documents and the query items of the document list, for
// the query tests.

#include "query.h"
#include "table.h"

using namespace Qt::StringLiterals;

namespace qt {

inline LONG day(int y, int m, int d) {
    return rt::dayNumber(y, m, d);
}

struct Docs {
    struct Record {
        LONG ID = 0;
        STRING<120> NAME;
        STRING<12> NDOK;
        DATE UTVDATA;
        DATE VVODDATA;
        STRING<240> WORDKEY;
    } R;
    TableFile file{QStringLiteral("DOCS"), QStringLiteral("KAL"), Driver::TPS};
    KEY K1, K2;

    Docs() {
        file.addField(QStringLiteral("ID"), R.ID);
        file.addField(QStringLiteral("NAME"), R.NAME);
        file.addField(QStringLiteral("NDOK"), R.NDOK);
        file.addField(QStringLiteral("UTVDATA"), R.UTVDATA);
        file.addField(QStringLiteral("VVODDATA"), R.VVODDATA);
        file.addField(QStringLiteral("WORDKEY"), R.WORDKEY);
        K1 = file.addKey(QStringLiteral("KAL:K1"), QStringLiteral("по коду"), {ref(R.ID)},
                         KeyFlag::Unique | KeyFlag::Primary);
        K2 = file.addKey(QStringLiteral("KAL:K2"), QStringLiteral("по имени"), {ref(R.NAME)},
                         KeyFlag::NoCase);
        file.setFileName(QStringLiteral("c:\\q\\DOCS.TPS"));
        file.setCreate(true);
    }
    void add(LONG id, const QString& name, const QString& ndok, LONG utv, LONG vvod,
             const QString& words) {
        file.clearRecord();
        R.ID = id;
        R.NAME = name;
        R.NDOK = ndok;
        R.UTVDATA = utv;
        R.VVODDATA = vvod;
        R.WORDKEY = words;
        ADD(file);
    }
    // Seven documents: Cyrillic in both cases, Ё and Е, cards without dates.
    void fill() {
        LOGOUT(5, {&file});
        add(1, u"Закон о связи"_s, u"126-ФЗ"_s, day(2003, 7, 7), day(2004, 1, 1),
            u"связь, операторы"_s);
        add(2, u"ЗАКОН об образовании"_s, u"273-фз"_s, day(2012, 12, 29), day(2013, 9, 1),
            u"образование школа"_s);
        add(3, u"Приказ Минтруда"_s, u"п-15"_s, day(2020, 2, 1), 0, u"труд; охрана труда"_s);
        add(4, u"Ёлочные нормы"_s, u"Е-1"_s, 0, 0, u"ёлка|праздник"_s);
        add(5, u"елочные правила"_s, u"Е-2"_s, day(2020, 2, 1), day(2020, 3, 1), u"ель"_s);
        add(6, u"Положение о законе"_s, u"б/н"_s, day(1999, 12, 31), day(2000, 1, 1), u"закон"_s);
        add(7, u"law on trade"_s, u"L-7"_s, day(2021, 5, 5), day(2021, 6, 6), u"Trade"_s);
        COMMIT();
    }
};

// The items of the document list.
inline void addItems(lst::QueryClass& q) {
    q.AddItem(u"UPPER(KAL:wordkey)", u"Ключевая фраза", u"@s240", 1);
    q.AddItem(u"UPPER(KAL:ndok)", u"№ документа", u"@s12", 1);
    q.AddItem(u"UPPER(KAL:utvdata)", u"Дата утверждения", u"@d6.b", 1);
    q.AddItem(u"UPPER(KAL:vvoddata)", u"Дата ввода", u"@d6.b", 1);
    q.AddItem(u"UPPER(KAL:name)", u"Краткое наименование", u"@s120", 1);
}
enum { WORDS = 1, NDOK, UTV, VVOD, NAME };

}  // namespace qt
