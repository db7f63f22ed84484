#include "register_base.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <thread>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"

namespace {

LONG isoDay(const QString& iso) {
    const QStringList p = iso.split(u'-');
    return p.size() == 3 ? rt::dayNumber(p[0].toInt(), p[1].toInt(), p[2].toInt()) : 0;
}

}  // namespace

std::vector<RegisterCard> demoCards() {
    QFile f(QStringLiteral(KALDOR_SOURCE_DIR "/app/demo/demo.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray docs = QJsonDocument::fromJson(f.readAll()).object()[u"documents"].toArray();
    std::vector<RegisterCard> out;
    for (const QJsonValue& v : docs) {
        const QJsonObject d = v.toObject();
        const QJsonArray pname = d[u"pname"].toArray();
        RegisterCard c;
        c.id = LONG(out.size() + 1);
        c.pname1 = pname.at(0).toString();
        c.name = c.pname1;
        c.pname2 = pname.at(1).toString();
        c.pname3 = pname.at(2).toString();
        c.ndok = d[u"ndok"].toString();
        c.approved = isoDay(d[u"approved"].toString());
        c.inForce = isoDay(d[u"inforce"].toString());
        out.push_back(c);
    }
    return out;
}

std::vector<RegisterCard> madeUpCards(int n, LONG first) {
    static const char16_t* kinds[] = {u"Федеральный закон", u"Постановление Правительства",
                                      u"Приказ Министерства финансов", u"Указ Президента"};
    static const char16_t* subjects[] = {
        u"О бухгалтерском учёте", u"Об утверждении правил ведения реестра документов",
        u"О порядке рассмотрения обращений граждан", u"Об архивном деле в Российской Федерации"};
    std::vector<RegisterCard> out;
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const LONG id = first + i;
        RegisterCard c;
        c.id = id;
        c.pname1 = QStringLiteral("%1 № %2").arg(QString::fromUtf16(kinds[id % 4])).arg(id);
        c.name = c.pname1;
        c.pname2 = QStringLiteral("\"%1\"").arg(QString::fromUtf16(subjects[id % 4]));
        c.pname3 = id % 3 == 0 ? QString() : QStringLiteral("(редакция %1)").arg(id % 50 + 1);
        c.ndok = QStringLiteral("%1-ФЗ").arg(id);
        c.approved = rt::dayNumber(2001, 1, 1) + id % 8000;
        c.inForce = id % 7 == 0 ? 0 : c.approved + 10;
        out.push_back(c);
    }
    return out;
}

void setActiveBase(const QString& folder, const QString& name) {
    doclist::activate(folder, name);
}

bool makeBase(const QString& folder, const std::vector<RegisterCard>& cards) {
    PUT1 = folder + QStringLiteral("KALDOR.TPS");
    PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
    bool ok = true;
    std::thread([&] {
        rt::ThreadScope scope;
        Relate_KALDOR->Open();
        for (size_t done = 0; done < cards.size() && ok;) {
            LOGOUT(10, {&KALDOR});
            for (int i = 0; i < 1000 && done < cards.size(); ++i, ++done) {
                doclist::putCard(cards[done]);
                ADD(KALDOR);
                if (ERRORCODE() != 0)
                    ok = false;
            }
            COMMIT();
        }
        Relate_KALDOR->Close();
    }).join();
    return ok;
}
