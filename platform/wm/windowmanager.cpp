#include "windowmanager.h"

#include <algorithm>

#include "ui/runtime.h"

WindowComponent::~WindowComponent() {
    if (manager_)
        manager_->RemoveItem(*this);
}

WindowManager::WindowManager() = default;

WindowManager::~WindowManager() {
    for (WindowComponent* c : items_)
        c->manager_ = nullptr;
}

// ---- life --------------------------------------------------------------------

int WindowManager::Run() {
    if (Init() == Level::Benign)
        Ask();
    Kill();
    return Response != 0 ? Response : RequestCancelled;
}

int WindowManager::Run(int number, int request) {
    (void)number;
    (void)request;
    return RequestCancelled;
}

int WindowManager::Init() {
    if (Alive())
        return Level::Notify;
    inited_ = true;
    dead_ = false;
    Response = 0;
    return Level::Benign;
}

void WindowManager::Ask() {
    if (!window_ || !window_->isOpen())
        return;
    while (window_->accept()) {
        if (TakeEvent() == Level::Fatal)
            break;
        for (size_t i = 0; i < items_.size(); ++i)
            items_[i]->UpdateWindow();
    }
}

int WindowManager::Kill() {
    if (!Alive())
        return Level::Notify;
    dead_ = true;
    for (size_t i = 0; i < items_.size(); ++i)
        items_[i]->Kill();
    if (Response != RequestCompleted)
        giveBackNumber();
    forgetSaved();
    return Level::Benign;
}

// ---- events ------------------------------------------------------------------

int WindowManager::TakeEvent() {
    const int field = FIELD();
    int level = Level::Benign;
    if (field == 0 && (level = TakeWindowEvent()) != Level::Benign)
        return level;
    switch (EVENT()) {
        case EVENT::Accepted:
            level = TakeAccepted();
            break;
        case EVENT::Rejected:
            level = TakeRejected();
            break;
        case EVENT::Selected:
            level = TakeSelected();
            break;
        case EVENT::NewSelection:
            level = TakeNewSelection();
            break;
        default:
            break;
    }
    if (level != Level::Benign)
        return level;
    if (field != 0 && (level = TakeFieldEvent()) != Level::Benign)
        return level;
    for (size_t i = 0; i < items_.size(); ++i) {
        if ((level = items_[i]->TakeEvent()) != Level::Benign)
            return level;
    }
    return Level::Benign;
}

int WindowManager::TakeWindowEvent() {
    switch (EVENT()) {
        case EVENT::OpenWindow:
            if (FirstField != 0 && window_)
                window_->select(FirstField);
            return Level::Benign;
        case EVENT::CloseWindow:
            return TakeCloseEvent();
        default:
            return Level::Benign;
    }
}

int WindowManager::TakeAccepted() {
    const int control = ACCEPTED();
    if (control == 0)
        return Level::Benign;
    if (OkControl != 0 && control == OkControl)
        return TakeCompleted();
    for (const auto& [c, response] : responseControls_) {
        if (c != control)
            continue;
        // A cancel goes the way of the close box: the same question, the same
        // handlers of the close event.
        if (response == RequestCancelled) {
            if (window_)
                window_->post(EVENT::CloseWindow);
        } else {
            SetResponse(response);
        }
        break;
    }
    return Level::Benign;
}

int WindowManager::TakeRejected() {
    return Level::Benign;
}

int WindowManager::TakeSelected() {
    return Level::Benign;
}

int WindowManager::TakeNewSelection() {
    return Level::Benign;
}

int WindowManager::TakeFieldEvent() {
    if (HistoryKey != 0 && EVENT() == EVENT::AlertKey && KEYCODE() == HistoryKey)
        RestoreField(FIELD());
    return Level::Benign;
}

int WindowManager::TakeCloseEvent() {
    // The frame closes the other threads' windows before it goes, so that
    // nothing typed into them is dropped without asking.
    if (window_ && window_->declaration().frame && !rt::shuttingDown() &&
        !rt::closeOtherThreadsWindows()) {
        rt::cycle();
        return Level::Notify;
    }
    if (Response != 0)
        return Level::Benign;
    const bool editing = Request == InsertRecord || Request == ChangeRecord;
    // A close the runtime forces (the program ends) cannot be refused.
    if (editing && CancelAction == FormAction::Standard && !BatchProcessing && Errors &&
        !rt::shuttingDown() && RecordChanged()) {
        if (!Errors->Throw(Msg::ConfirmCancel)) {
            rt::cycle();
            return Level::Notify;
        }
    }
    giveBackNumber();
    Response = RequestCancelled;
    return Level::Benign;
}

int WindowManager::TakeCompleted() {
    Update();
    int rc = Level::Benign;
    switch (Request) {
        case InsertRecord: {
            if (InsertAction == FormAction::None)
                return Level::Benign;
            SaveHistory();
            FileManager* f = UpdateFile();
            rc = f ? f->Insert() : int(Level::Program);
            if (rc == Level::Benign)
                primedInsert_ = false;
            break;
        }
        case ChangeRecord:
            if (ChangeAction == FormAction::None)
                return Level::Benign;
            SaveHistory();
            if (Primary)
                rc = Primary->Update();
            else if (FileManager* f = UpdateFile())
                rc = f->Update();
            else
                rc = Level::Program;
            break;
        case DeleteRecord:
            if (DeleteAction == FormAction::None || !Primary)
                return Level::Benign;
            rc = Primary->Delete(DeleteAction == FormAction::Standard && !BatchProcessing ? 1 : 0);
            break;
        default:
            break;
    }
    if (rc != Level::Benign) {
        // Reported by the table services (or declined): the form stays open
        // with what the user typed.
        return Level::Notify;
    }
    SetResponse(RequestCompleted);
    return Level::Benign;
}

void WindowManager::SetAlerts() {
    if (window_ && HistoryKey != 0 && !historyFields_.empty())
        window_->alert(HistoryKey);
    for (size_t i = 0; i < items_.size(); ++i)
        items_[i]->SetAlerts();
}

void WindowManager::Update() {
    for (size_t i = 0; i < items_.size(); ++i)
        items_[i]->Update();
}

void WindowManager::Reset(bool force) {
    for (size_t i = 0; i < items_.size(); ++i)
        items_[i]->Reset(force);
    if (window_)
        window_->display();
}

// ---- requests ----------------------------------------------------------------

int WindowManager::PrimeUpdate() {
    FileManager* f = UpdateFile();
    auto refuse = [this] {
        Response = RequestCancelled;
        return int(Level::Notify);
    };
    switch (Request) {
        case InsertRecord:
            if (InsertAction == FormAction::None || !f)
                return refuse();
            // The caller prepared the buffer (a list clears it and sets its
            // range fields): keep it, reserve the new number.
            if (f->PrimeRecord(true) != Level::Benign)
                return refuse();
            primedInsert_ = true;
            break;
        case ChangeRecord: {
            if (ChangeAction == FormAction::None || !f)
                return refuse();
            // The record as the form read it: a save finds it so, or is refused
            // and writes nothing (another window or program saved it meanwhile).
            FileManager* written = Primary ? Primary->Me : f;
            forgetSaved();
            if (written->Watch() != Level::Benign)
                return refuse();
            watchedIn_ = written;
            break;
        }
        case DeleteRecord: {
            if (DeleteAction == FormAction::None || !Primary)
                return refuse();
            const bool ask = DeleteAction == FormAction::Standard && !BatchProcessing;
            Response =
                Primary->Delete(ask ? 1 : 0) == Level::Benign ? RequestCompleted : RequestCancelled;
            // Done: the window never opens.
            return Level::Notify;
        }
        default:
            return Level::Benign;
    }
    if (Request != ChangeRecord)
        forgetSaved();
    savedIn_ = f;
    savedId_ = f->SaveBuffer();
    return Level::Benign;
}

void WindowManager::SetResponse(int response) {
    Response = BYTE(response);
    if (window_)
        window_->post(EVENT::CloseWindow);
}

bool WindowManager::RecordChanged() const {
    return savedIn_ && savedId_ != 0 && !savedIn_->EqualBuffer(savedId_);
}

void WindowManager::forgetSaved() {
    if (savedIn_ && savedId_ != 0)
        savedIn_->RestoreBuffer(savedId_, false);
    savedIn_ = nullptr;
    savedId_ = 0;
    if (watchedIn_)
        watchedIn_->Unwatch();
    watchedIn_ = nullptr;
}

void WindowManager::giveBackNumber() {
    if (!primedInsert_)
        return;
    primedInsert_ = false;
    if (FileManager* f = UpdateFile())
        f->CancelAutoInc();
}

// ---- window and companions -----------------------------------------------------

void WindowManager::Open(Window& window) {
    window_ = &window;
    if (!window.isOpen())
        window.open();
    Opened = window.isOpen();
}

void WindowManager::AddItem(WindowComponent& component) {
    if (component.manager_ == this)
        return;
    if (component.manager_)
        component.manager_->RemoveItem(component);
    component.manager_ = this;
    items_.push_back(&component);
}

void WindowManager::AddItem(int control, int response) {
    responseControls_.emplace_back(control, response);
}

void WindowManager::RemoveItem(WindowComponent& component) {
    std::erase(items_, &component);
    if (component.manager_ == this)
        component.manager_ = nullptr;
}

void WindowManager::AddUpdateFile(FileManager& file) {
    updateFile_ = &file;
}

FileManager* WindowManager::UpdateFile() const {
    if (updateFile_)
        return updateFile_;
    return Primary ? Primary->Me : nullptr;
}

// ---- field history --------------------------------------------------------------

void WindowManager::AddHistoryFile(std::vector<FieldRef> record, std::vector<FieldRef> history) {
    history_.clear();
    const size_t n = std::min(record.size(), history.size());
    for (size_t i = 0; i < n; ++i)
        history_.emplace_back(record[i], history[i]);
}

void WindowManager::AddHistoryFile(const TableFile& file, std::vector<FieldRef> history) {
    std::vector<FieldRef> record;
    for (const TableFile::Field& f : file.fields())
        record.push_back(f.ref);
    AddHistoryFile(std::move(record), std::move(history));
}

void WindowManager::AddHistoryField(int control, int field) {
    historyFields_.emplace_back(control, field);
}

void WindowManager::SaveHistory() {
    for (const auto& [field, copy] : history_)
        copy.set(field.get());
}

bool WindowManager::RestoreField(int control) {
    for (const auto& [c, field] : historyFields_) {
        if (c != control || field < 1 || field > int(history_.size()))
            continue;
        // A field the user may not edit keeps its value.
        if (window_ && (window_->get(control, PROP::ReadOnly).toInt() != 0 ||
                        window_->get(control, PROP::Disable).toInt() != 0))
            return false;
        const auto& [record, copy] = history_[size_t(field - 1)];
        record.set(copy.get());
        // Shown again even when the value equals what was shown last: the
        // entry may hold text the user typed and has not completed.
        if (window_)
            window_->bind(control, window_->variable(control));
        return true;
    }
    return false;
}
