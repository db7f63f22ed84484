#pragma once
// Windows as the program's procedures see them.
//
//   #include "controls/kaldo004.h"                   // control numbers: BROWSE_1, ...
//   Window QuickWindow(u"kaldor$kaldo004", u"P1$QUICKWINDOW");
//   QuickWindow.bind(SPINRTF, ref(::SPINRTF));        // USE variables
//   QuickWindow.open();
//   QuickWindow[PROP::Text] = u"Тема: " + TEMA.str();
//   QuickWindow[BROWSE_1][PROP::Tip] = text;
//   HIDE(INSERT_4, DELETE_4);  DISPLAY();  SETTARGET(QuickWindow);
//   SYSTEM[PROP::CharSet] = CHARSET::Cyrillic;
//   while (ACCEPT()) { switch (EVENT()) { ... } }
//   QuickWindow.close();
//
// A Window lives on the procedure thread that opened it. Its widgets live on the
// GUI thread: every change is carried there as a queued call, and the Window
// keeps what it needs to answer reads itself, so reads never wait for the GUI.
// Bound variables are read and written on the owning thread only: DISPLAY
// formats them through their pictures, and text typed into an entry reaches
// its variable (through the picture) when the thread takes the entry's event.

#include <QString>
#include <QStringView>
#include <functional>
#include <memory>

#include "core/ini.h"
#include "core/values.h"
#include "declaration.h"
#include "events.h"
#include "runtime.h"

class Window;

namespace rt {
class GuiControl;
class GuiWindow;
}  // namespace rt

// One property of a window, a control or the SYSTEM, read and written as a Value.
class Prop {
  public:
    Prop(Window* w, int control, PROP p, int index) : w_(w), control_(control), p_(p), i_(index) {}
    Prop& operator=(const Value& v);
    Prop& operator=(const Prop& o) { return *this = o.get(); }
    template <int N>
    Prop& operator=(const STRING<N>& s) {
        return *this = Value(s.clip());
    }
    Value get() const;
    operator Value() const { return get(); }  // NOLINT
    QString text() const { return get().toText(); }
    std::int64_t toInt() const { return get().toInt(); }
    friend bool operator==(const Prop& a, const Value& b) { return a.get() == b; }

  private:
    Window* w_;  // null: the SYSTEM
    int control_;
    PROP p_;
    int i_;
};

// A control of a window by its number.
class Control {
  public:
    Control(Window* w, int n) : w_(w), n_(n) {}
    Prop operator[](PROP p) const { return Prop(w_, n_, p, 0); }
    Prop operator()(PROP p, int index) const { return Prop(w_, n_, p, index); }
    int number() const { return n_; }
    void hide() const;
    void unhide() const;
    void disable() const;
    void enable() const;
    void select() const;
    void display() const;

  private:
    Window* w_;
    int n_;
};

class Window : public PlacedWindow {
  public:
    // The declaration `label` of the resource module `module` ("kaldor$kaldo004").
    Window(QStringView module, QStringView label);
    explicit Window(std::shared_ptr<const rt::WindowDecl> declaration);
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The declaration was found and read.
    bool valid() const;
    QString error() const;

    // Binds the USE variable of a control (entry, string, spin, check, option,
    // drop list, combo, progress). Bind before or after opening.
    Window& bind(int control, FieldRef variable);

    // Opens the window on the calling procedure thread: its other windows take
    // no input until this one closes. The first event is OpenWindow.
    bool open();
    void close();
    bool isOpen() const;

    Control operator[](int control) { return Control(this, control); }
    Prop operator[](PROP p) { return Prop(this, 0, p, 0); }
    Prop operator()(PROP p, int index) { return Prop(this, 0, p, index); }

    // Shows the bound variables of controls first..last (all when 0), through
    // their pictures.
    void display(int first = 0, int last = 0);
    void hide(int first, int last = 0);
    void unhide(int first, int last = 0);
    void disable(int first, int last = 0);
    void enable(int first, int last = 0);
    // Gives a control the focus.
    void select(int control);
    // Alerted keys: Key:: codes the window turns into AlertKey events.
    void alert(int keycode);
    void alertClear();
    bool alerted(int keycode) const;
    // Puts an event for this window into its thread's queue.
    bool post(int event, int control = 0);
    // Current item of a sheet (tab position), option box, drop list; 0 none.
    int choice(int control) const;
    // The control that has the focus, as last reported; 0 none.
    int focus() const;

    int number(QStringView equate) const;
    int count() const;
    const rt::WindowDecl& declaration() const;
    quint64 id() const;
    int thread() const;
    FieldRef variable(int control) const;

    Value get(int control, PROP p, int index = 0) const;
    void set(int control, PROP p, int index, const Value& v);

    // Placement of the window on the screen, in pixels (INIClass keeps it).
    WindowPlacement placement() const override;
    void setPlacement(const WindowPlacement& p) override;

    // Runs fn on the GUI thread with the control's widget, later; nothing
    // happens when the window or the control is gone by then. For the layers
    // that drive a widget of their own kind (lists, rich text, preview).
    void onGui(int control, std::function<void(rt::GuiControl&)> fn) const;
    void onGuiWindow(std::function<void(rt::GuiWindow&)> fn) const;
    // The same layers take the input events of their control on the owning
    // thread, before the program sees them (as the runtime does for entries):
    // `hook` returns false to keep an event from the program. An empty
    // function removes the hook.
    void onInput(int control, std::function<bool(rt::Event&)> hook);

    // One step of the window's event loop (what ACCEPT does for the thread's
    // current window).
    bool accept();

    struct Impl;
    friend struct WindowState;

  private:
    std::unique_ptr<Impl> d;
};

// The SYSTEM: properties of the whole process (CharSet, TipDisplay, NoTips, Icon).
class SystemObject {
  public:
    Prop operator[](PROP p) const { return Prop(nullptr, 0, p, 0); }
};
extern const SystemObject SYSTEM;

// The window that control statements without a window address: the one given
// to SETTARGET, else the thread's newest window.
void SETTARGET(Window& w);
void SETTARGET();
Window& TARGET();

void DISPLAY(int first = 0, int last = 0);
void HIDE(int first, int last = 0);
void UNHIDE(int first, int last = 0);
void DISABLE(int first, int last = 0);
void ENABLE(int first, int last = 0);
void SELECT(int control);
void ALERT(int keycode);
void ALERT();
int CHOICE(int control);
int FOCUS();
