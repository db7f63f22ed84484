#pragma once
// The GUI side of a list control (GUI thread only): a table that draws the
// snapshot its procedure sent, with the format's columns, header groups,
// icons, styles and per-row colours, and a thumb of its own when the list is
// paged. It never reads the procedure's memory; what the user does goes back
// as events of the control.

#include <QFrame>
#include <QIcon>
#include <QPointer>
#include <QTableView>
#include <map>
#include <memory>
#include <set>

#include "listcontrol.h"

class QScrollBar;

namespace rt {
class GuiControl;
class GuiWindow;
}  // namespace rt

namespace lst {

class ListModel;
class ListTable;

class ListWidget : public QFrame {
  public:
    ListWidget(rt::GuiControl& control, QWidget* parent);
    ~ListWidget() override;

    // The list widget of a control, null when the control is not one.
    static ListWidget* of(rt::GuiControl& control);

    void setFormat(std::shared_ptr<const Format> format);
    void apply(const Snapshot& s);
    void setAlerts(const std::set<int>& keys) { alerts_ = keys; }
    void setPopup(const std::vector<std::pair<QString, int>>& entries) { popup_ = entries; }
    void setSortMark(int column, bool descending);
    void fitColumns(int column);

    QTableView* table() const;
    QScrollBar* thumb() const { return thumb_; }
    const Format* format() const { return format_.get(); }
    const Rows* rows() const;
    // The control, while its window lives: the window's controls go before the
    // widgets they made, which are deleted later.
    rt::GuiControl* control() const { return window_ ? control_ : nullptr; }
    bool paged() const { return paged_; }
    int rowsThatFit() const;

    // Drawing helpers for the delegate and the header.
    QIcon icon(int n);
    int px(int du) const;
    // The font and colours of list style n (0 the list's own).
    QFont styleFont(int style) const;
    QColor styleColor(int style, PROP p) const;

    // Sends an event of the control and counts it.
    void send(int event, const Value& value = {}, int keycode = 0);
    bool handleKey(int keycode, const QString& text);

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void reportPageSize();
    void applyColumns();
    void selectRow(int row);
    bool onProperty(PROP p, int index, const Value& v);

    rt::GuiControl* control_;
    QPointer<rt::GuiWindow> window_;
    ListTable* table_ = nullptr;
    ListModel* model_ = nullptr;
    QScrollBar* thumb_ = nullptr;
    std::shared_ptr<const Format> format_;
    std::set<int> alerts_;
    std::vector<std::pair<QString, int>> popup_;
    std::map<int, QIcon> icons_;
    std::uint64_t posted_ = 0;
    int reportedPage_ = -1;
    bool paged_ = false;
    bool applying_ = false;
    int lineHeight_ = 0;
    friend class ListTable;
};

}  // namespace lst
