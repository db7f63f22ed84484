#pragma once
// The window manager: the life of one window procedure, its event dispatch, and
// the form services (requests and responses, priming, OK and cancel, field
// history). Each procedure derives its own `ThisWindow` from WindowManager and
// overrides what it needs; companions (lists, drop combos, the resizer, the
// toolbar) derive from WindowComponent and are registered with AddItem.
//
// Life of a window (Run):
//   Init()                  a non-zero level stops here: no Ask
//   Ask()                   the event loop of the window given to Open
//   Kill()                  always, also after a failed Init
//   result                  Response, or RequestCancelled when none was set
//
// Dispatch of one event (TakeEvent), the first non-zero level ending it:
//   TakeWindowEvent         events of no control (FIELD() == 0)
//   TakeAccepted / TakeRejected / TakeSelected / TakeNewSelection   by the event
//   TakeFieldEvent          events of a control (FIELD() != 0; menu items too)
//   each companion's TakeEvent, in registration order
// After every event Ask lets each companion UpdateWindow() and redisplays the
// window's bound variables.
//
// A form's Init, in the usual order:
//   Request = GlobalRequest;  parent Init;  FirstField, VCRRequest, Errors;
//   HistoryKey, AddHistoryFile, AddHistoryField;  AddUpdateFile(Access_X);
//   AddItem(CANCEL, RequestCancelled);  Primary = Relate_X; FilesOpened = ...;
//   actions by request;  PrimeUpdate() (not 0: return Level::Notify);  Open(window);
//   resizer, INIMgr.Fetch, SetAlerts.
//
// Levels are those of the table services (Level::Benign 0 ... Level::Notify 5).

#include <QString>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/values.h"
#include "table/filemanager.h"
#include "ui/window.h"

// Requests a caller hands a form (GlobalRequest) and the form's responses
// (GlobalResponse).
constexpr BYTE InsertRecord = 1;
constexpr BYTE ChangeRecord = 2;
constexpr BYTE DeleteRecord = 3;
constexpr BYTE ViewRecord = 6;
constexpr BYTE RequestCompleted = 1;
constexpr BYTE RequestCancelled = 2;

// Values of the insert, change, delete and cancel actions of a form.
namespace FormAction {
enum : BYTE {
    // Cancel: abandon without asking. Delete: delete without asking.
    Plain = 0,
    // Insert, change, delete: the request is not allowed.
    None = 1,
    // The default. Insert and change: write and close. Delete: the user
    // confirms first. Cancel: ask when the record was changed.
    Standard = 2,
};
}

// Buttons of a toolbar that a companion may take (ToolbarClass).
namespace ToolbarButton {
enum : int {
    Insert = 1,
    Change,
    Delete,
    Select,
    Top,
    PageUp,
    Up,
    Down,
    PageDown,
    Bottom,
    History,
    Help,
};
}

class WindowManager;

// A companion of a window: registered with WindowManager::AddItem, it sees
// every event the window's own handlers leave and takes part in the window's
// Update, Reset, SetAlerts and Kill. Destroying a registered companion takes
// it off its manager.
class WindowComponent {
  public:
    WindowComponent() = default;
    virtual ~WindowComponent();
    WindowComponent(const WindowComponent&) = delete;
    WindowComponent& operator=(const WindowComponent&) = delete;

    // The manager it is registered with; null before AddItem.
    WindowManager* Manager() const { return manager_; }

    // One event of the window, after the window's own handlers; a non-zero
    // level ends the event's handling (no later companion sees it).
    virtual int TakeEvent() { return Level::Benign; }
    // Alerted keys of the companion (the manager's SetAlerts calls it).
    virtual void SetAlerts() {}
    // Brings the record buffer up to date from what the companion shows (a
    // list reads its selected row again, whole, into the record buffer).
    virtual void Update() {}
    // Brings what the companion shows up to date: with `force` always; without,
    // only when something it depends on changed (a list with a range on a
    // parent's field refills when the parent's value moved).
    virtual void Reset(bool force) { (void)force; }
    // After every event of the window (Ask): a cheap check-and-refresh; a list
    // whose range follows another list's row refills here when that row moved.
    virtual void UpdateWindow() {}
    // A toolbar button while this companion is the toolbar's target; true when
    // taken.
    virtual bool TakeToolbar(int button) {
        (void)button;
        return false;
    }
    // The window is closing (the manager's Kill, before the window closes).
    virtual void Kill() {}

  private:
    friend class WindowManager;
    WindowManager* manager_ = nullptr;
};

class WindowManager {
  public:
    WindowManager();
    virtual ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // ---- what Init sets ------------------------------------------------------
    BYTE Request = 0;              // InsertRecord, ChangeRecord, DeleteRecord, ViewRecord or 0
    BYTE Response = 0;             // 0 until a response is set
    int FirstField = 0;            // the control that has the focus when the window opens
    LONG* VCRRequest = nullptr;    // the thread's VCRRequest
    ErrorClass* Errors = nullptr;  // where the form's questions go
    int HistoryKey = 0;            // Key:: code that restores a history field (Ctrl+H: 584)
    RelationManager* Primary = nullptr;  // the form's table: change, delete, "changed?"
    bool FilesOpened = false;            // Init opened tables (Kill closes them)
    bool Opened = false;                 // Open was given the window
    BYTE InsertAction = FormAction::Standard;
    BYTE ChangeAction = FormAction::Standard;
    BYTE DeleteAction = FormAction::Standard;
    BYTE CancelAction = FormAction::Standard;
    int OkControl = 0;             // the control that completes the request; 0 none
    bool BatchProcessing = false;  // a form run without a user (never asks)

    // ---- life ----------------------------------------------------------------
    // Init, Ask when Init gave 0, Kill; the response (RequestCancelled when none).
    virtual int Run();
    // A companion (a list) asks for form `number` with `request`. The base
    // answers RequestCancelled; a list window's override calls its form.
    virtual int Run(int number, int request);
    // 0: go on. Not 0: the window does not run (Ask is skipped, Kill still runs).
    virtual int Init();
    // The event loop of the window given to Open, until it closes.
    virtual void Ask();
    // Kills the companions and gives back a number reserved for an insert that
    // was not completed. Not 0 when there was nothing to kill (never
    // initialised, or killed already): the caller then skips its own steps.
    // The window stays open (its placement can still be stored); the procedure
    // closes it.
    virtual int Kill();

    // ---- events --------------------------------------------------------------
    virtual int TakeEvent();
    // Events of no control. The base: OpenWindow selects FirstField;
    // CloseWindow goes to TakeCloseEvent.
    virtual int TakeWindowEvent();
    // The base: the OK control (TakeCompleted) and the controls given to
    // AddItem(control, response).
    virtual int TakeAccepted();
    virtual int TakeRejected();
    virtual int TakeSelected();
    virtual int TakeNewSelection();
    // The base: the history key in a history control.
    virtual int TakeFieldEvent();
    // The window is asked to close (close box, standard close action, a posted
    // CloseWindow). Without a response yet this is a cancel: with cancel action
    // Standard and a changed record the user is asked (Msg::ConfirmCancel); a
    // "no" keeps the window open. Otherwise a reserved number is given back and
    // the response is RequestCancelled.
    virtual int TakeCloseEvent();
    // The OK control: copies the record into the history record, then by the
    // request inserts through the update file, updates through Primary or
    // deletes through Primary; on success the response is RequestCompleted and
    // the window closes. A failed write is reported by the table services and
    // the window stays open with what the user typed.
    virtual int TakeCompleted();

    // Alerts the history key and lets every companion set its alerts.
    virtual void SetAlerts();
    // Every companion brings the record buffer up to date.
    virtual void Update();
    // Every companion resets; then the window shows its bound variables.
    virtual void Reset(bool force = false);
    // Prepares the record for the request (call after the actions are set):
    //   insert  the update file primes a new record keeping what the caller put
    //           into the buffer (a list's range fields), and reserves the number
    //           of an auto-numbered key;
    //   change  the record in the buffer, as the caller read it; a save is
    //           refused (Msg::RecordChanged, the form stays as typed) when
    //           another window or program changed or deleted it meanwhile;
    //   delete  confirmed (delete action Standard) and deleted through Primary;
    //           the response is RequestCompleted, or RequestCancelled when the
    //           user declined or the delete failed; the result is then
    //           Level::Notify so that the window never opens;
    //   view    nothing.
    // A copy of the primed record is kept to tell whether the user changed it.
    // Not 0 when the record could not be prepared.
    virtual int PrimeUpdate();
    // Stores the response and asks the window to close.
    void SetResponse(int response);

    // ---- window and companions -------------------------------------------------
    // Opens the window (if not open yet) and makes it this manager's.
    void Open(Window& window);
    // The window given to Open; null before.
    Window* GetWindow() const { return window_; }
    void AddItem(WindowComponent& component);
    // `control` ends the window with `response` (AddItem(CANCEL, RequestCancelled)).
    void AddItem(int control, int response);
    void RemoveItem(WindowComponent& component);
    const std::vector<WindowComponent*>& Items() const { return items_; }
    // The access object through which an insert is written.
    void AddUpdateFile(FileManager& file);
    FileManager* UpdateFile() const;

    // ---- field history -----------------------------------------------------------
    // The record's fields and their copies in the history record, pair by pair;
    // field n (from 1) of the history is the pair n.
    void AddHistoryFile(std::vector<FieldRef> record, std::vector<FieldRef> history);
    // The table's fields in declaration order, and their copies.
    void AddHistoryFile(const TableFile& file, std::vector<FieldRef> history);
    // The history key in `control` puts back field `field` of the history record.
    void AddHistoryField(int control, int field);
    // Copies the record into the history record (the OK control does it).
    void SaveHistory();
    // Puts back the history value of `control`'s field; false when it has none.
    bool RestoreField(int control);

    // The record differs from the copy PrimeUpdate kept.
    bool RecordChanged() const;
    // Initialised and not killed yet.
    bool Alive() const { return inited_ && !dead_; }

  private:
    void forgetSaved();
    void giveBackNumber();

    Window* window_ = nullptr;
    std::vector<WindowComponent*> items_;
    std::vector<std::pair<int, int>> responseControls_;  // control, response
    FileManager* updateFile_ = nullptr;
    std::vector<std::pair<FieldRef, FieldRef>> history_;  // record field, its copy
    std::vector<std::pair<int, int>> historyFields_;      // control, field number
    FileManager* savedIn_ = nullptr;
    int savedId_ = 0;
    FileManager* watchedIn_ = nullptr;  // the file whose record a change watches
    bool primedInsert_ = false;
    bool inited_ = false;
    bool dead_ = false;
};
