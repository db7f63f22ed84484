#pragma once
// The GUI side of the windows, for the layers that put widgets of their own
// kind into a window (the list's view and model, the rich-text editor, the
// report preview) and for the test driver. Everything here runs on the GUI
// thread only: reach it from a procedure thread through Window::onGui.
//
// A layer that drives a control of its own kind either
//   - registers a factory for a declared kind (registerControlType("preview", ...)),
//     whose widget the window places at the declared position, or
//   - takes the widget the runtime made (a QTableView for "list", a QTextEdit for
//     "text", a QComboBox for "combo") through Window::onGui and installs its
//     model, delegates and signal connections there.
// It sends the control's events to the owning thread with GuiControl::post, and
// may take over properties (onProperty) and the display of the bound variable
// (onScreen).

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/ini.h"
#include "core/values.h"
#include "declaration.h"
#include "events.h"

class QAction;
class QButtonGroup;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMenuBar;
class QMouseEvent;
class QStatusBar;
class QToolBar;

namespace rt {

namespace detail {
struct ThreadContext;
struct OpenRequest;
}  // namespace detail

class GuiWindow;
struct ControlKinds;

class GuiControl {
  public:
    int number() const { return decl_->number; }
    const ControlDecl& decl() const { return *decl_; }
    QWidget* widget() const { return widget_; }
    template <class T>
    T* as() const {
        return qobject_cast<T*>(widget_.data());
    }
    GuiWindow& window() const { return *window_; }

    // Sends an event of this control to the thread that owns the window.
    void post(int event, const Value& value = {}, int keycode = 0) const;

    // The last value a property was given (IconList, Format, LineHeight, ...).
    Value property(PROP p, int index = 0) const;
    // Icon n of the control's icon list (PROP::IconList), null when none.
    QIcon icon(int n) const;

    // Installed by a layer that drives the control: a property it handles
    // itself (return true), and the display of the bound variable.
    std::function<bool(PROP p, int index, const Value& v)> onProperty;
    std::function<void(const Value& v)> onScreen;

  private:
    friend class GuiWindow;
    friend class GuiInput;
    friend struct ControlKinds;
    // The line the user types into: an entry's, an editable combo's.
    QLineEdit* typedLine() const;
    // Leaving the line, or closing its window: what the user changed in it
    // goes to the owning thread.
    void completeTyping() const;

    const ControlDecl* decl_ = nullptr;
    QPointer<QWidget> widget_;
    GuiWindow* window_ = nullptr;
    QString lastShown;  // the text the runtime last put into an entry
    bool hidden = false;
    int color = -1, fontColor = -1, selColor = -1, selFill = -1;
    QButtonGroup* group = nullptr;  // radios of an option box
    std::map<std::pair<int, int>, Value> props;
};

class GuiWindow : public QObject {
  public:
    GuiWindow(const detail::OpenRequest& request, QMainWindow* frame);
    ~GuiWindow() override;

    quint64 id() const { return id_; }
    int thread() const;
    const WindowDecl& decl() const { return *decl_; }
    // The window on the screen: a top-level widget, an MDI subwindow or the
    // frame's main window.
    QWidget* top() const { return top_; }
    // The area the controls sit on; dialog units count from its corner.
    QWidget* client() const { return client_; }
    GuiControl* control(int n) const;
    QAction* menuItem(int n) const;
    QMenuBar* menuBar() const { return menuBar_; }
    QStatusBar* statusBar() const { return statusBar_; }
    QMdiArea* mdiArea() const { return mdi_; }
    bool isFrame() const { return decl_->frame; }

    // Dialog units of the window's font in pixels.
    double unitX() const { return unitX_; }
    double unitY() const { return unitY_; }
    int px(int du) const;
    int py(int du) const;

    // Sends an event to the owning thread.
    void post(int event, int field, const Value& v = {}, int keycode = 0, bool input = true) const;
    bool alerted(int code) const { return alerts_.count(code) != 0; }
    int defaultButton() const { return defaultButton_; }

    // Internal: what the procedure side sends.
    void apply(int control, PROP p, int index, const Value& v);
    void screen(int control, const Value& v);
    void setAlerts(const std::set<int>& a) { alerts_ = a; }
    void refuse(int control);
    void select(int control);
    void setPlacement(const WindowPlacement& p);
    WindowPlacement placement() const;
    void setBlocked(bool blocked);
    void showWindow(const detail::OpenRequest& request);
    std::map<int, std::pair<int, int>> defaultSizes() const;
    void refreshVisibility();
    void applyTipDuration(int ms);
    void standardAction(int action);
    void closing() { closing_ = true; }
    void focusChanged(int control);
    int focusedControl() const { return focused_; }
    // Maximising or restoring: the keyboard moves by the toolkit, not the user.
    bool holdingFocus() const { return holdFocus_ != 0; }
    // What the close box does: completes the entry being typed into, then
    // asks the window's thread to close the window (the frame: every window's
    // entry first, as the frame asks the other windows to close).
    void requestClose();
    // Sends the text typed into the entry that has (or last had) the window's
    // focus, when the window has not taken it yet.
    void completeEntry();
    // A text in the first zone of the window's status bar; a window without
    // one shows it in the frame's.
    void showStatus(const QString& text);
    // The status text of a control: its message, for a button without one
    // its tip.
    QString statusTextOf(int control) const;

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    friend struct ControlKinds;
    // Building (guiwindow.cpp, guicontrols.cpp).
    void build(QMainWindow* frame);
    void buildShell(QMainWindow* frame);
    void buildStatusZones();
    void buildControls();
    void layerControls();
    void buildMenus();
    QWidget* makeControl(GuiControl& c);
    void connectControl(GuiControl& c);
    void placeControl(GuiControl& c);
    void applyColors(GuiControl& c);
    void applyFont(GuiControl& c, PROP p, const Value& v);
    // Properties (guiproperties.cpp).
    void applyWindow(PROP p, int index, const Value& v);
    void applyWindowGeometry(PROP p, int du);
    void applyMenuItem(int n, PROP p, const Value& v);
    void applyTab(GuiControl& c, PROP p, const Value& v);
    void applyControl(GuiControl& c, PROP p, const Value& v);
    void applyColor(GuiControl& c, PROP p, int bgr);
    // The MDI area the window's Window menu and arranging actions work on.
    QMdiArea* frameArea() const;
    void fillWindowList(QMenu* menu);
    void reportGeometry();
    void comeBack();
    void keepFocus(int control);
    void focusControl(int control);
    void offsetFromTwins();

    quint64 id_;
    std::shared_ptr<detail::ThreadContext> ctx_;
    std::shared_ptr<const WindowDecl> decl_;
    QFont font_;
    double unitX_ = 1, unitY_ = 1;
    QPointer<QWidget> top_;
    QWidget* shell_ = nullptr;
    QWidget* client_ = nullptr;
    QMdiSubWindow* sub_ = nullptr;
    QMdiArea* mdi_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    std::vector<QLabel*> zones_;
    QString statusText_;                                 // the window's own text of the first zone
    std::vector<std::unique_ptr<GuiControl>> controls_;  // controls_[n - 1]
    std::map<int, QAction*> menuItems_;
    std::set<int> alerts_;
    std::vector<std::unique_ptr<GuiControl>> dummy_;
    int defaultButton_ = 0;
    int focused_ = 0;
    int comeBackTo_ = 0;  // the control that had the focus when the window was blocked
    int holdFocus_ = 0;   // the control that had it when the window's state changed
    bool closing_ = false;
    bool shown_ = false;
    bool blocked_ = false;
    QSize lastSize_;
};

using ControlFactory = std::function<QWidget*(GuiControl& control, QWidget* parent)>;
// Makes controls of a declared kind with `factory`; also replaces the runtime's
// own widget of a built-in kind ("list"). Call before windows open.
void registerControlType(const QString& kind, ControlFactory factory);

namespace gui {
GuiWindow* window(quint64 id);
// The newest open window of a procedure thread.
GuiWindow* topWindow(int thread);
std::vector<GuiWindow*> windows(int thread);
// The application frame's main window, null while none is open.
QMainWindow* frame();
// Message boxes and file, folder and printer dialogs a thread has open, newest last.
std::vector<QWidget*> dialogs(int thread);
// Registers a dialog shown for `thread`; while one that blocks is open the
// thread's windows take no input. It leaves the list when destroyed.
void addDialog(int thread, QWidget* dialog, bool blocks);
// Takes a dialog off the list as soon as it is answered, before its thread
// goes on, so that the thread's windows take input again at once.
void removeDialog(QWidget* dialog);
// A parent for a thread's dialog: its newest window (or the frame).
QWidget* dialogParent(int thread);

int keyCode(const QKeyEvent* e);
int mouseCode(const QMouseEvent* e);
QColor color(int bgr);
QIcon icon(const QString& name);
QFont font(const QFont& base, const QString& name, int size, int style);
}  // namespace gui

}  // namespace rt
