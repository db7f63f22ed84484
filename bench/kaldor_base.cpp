#include "kaldor_base.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

#include "app/globals.h"
#include "core/resources.h"
#include "dictionary.h"

namespace benchbase {

namespace {
int cardsFromEnvironment() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("KALDOR_BENCH_CARDS", &ok);
    return ok && n > 0 ? n : 100000;
}
}  // namespace

const int kCards = cardsFromEnvironment();

QString benchDir() {
    const QByteArray d = qgetenv("KALDOR_BENCH_DIR");
    if (!d.isEmpty())
        return QString::fromLocal8Bit(d);
    return kCards == 100000 ? QStringLiteral("/tmp/kaldor-bench")
                            : QStringLiteral("/tmp/kaldor-bench-%1").arg(kCards);
}

void resetPeakMemory() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double peakMemoryMB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void startProgram(int* argc, char** argv, const QString& resources) {
    installThreadHooks();
    benchmark::Initialize(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    rt::addResourceFolder(resources);
}

namespace {

QString words(QRandomGenerator& g, int length) {
    static const char16_t* w[] = {
        u"закон",       u"о",          u"порядке",   u"государственной", u"регистрации",
        u"налогового",  u"кодекса",    u"изменений", u"Российской",      u"Федерации",
        u"статьи",      u"внесении",   u"прав",      u"граждан",         u"обязательного",
        u"страхования", u"земельного", u"участка"};
    QString s;
    while (s.size() < length)
        s += QString::fromUtf16(w[g.bounded(int(std::size(w)))]) + u' ';
    return s.left(length);
}

QByteArray body(QRandomGenerator& g, int size) {
    QByteArray b = "{\\rtf1\\ansi ";
    while (b.size() < size)
        b += words(g, 80).toUtf8() + "\\par ";
    b.truncate(size - 1);
    return b + '}';
}

void fillCard(QRandomGenerator& g) {
    KAL.KODTER = BYTE(g.bounded(3));
    KAL.NAME = words(g, 50);
    KAL.PNAME1 = words(g, 110);
    KAL.PNAME2 = words(g, 60);
    KAL.PNAME3 = "";
    KAL.NDOK = QString::number(g.bounded(1000)) + QStringLiteral("-ФЗ");
    KAL.UTVDATA = rt::dayNumber(1995, 1, 1) + LONG(g.bounded(11000));
    KAL.VVODDATA = KAL.UTVDATA + 30;
    KAL.WORDKEY = words(g, 60);
    KAL.NFILE = "C:\\kaldor_demo\\1.rtf";
    KAL.ZAKON.setData(body(g, 20 * 1024));
    KAL.RABZAKON.setData(body(g, 2 * 1024));
}

}  // namespace

void addCards(int n, QRandomGenerator& g) {
    for (int done = 0; done < n;) {
        LOGOUT(10, {&KALDOR});
        for (int i = 0; i < 1000 && done < n; ++i, ++done) {
            CLEAR(KALDOR);
            fillCard(g);
            Access_KALDOR->Insert();
        }
        COMMIT();
    }
}

void openBase() {
    qputenv("KALDOR_DRIVE_C", benchDir().toLocal8Bit());
    QDir().mkpath(benchDir() + QStringLiteral("/bench"));
    QDir().mkpath(benchDir() + QStringLiteral("/insert"));
    PUT1 = "c:\\bench\\KALDOR.TPS";
    PUT2 = "c:\\bench\\ZAMETKA.TPS";
    if (!Access_KALDOR)
        DctInit();
    Relate_KALDOR->Open();
    const auto have = RECORDS(KALDOR);
    if (have < kCards) {
        QElapsedTimer t;
        t.start();
        QRandomGenerator g(42);
        addCards(int(kCards - have), g);
        std::fprintf(stderr, "built %d cards in %.1f s\n", int(kCards - have),
                     double(t.elapsed()) / 1000.0);
    }
}

}  // namespace benchbase
