// A worker for the reliability tests, run as a child process on drive C's base
// folder "c:\base1\":
//   crash_helper insert N   adds N cards through the access object, then exits
//   crash_helper churn      adds cards with three bookmarks each, deletes and renumbers
//                           cards through the relation object, until it is killed
//   crash_helper save TAG   reads the first record of each of the four tables as a
//                           form does, writes "read", waits for a line on its
//                           standard input, then saves each with TAG and writes
//                           "<TABLE> <level> <error code>" for each
//   crash_helper renumber N TOPIC CARD
//                           N times renumbers the first topic (TOPIC, TOPIC + 2, ...)
//                           and the first card (CARD, CARD + 1, ...) through their
//                           relation objects
// Each step of churn is written to standard output once it is committed:
//   C <id>        card <id> and its three bookmarks
//   D <id>        card <id> deleted with its bookmarks
//   M <old> <new> card <old> renumbered with its bookmarks

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"
#include "four_tables.h"

namespace {

bool addCard(int bookmarks, LONG* id) {
    Access_KALDOR->PrimeRecord();
    KAL.NAME = "карточка";
    KAL.ZAKON.setData(QByteArray(4000, 'z'));
    if (Access_KALDOR->Insert() != Level::Benign)
        return false;
    *id = KAL.ID;
    for (int i = 0; i < bookmarks; ++i) {
        Access_ZAMETKA->PrimeRecord();
        ZAM.IDDOK = *id;
        ZAM.ZAKLAD = "закладка";
        if (Access_ZAMETKA->Insert() != Level::Benign)
            return false;
    }
    return true;
}

bool fetch(LONG id) {
    KAL.ID = id;
    return Access_KALDOR->TryFetch(KAL_K1) == Level::Benign;
}

int saveAll(const QString& tag) {
    fourtables::openAll();
    for (const auto& t : fourtables::tables()) {
        GET(t.file(), 1);
        t.access()->Watch();
    }
    std::printf("read\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);
    for (const auto& t : fourtables::tables()) {
        t.edit(tag);
        const int level = t.relate()->Update();
        std::printf("%s %d %d\n", t.name, level, ERRORCODE());
    }
    std::fflush(stdout);
    fourtables::closeAll();
    return 0;
}

int renumber(int n, int topic, LONG card) {
    fourtables::openAll();
    for (int i = 0; i < n; ++i) {
        // Read by position: the numbers are what the other process changes.
        GET(RUBRIKA, 1);
        RUB.KOD = topic + 2 * (i % 200);
        Relate_RUBRIKA->Update();
        GET(KALDOR, 1);
        KAL.ID = card + i;
        Relate_KALDOR->Update();
    }
    fourtables::closeAll();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    installThreadHooks();
    rt::ThreadScope thread;
    if (std::strcmp(argv[1], "save") == 0 && argc > 2)
        return saveAll(QString::fromUtf8(argv[2]));
    if (std::strcmp(argv[1], "renumber") == 0 && argc > 4)
        return renumber(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    PUT1 = "c:\\base1\\KALDOR.TPS";
    PUT2 = "c:\\base1\\ZAMETKA.TPS";
    Relate_KALDOR->SetOpenRelated();
    Relate_KALDOR->Open();
    int status = 0;
    if (std::strcmp(argv[1], "insert") == 0 && argc > 2) {
        const int n = std::atoi(argv[2]);
        for (int i = 0; i < n && status == 0; ++i) {
            LONG id = 0;
            if (!addCard(0, &id))
                status = 1;
        }
    } else if (std::strcmp(argv[1], "churn") == 0) {
        std::vector<LONG> live;
        for (long step = 1;; ++step) {
            LONG id = 0;
            if (!addCard(3, &id))
                return 1;
            std::printf("C %d\n", int(id));
            live.push_back(id);
            if (step % 3 == 0 && live.size() > 2) {
                const LONG victim = live[live.size() / 2];
                if (!fetch(victim) || Relate_KALDOR->Delete(0) != Level::Benign)
                    return 1;
                live.erase(live.begin() + long(live.size() / 2));
                std::printf("D %d\n", int(victim));
            }
            if (step % 5 == 0 && !live.empty()) {
                const LONG old = live.front();
                if (!fetch(old))
                    return 1;
                KAL.ID = old + 1000000;
                if (Relate_KALDOR->Update() != Level::Benign)
                    return 1;
                live.front() = old + 1000000;
                std::printf("M %d %d\n", int(old), int(old + 1000000));
            }
            std::fflush(stdout);
        }
    }
    Relate_KALDOR->Close();
    return status;
}
