#include "catalogue.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include "app/globals.h"
#include "dictionary.h"
#include "program_environment.h"
#include "report/preview.h"
#include "report_preview.h"
#include "ui/dialogs.h"
#include "uidriver.h"
#include "windowmanager.h"

namespace cattest {

QString folder(const QString& name) {
    return QStringLiteral("c:\\bases\\") + name + u'\\';
}

void setCatalogue(const std::vector<Base>& bases, const std::vector<Topic>& topics) {
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    SET(CONFIG);
    for (NEXT(CONFIG); ERRORCODE() == 0; NEXT(CONFIG))
        DELETE(CONFIG);
    SET(RUBRIKA);
    for (NEXT(RUBRIKA); ERRORCODE() == 0; NEXT(RUBRIKA))
        DELETE(RUBRIKA);
    for (const Topic& t : topics) {
        RUBRIKA.clearRecord();
        RUB.KOD = t.kod;
        RUB.NAME1 = t.name1;
        RUB.NAME2 = t.name2;
        RUB.RTG = t.rtg;
        ASSERT_EQ(Access_RUBRIKA->Insert(), Level::Benign);
    }
    for (const Base& b : bases) {
        CONFIG.clearRecord();
        CON.KOD = b.kod;
        CON.ID = b.topic;
        CON.PATH = b.path;
        CON.NAME = b.name;
        CON.ON_OFF = b.on;
        ASSERT_EQ(Access_CONFIG->Insert(), Level::Benign);
    }
    Relate_CONFIG->Close();
}

bool readBase(int kod) {
    Relate_CONFIG->Open();
    CONFIG.clearRecord();
    CON.KOD = kod;
    const bool found = Access_CONFIG->TryFetch(CON_K1) == Level::Benign;
    Relate_CONFIG->Close();
    return found;
}

bool readTopic(int kod) {
    Relate_RUBRIKA->Open();
    RUBRIKA.clearRecord();
    RUB.KOD = kod;
    const bool found = Access_RUBRIKA->TryFetch(RUB_K1) == Level::Benign;
    Relate_RUBRIKA->Close();
    return found;
}

std::int64_t baseCount() {
    Relate_CONFIG->Open();
    const auto n = RECORDS(CONFIG);
    Relate_CONFIG->Close();
    return n;
}

int waitRegister(int th) {
    if (!uitest::waitFor([] { return uitest::onGui([] { return shownPreview() != nullptr; }); },
                         30000))
        return 0;
    for (int n = th + 1; n < th + 10; ++n) {
        if (rt::threadAlive(n))
            return n;
    }
    return 0;
}

bool closeRegister(int report) {
    uitest::onGui([] {
        if (PrintPreviewClass* p = shownPreview())
            p->close();
    });
    return report != 0 && rt::waitThreadEnd(report, 10000);
}

int runTests(int argc, char** argv) {
    enterSandbox({"kaldor_demo"});
    return runProgramTests(argc, argv);
}

}  // namespace cattest
