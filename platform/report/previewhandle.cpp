#include "previewhandle.h"

#include <QPointer>
#include <atomic>

#include "report/preview.h"
#include "ui/gui.h"
#include "ui/runtime.h"

struct PrintPreviewHandle::State {
    QPointer<PrintPreviewClass> window;  // GUI thread only
    std::atomic<bool> open{false};
};

PrintPreviewHandle::PrintPreviewHandle() : s_(std::make_shared<State>()) {}

PrintPreviewHandle::~PrintPreviewHandle() {
    close();
}

void PrintPreviewHandle::setIniManager(INIClass* ini, QStringView name) {
    ini_ = ini;
    iniName_ = name.toString();
}

void PrintPreviewHandle::setInitialZoom(int percent) {
    zoom_ = percent;
}

void PrintPreviewHandle::setUserZoom(bool allowed) {
    userZoom_ = allowed;
}

void PrintPreviewHandle::setMaximize(bool maximize) {
    maximize_ = maximize;
}

bool PrintPreviewHandle::open(std::shared_ptr<rt::ReportDocument> document) {
    close();
    if (!rt::running() || rt::gui::isGuiThread())
        return false;
    const int thread = THREAD();
    auto s = s_;
    s->open = true;
    const bool made = rt::gui::call([=, this] {
        // Over the frame, as the program's other windows are.
        auto* w = new PrintPreviewClass(rt::gui::frame());
        w->setIniManager(ini_, iniName_);
        w->setInitialZoom(zoom_);
        w->setUserZoom(userZoom_);
        w->setMaximize(maximize_);
        // Its dialogs are the thread's, as every other dialog of the thread is;
        // they hold up nothing but the preview.
        QObject::connect(w, &PrintPreviewClass::dialogOpened, w,
                         [thread](QWidget* dialog) { rt::gui::addDialog(thread, dialog, false); });
        QObject::connect(w, &PrintPreviewClass::closed, w, [s, thread] {
            s->open = false;
            rt::Event e;
            e.event = EVENT::CloseWindow;
            rt::postEvent(thread, std::move(e));
        });
        s->window = w;
        w->display(document);
    });
    if (!made)
        s->open = false;
    return made;
}

void PrintPreviewHandle::close() {
    auto s = s_;
    s->open = false;
    if (!rt::running() || rt::gui::isGuiThread())
        return;
    rt::gui::call([s] {
        PrintPreviewClass* w = s->window;
        if (!w)
            return;
        s->window = nullptr;
        // Closed by the program: nobody is to be told. Deleting it here is safe
        // while its dialogs are open or its pages are being written: they are
        // its children or stop with it, and none runs an event loop that
        // would return into it.
        QObject::disconnect(w, &PrintPreviewClass::closed, nullptr, nullptr);
        w->close();
        delete w;
    });
}

bool PrintPreviewHandle::isOpen() const {
    return s_->open;
}

PrintPreviewClass* PrintPreviewHandle::window() const {
    return s_->window;
}
