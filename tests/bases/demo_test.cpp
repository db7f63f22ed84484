// The demo catalogue: written once through the program's tables, with bases
// whose folders end with the separator, cards whose texts read back as RTF,
// and bookmarks that quote those texts.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTextDocument>
#include <map>

#include "app/globals.h"
#include "core/paths.h"
#include "core/threads.h"
#include "dictionary.h"
#include "rtf.h"
#include "table_support.h"

namespace {

int runDemo(const QString& driveC, QString* output) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KALDOR_DRIVE_C"), driveC);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(KALDOR_DEMO), {});
    if (!p.waitForFinished(60000))
        return -1;
    *output = QString::fromLocal8Bit(p.readAll());
    return p.exitCode();
}

}  // namespace

TEST(Demo, WritesTheCatalogueOnceAndItsBasesReadBack) {
    TestDrive drive;
    QString out;
    ASSERT_EQ(runDemo(drive.root(), &out), 0) << out.toStdString();
    for (const char* f : {"kaldor_demo/config.dat", "kaldor_demo/rubrika.dat", "kaldor_demo/1.rtf"})
        EXPECT_TRUE(QFileInfo::exists(drive.native(QString::fromLatin1(f)))) << f;
    EXPECT_TRUE(QFileInfo(drive.native(QStringLiteral("kaldor"))).isDir());

    rt::ThreadScope thread(true);
    DctInit();
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    EXPECT_EQ(RECORDS(RUBRIKA), 3);
    std::vector<std::pair<QString, QString>> bases;  // folder, name
    std::map<int, int> flags;
    SET(CONFIG);
    for (NEXT(CONFIG); ERRORCODE() == 0; NEXT(CONFIG)) {
        bases.emplace_back(CON.PATH.clip(), CON.NAME.clip());
        ++flags[CON.ON_OFF];
        EXPECT_TRUE(CON.PATH.clip().endsWith(u'\\')) << CON.PATH.clip().toStdString();
        RUB.KOD = CON.ID;
        EXPECT_EQ(Access_RUBRIKA->TryFetch(RUB_K1), Level::Benign);  // its topic exists
    }
    EXPECT_EQ(bases.size(), 5u);
    EXPECT_EQ(flags[0], 1);  // one base off
    EXPECT_EQ(flags[2], 1);  // and one with a flag of 2
    Relate_CONFIG->Close();

    int cards = 0, marks = 0;
    for (const auto& [folder, name] : bases) {
        // As the active base names them: the folder and the file name.
        PUT1 = folder + QStringLiteral("KALDOR.TPS");
        PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        EXPECT_GT(RECORDS(KALDOR), 0) << name.toStdString();
        EXPECT_TRUE(KALDOR.openPath().endsWith(QStringLiteral("/KALDOR.TPS")));
        std::map<LONG, QString> texts;
        SET(KALDOR);
        for (NEXT(KALDOR); ERRORCODE() == 0; NEXT(KALDOR)) {
            ++cards;
            QTextDocument d;
            ASSERT_TRUE(rt::readRtf(KAL.ZAKON.data(), &d));
            texts[KAL.ID] = d.toPlainText();
            EXPECT_TRUE(texts[KAL.ID].contains(QStringLiteral("Статья 1."))) << name.toStdString();
        }
        SET(ZAMETKA);
        for (NEXT(ZAMETKA); ERRORCODE() == 0; NEXT(ZAMETKA)) {
            ++marks;
            ASSERT_TRUE(texts.count(ZAM.IDDOK));
            EXPECT_TRUE(texts[ZAM.IDDOK].contains(ZAM.POTEXT.clip()))
                << ZAM.POTEXT.clip().toStdString();
        }
        Relate_KALDOR->Close();
    }
    EXPECT_EQ(cards, 9);
    EXPECT_GE(marks, 8);
    QTextDocument sample;
    EXPECT_TRUE(rt::loadRtfFile(u"C:\\kaldor_demo\\1.rtf", &sample));
    EXPECT_FALSE(sample.isEmpty());
    DctKill();

    // A catalogue that exists is left as it is.
    const QFileInfo before(drive.native(QStringLiteral("kaldor_demo/config.dat")));
    ASSERT_EQ(runDemo(drive.root(), &out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("nothing written"))) << out.toStdString();
    const QFileInfo after(drive.native(QStringLiteral("kaldor_demo/config.dat")));
    EXPECT_EQ(before.lastModified(), after.lastModified());
    EXPECT_EQ(before.size(), after.size());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
