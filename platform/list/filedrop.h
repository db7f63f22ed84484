#pragma once
// FileDropComboClass: a combo whose drop list is filled from a table, shown
// through the combo's format string (columns, icons, styles as a list's).
//
//   FDCB6.Init(ref(ZAM.ZAKLAD), ZAM_ZAKLAD, ref(QUEUE_FILEDROPCOMBO.VIEWPOSITION),
//              view, QUEUE_FILEDROPCOMBO, *Relate_ZAMETKA, ThisWindow, GlobalErrors, 0, 1, 0);
//   FDCB6.AddSortOrder(ZAM_K2);
//   FDCB6.AddRange(ZAM.IDDOK, *Relate_ZAMETKA, *Relate_KALDOR);
//   FDCB6.AddField(ZAM.ZAKLAD, QUEUE_FILEDROPCOMBO.ZAM_ZAKLAD);
//
// The drop list holds the rows of its order within its range (at most 1,000),
// read again whenever the range's parent value moves (the card under a list's
// cursor) and on Reset(true). Choosing a row puts the row's value into the
// combo's variable and, with `synchronize`, the row's whole record into the
// record buffer, before the window's handlers see the combo's Accepted event.
// Reading the list leaves the record buffer as it was.

#include <QString>
#include <set>
#include <vector>

#include "listcontrol.h"
#include "queue.h"
#include "view.h"
#include "windowmanager.h"

class ErrorClass;

namespace lst {

class FileDropComboClass : public WindowComponent {
  public:
    // `useField`: the combo's variable (a table field); the position field of
    // the queue, the view, the queue, the table's relation object and the
    // window's manager. `removeDuplicates`: a row whose use field repeats an
    // earlier one is left out (compared `caseSensitive` or without case);
    // `synchronize`: a choice reads the row's record into the record buffer.
    virtual void Init(FieldRef useField, int control, FieldRef position, ViewClass& view,
                      QueueClass& queue, RelationManager& relation, WindowManager& manager,
                      ErrorClass& errors, BYTE removeDuplicates = 0, BYTE synchronize = 1,
                      BYTE caseSensitive = 0);
    void Kill() override;

    void AddSortOrder(const KEY& key);
    void AddRange(FieldRef field, RelationManager& child, RelationManager& parent);
    template <typename T>
    void AddRange(T& field, RelationManager& child, RelationManager& parent) {
        AddRange(ref(field), child, parent);
    }
    void AddField(FieldRef tableField, FieldRef queueField);
    template <typename T, typename Q>
    void AddField(T& tableField, Q& queueField) {
        AddField(ref(tableField), ref(queueField));
    }

    // Copies the view's fields of the row just read into the queue's buffer.
    virtual void SetQueueRecord();
    // Reads the rows again when `force`, when never read, or when the range's
    // parent value moved; 1 when it did.
    virtual BYTE ResetQueue(bool force);

    void Reset(bool force) override { ResetQueue(force); }
    void UpdateWindow() override;

    ListControl& List() { return list_; }
    int Records() const { return queue_ ? queue_->records() : 0; }

  private:
    struct Range {
        FieldRef field;
        FieldRef parentField;
        Value used;
    };
    bool attach();
    bool takeInput(rt::Event& e);
    bool rangeMoved() const;

    ListControl list_;
    WindowManager* manager_ = nullptr;
    ViewClass* view_ = nullptr;
    QueueClass* queue_ = nullptr;
    FieldRef useField_;
    int control_ = 0;
    int positionField_ = -1;
    KEY key_;
    std::vector<Range> ranges_;
    std::vector<std::pair<FieldRef, FieldRef>> fields_;
    bool removeDuplicates_ = false;
    bool synchronize_ = true;
    bool caseSensitive_ = false;
    bool read_ = false;
};

}  // namespace lst
