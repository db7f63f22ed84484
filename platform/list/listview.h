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

class QComboBox;
class QScrollBar;

namespace rt {
class GuiControl;
class GuiWindow;
}  // namespace rt

namespace lst {

class ListModel;
class ListTable;

// What drawing a list needs of the widget that shows it, and what its procedure
// sends it: the list control's own widget, or the drop list of a combo. It
// reaches its control only while the control's window lives: a window's
// controls go before the widgets they made, which are deleted later.
class ListSurface {
  public:
    explicit ListSurface(rt::GuiControl& control);
    virtual ~ListSurface();

    // The surface of a control, null when it has none.
    static ListSurface* of(rt::GuiControl& control);

    virtual void setFormat(std::shared_ptr<const Format> format) = 0;
    virtual void apply(const Snapshot& s) = 0;
    virtual void setAlerts(const std::set<int>& keys) { (void)keys; }
    virtual void setPopup(const std::vector<std::pair<QString, int>>& entries) { (void)entries; }
    virtual void setSortMark(int column, bool descending) {
        (void)column;
        (void)descending;
    }
    virtual void fitColumns(int column) { (void)column; }

    const Format* format() const { return format_.get(); }
    rt::GuiControl* control() const { return window_ ? control_ : nullptr; }
    virtual QString tip() const = 0;
    // The list's own font.
    virtual QFont baseFont() const = 0;

    QIcon icon(int n);
    int px(int du) const;
    // The font and colours of list style n (0 the list's own).
    QFont styleFont(int style) const;
    QColor styleColor(int style, PROP p) const;
    // Sends an event of the control and counts it.
    void send(int event, const Value& value = {}, int keycode = 0);

  protected:
    // Icons, line height and styles set on the control.
    bool takeProperty(PROP p, QTableView* view, int* lineHeight);

    std::shared_ptr<const Format> format_;
    std::uint64_t posted_ = 0;

  private:
    rt::GuiControl* control_;
    QPointer<rt::GuiWindow> window_;
    std::map<int, QIcon> icons_;
};

class ListWidget : public QFrame, public ListSurface {
  public:
    ListWidget(rt::GuiControl& control, QWidget* parent);
    ~ListWidget() override;

    // The list widget of a control, null when the control is not one.
    static ListWidget* of(rt::GuiControl& control);

    void setFormat(std::shared_ptr<const Format> format) override;
    void apply(const Snapshot& s) override;
    void setAlerts(const std::set<int>& keys) override { alerts_ = keys; }
    void setPopup(const std::vector<std::pair<QString, int>>& entries) override {
        popup_ = entries;
    }
    void setSortMark(int column, bool descending) override;
    void fitColumns(int column) override;
    QString tip() const override { return toolTip(); }
    QFont baseFont() const override;

    QTableView* table() const;
    QScrollBar* thumb() const { return thumb_; }
    const Rows* rows() const;
    bool paged() const { return paged_; }
    int rowsThatFit() const;
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

    ListTable* table_ = nullptr;
    ListModel* model_ = nullptr;
    QScrollBar* thumb_ = nullptr;
    std::set<int> alerts_;
    std::vector<std::pair<QString, int>> popup_;
    int reportedPage_ = -1;
    bool paged_ = false;
    bool applying_ = false;
    int lineHeight_ = 0;
    friend class ListTable;
};

// The drop list of a combo shown through a format: the table of rows a
// FileDropComboClass reads. Choosing a row sends NewSelection (the row), then
// the combo's Accepted (its text).
class ComboList : public QObject, public ListSurface {
  public:
    // Makes the drop list of the control's combo box (once).
    static ComboList* attach(rt::GuiControl& control);

    void setFormat(std::shared_ptr<const Format> format) override;
    void apply(const Snapshot& s) override;
    QString tip() const override;
    QFont baseFont() const override;

    QTableView* view() const { return view_; }
    const Rows* rows() const;

  private:
    ComboList(rt::GuiControl& control, QComboBox* combo);
    bool onProperty(PROP p, const Value& v);

    QComboBox* combo_;
    QTableView* view_ = nullptr;
    ListModel* model_ = nullptr;
    int lineHeight_ = 0;
};

}  // namespace lst
