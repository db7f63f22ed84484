// The register of documents of the active base: one numbered entry per card
// of its document table in the order of the card's number, under a progress
// window with a cancel button, then the print preview.

#include "controls/kaldo011.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "core/picture.h"
#include "core/step.h"
#include "dictionary.h"
#include "report/previewhandle.h"
#include "report/process.h"
#include "report/reportmanager.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "view.h"

namespace {

using namespace kaldo011;  // the window's controls

// Reads the cards; each prints one entry of the register.
class ThisReportClass : public ProcessClass {
  public:
    explicit ThisReportClass(rt::Report& report) : report_(report) {}
    int TakeRecord() override {
        const int level = ProcessClass::TakeRecord();
        report_.print(u"?DETAIL");
        return level;
    }

  private:
    rt::Report& report_;
};

class ThisWindowClass : public ReportManager {
  public:
    ThisWindowClass(Window& progressWindow, BYTE& thermometer, STRING<60>& baseName,
                    rt::Report& report, ViewClass& view, StepLongClass& progressMgr,
                    ThisReportClass& thisReport, PrintPreviewHandle& previewer)
        : ProgressWindow(progressWindow),
          Progress_Thermometer(thermometer),
          BaseName(baseName),
          Report(report),
          Process_View(view),
          ProgressMgr(progressMgr),
          ThisReport(thisReport),
          Previewer(previewer) {}

    int Init() override {
        GlobalErrors.SetProcedureName(u"PrintRs");
        Request = GlobalRequest;
        const int level = ReportManager::Init();
        if (level != Level::Benign)
            return level;
        FirstField = PROGRESS_THERMOMETER;
        VCRRequest = &::VCRRequest;
        Errors = &GlobalErrors;
        GlobalRequest = 0;
        GlobalResponse = 0;
        // Opened on disk by the process below: the register is that of the
        // base active now, whatever is chosen while it is made.
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        FilesOpened = true;
        ProgressWindow.bind(PROGRESS_THERMOMETER, ref(Progress_Thermometer));
        Open(ProgressWindow);
        INIMgr.Fetch(u"PrintRs", ProgressWindow);
        ProgressWindow[PROP::Timer] = 10;
        ProgressMgr.Init(ScrollSort::Numeric);
        ThisReport.Init(Process_View, *Relate_KALDOR, PROGRESS_PCTTEXT, ref(Progress_Thermometer),
                        &ProgressMgr, ref(KAL.ID));
        ThisReport.AddSortOrder(KAL_K1);
        // The header names the base whose table was just opened, even when
        // another base is chosen while the register is made.
        BaseName = TEMA.get();
        AddItem(PROGRESS_CANCEL, RequestCancelled);
        ReportManager::Init(ThisReport, Report, &Previewer);
        ProgressWindow[PROGRESS_USERSTRING][PROP::Text] = QString();
        Relate_KALDOR->SetQuickScan(1, 1);
        SkipPreview = false;
        Previewer.setInitialZoom(100);
        Previewer.setIniManager(&INIMgr);
        Previewer.setUserZoom(true);
        Previewer.setMaximize(true);
        SetAlerts();
        return level;
    }

    int OpenReport() override {
        int level = ReportManager::OpenReport();
        // Every page carries the moment the report was opened.
        if (level == Level::Benign)
            Report.setText(u"?REPORTDATESTAMP", FORMAT(TODAY(), u"@D17"));
        if (level == Level::Benign)
            Report.setText(u"?REPORTTIMESTAMP", FORMAT(CLOCK(), u"@T7"));
        return level;
    }

    int Kill() override {
        const int level = ReportManager::Kill();
        if (level != Level::Benign)
            return level;
        if (FilesOpened)
            Relate_KALDOR->Close();
        if (Opened)
            INIMgr.Update(u"PrintRs", ProgressWindow);
        ProgressMgr.Kill();
        GlobalErrors.SetProcedureName();
        return level;
    }

  private:
    Window& ProgressWindow;
    BYTE& Progress_Thermometer;
    STRING<60>& BaseName;
    rt::Report& Report;
    ViewClass& Process_View;
    StepLongClass& ProgressMgr;
    ThisReportClass& ThisReport;
    PrintPreviewHandle& Previewer;
};

}  // namespace

void PrintRs() {
    QString error;
    auto declaration = rt::ReportDeclaration::load(u"kaldor$kaldo011", u"P1$REPORT", &error);
    if (!declaration) {
        MESSAGE(QStringLiteral("Отчёт не может быть открыт: %1").arg(error), u"PrintRs",
                ICON::Hand);
        GlobalResponse = RequestCancelled;
        return;
    }
    BYTE Progress_Thermometer = 0;
    STRING<60> BaseName;
    Window ProgressWindow(u"kaldor$kaldo011", u"P1$PROGRESSWINDOW");
    rt::Report Report(declaration);
    Report.bind(u"TEMA", ref(BaseName));
    Report.bind(u"KAL:PNAME1", ref(KAL.PNAME1));
    Report.bind(u"KAL:PNAME2", ref(KAL.PNAME2));
    Report.bind(u"KAL:PNAME3", ref(KAL.PNAME3));
    Report.bind(u"KAL:NDOK", ref(KAL.NDOK));
    Report.bind(u"KAL:UTVDATA", ref(KAL.UTVDATA));
    Report.bind(u"KAL:VVODDATA", ref(KAL.VVODDATA));
    {
        ViewClass Process_View(KALDOR);
        Process_View.addField(KAL.ID);
        Process_View.addField(KAL.NDOK);
        Process_View.addField(KAL.PNAME1);
        Process_View.addField(KAL.PNAME2);
        Process_View.addField(KAL.PNAME3);
        Process_View.addField(KAL.UTVDATA);
        Process_View.addField(KAL.VVODDATA);
        StepLongClass ProgressMgr;
        ThisReportClass ThisReport(Report);
        PrintPreviewHandle Previewer;
        ThisWindowClass ThisWindow(ProgressWindow, Progress_Thermometer, BaseName, Report,
                                   Process_View, ProgressMgr, ThisReport, Previewer);
        GlobalResponse = BYTE(ThisWindow.Run());
    }
    Report.close();
    ProgressWindow.close();
}
