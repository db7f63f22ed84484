#include "app/common.h"

#include "filemanager.h"
#include "toolbar.h"
#include "ui/window.h"

int BeginInit(WindowManager& w, const char16_t* procedure, int firstField, ToolbarClass& toolbar) {
    GlobalErrors.SetProcedureName(procedure);
    w.Request = GlobalRequest;
    const int level = w.WindowManager::Init();
    if (level != Level::Benign)
        return level;
    w.FirstField = firstField;
    w.VCRRequest = &::VCRRequest;
    w.Errors = &GlobalErrors;
    w.AddItem(toolbar);
    GlobalRequest = 0;
    GlobalResponse = 0;
    return level;
}

void PlaceWindow(WindowManager& w, ParentDefaultsResizer& resizer, const char16_t* procedure,
                 Window& window) {
    resizer.Init(Resize::Spread, true, false);
    w.AddItem(resizer);
    INIMgr.Fetch(procedure, window);
    resizer.Resize();
}

void EndKill(WindowManager& w, const char16_t* procedure, Window& window) {
    if (w.Opened)
        INIMgr.Update(procedure, window);
    GlobalErrors.SetProcedureName();
}

int SetFormActions(WindowManager& w, int okControl) {
    if (w.Request == ViewRecord && !w.BatchProcessing) {
        w.InsertAction = FormAction::None;
        w.DeleteAction = FormAction::None;
        w.ChangeAction = FormAction::None;
        w.CancelAction = FormAction::Plain;
        w.OkControl = 0;
        return Level::Benign;
    }
    w.ChangeAction = FormAction::Standard;
    w.CancelAction = FormAction::Standard;
    w.OkControl = okControl;
    return w.PrimeUpdate() != Level::Benign ? int(Level::Notify) : int(Level::Benign);
}

QString ActionMessage(int request) {
    switch (request) {
        case ViewRecord:
            return QStringLiteral("Просмотреть");
        case InsertRecord:
            return QStringLiteral("Добавить");
        case ChangeRecord:
            return QStringLiteral("Изменить");
        default:
            return {};
    }
}

void TakeFormOk(WindowManager& w, int okControl, Window& window) {
    if (ACCEPTED() != okControl)
        return;
    w.Update();
    // Viewing: "Сохранить" only closes.
    if (w.Request == ViewRecord && !w.BatchProcessing)
        window.post(EVENT::CloseWindow);
}

int RecordFormManager::Init() {
    const int level = BeginInit(*this, form_.procedure, form_.firstField, toolbar_);
    if (level != Level::Benign)
        return level;
    HistoryKey = Key::Ctrl + Key::letter('H');
    AddHistoryFile(form_.record, form_.history);
    for (std::size_t i = 0; i < form_.historyControls.size(); ++i)
        AddHistoryField(form_.historyControls[i], int(i) + 1);
    AddUpdateFile(*form_.updateFile);
    AddItem(form_.cancelControl, RequestCancelled);
    form_.primary->SetOpenRelated();
    form_.primary->Open();
    FilesOpened = true;
    Primary = form_.primary;
    if (SetFormActions(*this, form_.okControl) != Level::Benign)
        return Level::Notify;
    Open(window_);
    if (Request == ViewRecord) {
        for (int c : form_.readOnlyWhenViewing)
            window_[c][PROP::ReadOnly] = 1;
        for (int c : form_.disabledWhenViewing)
            window_.disable(c);
    }
    PlaceWindow(*this, resizer_, form_.procedure, window_);
    SetAlerts();
    return level;
}

int RecordFormManager::Run() {
    const int response = WindowManager::Run();
    return Request == ViewRecord ? int(RequestCancelled) : response;
}

int RecordFormManager::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    TakeFormOk(*this, form_.okControl, window_);
    return level;
}

int RecordFormManager::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (FilesOpened)
        form_.primary->Close();
    EndKill(*this, form_.procedure, window_);
    return level;
}
