#include "doclist_support.h"

#include <thread>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"

namespace doclist {

QByteArray rtfOf(const QString& text) {
    QByteArray out =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\f0\\fs24 ";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            out += "\\par\n";
        else if (u == u'\\' || u == u'{' || u == u'}')
            out += '\\' + char(u);
        else if (u < 0x80)
            out += char(u);
        else
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
    }
    out += "\\par}";
    return out;
}

void activate(const QString& folder, const QString& name) {
    PUT1 = folder + QStringLiteral("KALDOR.TPS");
    PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
    PUT = folder;
    TEMA = name;
}

bool writeBase(const QString& folder, const std::vector<Card>& cards,
               const std::vector<Bookmark>& bookmarks) {
    const QString put1 = PUT1.get().str(), put2 = PUT2.get().str();
    PUT1 = folder + QStringLiteral("KALDOR.TPS");
    PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
    bool ok = true;
    std::thread([&] {
        rt::ThreadScope scope;
        Relate_KALDOR->Open();
        Relate_ZAMETKA->Open();
        LOGOUT(10, {&KALDOR, &ZAMETKA});
        SET(KALDOR);
        for (NEXT(KALDOR); ERRORCODE() == 0; NEXT(KALDOR))
            DELETE(KALDOR);
        SET(ZAMETKA);
        for (NEXT(ZAMETKA); ERRORCODE() == 0; NEXT(ZAMETKA))
            DELETE(ZAMETKA);
        for (const Card& c : cards) {
            putCard(c);
            ADD(KALDOR);
            ok = ok && ERRORCODE() == 0;
        }
        LONG id = 0;
        for (const Bookmark& b : bookmarks) {
            CLEAR(ZAMETKA);
            ++id;
            ZAM.ID = b.id != 0 ? b.id : id;
            ZAM.IDDOK = b.card;
            ZAM.ZAKLAD = b.name;
            ZAM.POTEXT = b.passage;
            ADD(ZAMETKA);
            ok = ok && ERRORCODE() == 0;
        }
        COMMIT();
        Relate_ZAMETKA->Close();
        Relate_KALDOR->Close();
    }).join();
    PUT1 = put1;
    PUT2 = put2;
    return ok;
}

std::vector<Card> readBase(const QString& folder) {
    const QString put1 = PUT1.get().str();
    PUT1 = folder + QStringLiteral("KALDOR.TPS");
    std::vector<Card> out;
    std::thread([&] {
        rt::ThreadScope scope;
        Relate_KALDOR->Open();
        SET(KAL_K1);
        for (NEXT(KALDOR); ERRORCODE() == 0; NEXT(KALDOR))
            out.push_back(bufferCard());
        Relate_KALDOR->Close();
    }).join();
    PUT1 = put1;
    return out;
}

Card bufferCard() {
    Card c;
    c.id = KAL.ID;
    c.status = KAL.KODTER;
    c.name = KAL.NAME.clip();
    c.pname1 = KAL.PNAME1.clip();
    c.pname2 = KAL.PNAME2.clip();
    c.pname3 = KAL.PNAME3.clip();
    c.ndok = KAL.NDOK.clip();
    c.approved = KAL.UTVDATA;
    c.inForce = KAL.VVODDATA;
    c.wordkey = KAL.WORDKEY.clip();
    c.nfile = KAL.NFILE.str();
    c.text = KAL.ZAKON.data();
    c.work = KAL.RABZAKON.data();
    return c;
}

void putCard(const Card& c) {
    CLEAR(KALDOR);
    KAL.ID = c.id;
    KAL.KODTER = c.status;
    KAL.NAME = c.name;
    KAL.PNAME1 = c.pname1;
    KAL.PNAME2 = c.pname2;
    KAL.PNAME3 = c.pname3;
    KAL.NDOK = c.ndok;
    KAL.UTVDATA = c.approved;
    KAL.VVODDATA = c.inForce;
    KAL.WORDKEY = c.wordkey;
    KAL.NFILE = c.nfile;
    KAL.ZAKON.setData(c.text);
    KAL.RABZAKON.setData(c.work);
}

}  // namespace doclist
