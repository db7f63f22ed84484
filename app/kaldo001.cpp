// The MDI frame: its menus start the list windows, each on a thread of its own,
// and the topic list opens with it.

#include "controls/kaldo001.h"
#include "globals.h"
#include "procedures.h"
#include "toolbar.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace {

using namespace kaldo001;  // the window's controls

class FrameManager : public WindowManager {
  public:
    FrameManager(Window& frame, ToolbarClass& toolbar, LONG& splash)
        : APPFRAME(frame), Toolbar(toolbar), SPLASHPROCEDURETHREAD(splash) {}

    int Init() override {
        GlobalErrors.SetProcedureName(u"Main");
        Request = GlobalRequest;
        const int level = WindowManager::Init();
        if (level != Level::Benign)
            return level;
        FirstField = 1;
        VCRRequest = &::VCRRequest;
        Errors = &GlobalErrors;
        AddItem(Toolbar);
        GlobalRequest = 0;
        GlobalResponse = 0;
        Open(APPFRAME);
        INIMgr.Fetch(u"Main", APPFRAME);
        SetAlerts();
        return level;
    }

    int Kill() override {
        const int level = WindowManager::Kill();
        if (level != Level::Benign)
            return level;
        if (Opened)
            INIMgr.Update(u"Main", APPFRAME);
        GlobalErrors.SetProcedureName();
        return level;
    }

    int TakeAccepted() override {
        BrowseMenu();
        return WindowManager::TakeAccepted();
    }

    int TakeWindowEvent() override {
        const int level = WindowManager::TakeWindowEvent();
        if (EVENT() == EVENT::OpenWindow) {
            SYSTEM[PROP::CharSet] = CHARSET::Cyrillic;
            SYSTEM[PROP::TipDisplay] = 6000;
            SPLASHPROCEDURETHREAD = START(BrowseRub, 0);
        } else if (SPLASHPROCEDURETHREAD != 0 && EVENT() == EVENT::Accepted) {
            // The topic list shown at start goes with the first accepted event
            // of the frame itself; one started from the menu stays.
            POST(EVENT::CloseWindow, 0, SPLASHPROCEDURETHREAD);
            SPLASHPROCEDURETHREAD = 0;
        }
        return level;
    }

  private:
    // Each choice starts a new window, also when one is open already.
    void BrowseMenu() {
        switch (ACCEPTED()) {
            case BROWSEKALDOR:
                START(Browsekaldor, 50000);
                break;
            case BDTM:
                START(BrowseRub, 25000);
                break;
            case BD:
                START(BrowseBD, 25000);
                break;
            default:
                break;
        }
    }

    Window& APPFRAME;
    ToolbarClass& Toolbar;
    LONG& SPLASHPROCEDURETHREAD;
};

}  // namespace

void Main() {
    LONG SPLASHPROCEDURETHREAD = 0;
    Window APPFRAME(u"kaldor$kaldo001", u"P1$APPFRAME");
    ToolbarClass Toolbar;
    {
        FrameManager ThisWindow(APPFRAME, Toolbar, SPLASHPROCEDURETHREAD);
        GlobalResponse = BYTE(ThisWindow.Run());
    }
    APPFRAME.close();
}
