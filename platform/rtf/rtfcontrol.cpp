#include "rtfcontrol.h"

#include <QCoreApplication>
#include <QTextDocument>
#include <atomic>

#include "core/errors.h"
#include "rtf.h"
#include "rtfeditor.h"
#include "ui/dialogs.h"
#include "ui/gui.h"
#include "ui/runtime.h"
#include "ui/window.h"

using rt::rtfctl::Editor;

struct RTFControlClass::Impl {
    quint64 window = 0;  // the window's id; 0 while not bound
    int control = 0;

    // Runs fn with the editor on the GUI thread, later (post) or now (call).
    template <class F>
    void post(F fn) const {
        rt::gui::post([w = window, c = control, fn = std::move(fn)] {
            if (Editor* e = Editor::find(w, c))
                fn(*e);
        });
    }
    template <class F>
    bool call(F fn) const {
        bool found = false;
        rt::gui::call([w = window, c = control, &fn, &found] {
            if (Editor* e = Editor::find(w, c)) {
                found = true;
                fn(*e);
            }
        });
        return found;
    }
    int dialog(std::function<QWidget*(Editor&, std::function<void(int)>)> make) const {
        return rt::runDialog([w = window, c = control,
                              make = std::move(make)](std::function<void(int)> done) -> QWidget* {
            Editor* e = Editor::find(w, c);
            return e ? make(*e, std::move(done)) : nullptr;
        });
    }
};

RTFControlClass::RTFControlClass() : d(std::make_unique<Impl>()) {}

RTFControlClass::~RTFControlClass() {
    Kill();
}

int* RTFControlClass::field(int kind) {
    switch (kind) {
        case RTFTOOL::Print:
            return &CTLBUTTONPRINT;
        case RTFTOOL::Find:
            return &CTLBUTTONFIND;
        case RTFTOOL::FindAndReplace:
            return &CTLBUTTONFINDANDREPLACE;
        case RTFTOOL::Cut:
            return &CTLBUTTONCUT;
        case RTFTOOL::Copy:
            return &CTLBUTTONCOPY;
        case RTFTOOL::Paste:
            return &CTLBUTTONPASTE;
        case RTFTOOL::Undo:
            return &CTLBUTTONUNDO;
        case RTFTOOL::Redo:
            return &CTLBUTTONREDO;
        case RTFTOOL::Alignment:
            return &CTLALIGNMENT;
        case RTFTOOL::AlignmentJust:
            return &CTLALIGNMENTJUST;
        case RTFTOOL::FontName:
            return &CTLFONTNAME;
        case RTFTOOL::FontSize:
            return &CTLFONTSIZE;
        case RTFTOOL::FontScript:
            return &CTLFONTSCRIPT;
        case RTFTOOL::Bold:
            return &CTLBOLD;
        case RTFTOOL::Italic:
            return &CTLITALIC;
        case RTFTOOL::Underline:
            return &CTLUNDERLINE;
        case RTFTOOL::FontColor:
            return &CTLFONTCOLOR;
        case RTFTOOL::FontBkColor:
            return &CTLFONTBKCOLOR;
        default:
            return nullptr;
    }
}

namespace {

constexpr int kKinds[] = {
    RTFTOOL::Print,      RTFTOOL::Find,          RTFTOOL::FindAndReplace, RTFTOOL::Cut,
    RTFTOOL::Copy,       RTFTOOL::Paste,         RTFTOOL::Undo,           RTFTOOL::Redo,
    RTFTOOL::Alignment,  RTFTOOL::AlignmentJust, RTFTOOL::FontName,       RTFTOOL::FontSize,
    RTFTOOL::FontScript, RTFTOOL::Bold,          RTFTOOL::Italic,         RTFTOOL::Underline,
    RTFTOOL::FontColor,  RTFTOOL::FontBkColor,
};

}  // namespace

void RTFControlClass::Init(int control, QStringView fileName) {
    Init(TARGET(), control, fileName);
}

void RTFControlClass::Init(Window& window, int control, QStringView fileName) {
    Kill();
    if (!window.isOpen())
        return;
    d->window = window.id();
    d->control = control;
    QStringList menu;
    if (const QString extra = ContextMenuText(); !extra.trimmed().isEmpty())
        menu = extra.split(u'|', Qt::SkipEmptyParts);
    std::vector<std::pair<int, int>> tools;
    for (int kind : kKinds) {
        if (const int c = *field(kind))
            tools.emplace_back(kind, c);
    }
    bool attached = false;
    rt::gui::call([w = d->window, control, &tools, &menu, &attached] {
        rt::GuiWindow* gw = rt::gui::window(w);
        rt::GuiControl* c = gw ? gw->control(control) : nullptr;
        Editor* e = c ? Editor::attach(*c) : nullptr;
        if (!e)
            return;
        attached = true;
        e->setMenuEntries(menu);
        for (const auto& [kind, ctl] : tools)
            e->bindTool(kind, ctl);
    });
    if (!attached) {
        d->window = 0;
        d->control = 0;
        return;
    }
    if (!fileName.isEmpty())
        Load(fileName);
}

void RTFControlClass::Kill() {
    if (d->window == 0)
        return;
    rt::gui::post([w = d->window, c = d->control] { delete Editor::find(w, c); });
    d->window = 0;
    d->control = 0;
}

int RTFControlClass::control() const {
    return d->control;
}

void RTFControlClass::AddItem(int kind, int control) {
    int* f = field(kind);
    if (!f)
        return;
    *f = control;
    if (d->window != 0)
        d->post([kind, control](Editor& e) { e.bindTool(kind, control); });
}

bool RTFControlClass::Load(QStringView fileName) {
    if (d->window == 0) {
        rt::setError(ErrCode::NotOpen, fileName);
        return false;
    }
    // The file is read here, on the window's thread; the editor only takes
    // the finished document.
    auto* doc = new QTextDocument;
    bool plain = false;
    const bool ok = rt::loadDocumentFile(fileName, doc, &plain);
    const Editor::Content content =
        ok && plain ? Editor::Content::PlainFile : Editor::Content::Document;
    doc->moveToThread(QCoreApplication::instance()->thread());
    auto taken = std::make_shared<std::atomic<bool>>(false);
    rt::gui::call([w = d->window, c = d->control, doc, content, taken] {
        taken->store(true);
        if (Editor* e = Editor::find(w, c))
            e->show(doc, content);
        else
            delete doc;
    });
    if (!taken->load())
        delete doc;  // the GUI has ended: nothing shows it any more
    return ok;
}

bool RTFControlClass::Save(QStringView fileName, int mode) {
    (void)mode;
    QByteArray data;
    if (d->window == 0 || !d->call([&data](Editor& e) { data = e.rtf(); })) {
        rt::setError(ErrCode::NotOpen, fileName);
        return false;
    }
    return rt::saveRtfData(fileName, data);
}

void RTFControlClass::FindDlg(QStringView text) {
    if (d->window == 0)
        return;
    d->dialog([t = text.toString()](Editor& e, std::function<void(int)> done) {
        return e.findDialog(false, t, std::move(done));
    });
}

void RTFControlClass::ReplaceDlg(QStringView text) {
    if (d->window == 0)
        return;
    d->dialog([t = text.toString()](Editor& e, std::function<void(int)> done) {
        return e.findDialog(true, t, std::move(done));
    });
}

bool RTFControlClass::Print() {
    if (d->window == 0)
        return false;
    return d->dialog([](Editor& e, std::function<void(int)> done) {
        return e.printDialog(std::move(done));
    }) == 1;
}

void RTFControlClass::Undo() {
    d->post([](Editor& e) { e.editAction(RTFTOOL::Undo); });
}

void RTFControlClass::Redo() {
    d->post([](Editor& e) { e.editAction(RTFTOOL::Redo); });
}

void RTFControlClass::Cut() {
    d->post([](Editor& e) { e.editAction(RTFTOOL::Cut); });
}

void RTFControlClass::Copy() {
    d->post([](Editor& e) { e.editAction(RTFTOOL::Copy); });
}

void RTFControlClass::Paste() {
    d->post([](Editor& e) { e.editAction(RTFTOOL::Paste); });
}

QString RTFControlClass::ContextMenuText() {
    return {};
}

void RTFControlClass::TakeContextMenu(int entry) {
    (void)entry;
}

int RTFControlClass::TakeEvent() {
    if (d->window == 0)
        return 0;
    const rt::Event& e = rt::currentEvent();
    if (e.window != d->window || e.field <= 0)
        return 0;
    if (e.event == ContextMenuEvent && e.field == d->control) {
        TakeContextMenu(int(e.value.toInt()));
        return 0;
    }
    if (e.event != EVENT::Accepted)
        return 0;
    int kind = 0;
    for (int k : kKinds) {
        if (*field(k) == e.field) {
            kind = k;
            break;
        }
    }
    const Value value = e.value;
    switch (kind) {
        case RTFTOOL::Print:
            Print();
            break;
        case RTFTOOL::Find:
            FindDlg();
            break;
        case RTFTOOL::FindAndReplace:
            ReplaceDlg();
            break;
        case RTFTOOL::Cut:
        case RTFTOOL::Copy:
        case RTFTOOL::Paste:
        case RTFTOOL::Undo:
        case RTFTOOL::Redo:
            d->post([kind](Editor& ed) { ed.editAction(kind); });
            break;
        case RTFTOOL::Alignment:
            d->post([pos = int(value.toInt())](Editor& ed) { ed.applyAlignment(pos); });
            break;
        case RTFTOOL::Bold:
        case RTFTOOL::Italic:
        case RTFTOOL::Underline:
            d->post([kind, on = value.toInt() != 0](Editor& ed) { ed.applyStyle(kind, on); });
            break;
        case RTFTOOL::FontName:
        case RTFTOOL::FontSize:
        case RTFTOOL::FontScript:
        case RTFTOOL::FontColor:
        case RTFTOOL::FontBkColor:
            d->post([kind](Editor& ed) { ed.applyChoice(kind); });
            break;
        default:
            break;
    }
    return 0;
}
