// The GUI thread's state of the process: its windows, the dialogs of each
// thread, the frame, the SYSTEM settings; and the entries the procedure side
// reaches it through.

#include "gui.h"

#include <QApplication>
#include <QGridLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QStyle>

#include "detail.h"
#include "guihost.h"

namespace rt {

namespace detail {

namespace {

GuiHost* gHost = nullptr;

// A message box sizes itself by its text and buttons only: a short text under
// a long title ("Удаление записи") would leave the title bar cut. It is made
// wide enough for its title and the title bar's buttons.
void fitTitle(QMessageBox* box) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid)
        return;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    const int titleBarButtons = 4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int width =
        QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + titleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

GuiHost* guiHost() {
    return gHost;
}

void GuiHost::refreshBlocked(int thread) {
    bool dialogOpen = false;
    for (const DialogEntry& d : dialogs)
        dialogOpen = dialogOpen || (d.widget && d.thread == thread && d.blocks);
    const std::vector<quint64>& ids = order[thread];
    for (size_t i = 0; i < ids.size(); ++i) {
        auto it = windows.find(ids[i]);
        if (it != windows.end())
            it->second->setBlocked(dialogOpen || i + 1 != ids.size());
    }
}

void GuiHost::dropDialog(QObject* o) {
    std::set<int> threads;
    for (auto it = dialogs.begin(); it != dialogs.end();) {
        if (it->widget == o || !it->widget) {
            threads.insert(it->thread);
            it = dialogs.erase(it);
        } else {
            ++it;
        }
    }
    for (int t : threads)
        refreshBlocked(t);
}

// Titles are often built from fixed-width fields ("Тема: " & TEMA): their padding
// would push the title off-centre and follow it into the Window menu.
QString shownTitle(const QString& title) {
    qsizetype n = title.size();
    while (n > 0 && title.at(n - 1) == u' ')
        --n;
    return title.left(n);
}

}  // namespace detail

namespace gui {

using detail::gHost;

GuiWindow* window(quint64 id) {
    detail::guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return nullptr;
    auto it = gHost->windows.find(id);
    return it == gHost->windows.end() ? nullptr : it->second;
}

GuiWindow* topWindow(int thread) {
    detail::guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return nullptr;
    auto it = gHost->order.find(thread);
    if (it == gHost->order.end() || it->second.empty())
        return nullptr;
    return window(it->second.back());
}

std::vector<GuiWindow*> windows(int thread) {
    detail::guiThreadOnly(Q_FUNC_INFO);
    std::vector<GuiWindow*> out;
    if (!gHost)
        return out;
    for (quint64 id : gHost->order[thread]) {
        if (GuiWindow* w = window(id))
            out.push_back(w);
    }
    return out;
}

QMainWindow* frame() {
    detail::guiThreadOnly(Q_FUNC_INFO);
    return gHost ? gHost->frame.data() : nullptr;
}

std::vector<QWidget*> dialogs(int thread) {
    detail::guiThreadOnly(Q_FUNC_INFO);
    std::vector<QWidget*> out;
    if (!gHost)
        return out;
    for (const detail::DialogEntry& d : gHost->dialogs) {
        if (d.widget && d.thread == thread && d.widget->isVisible())
            out.push_back(d.widget);
    }
    return out;
}

void addDialog(int thread, QWidget* dialog, bool blocks) {
    detail::guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return;
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        detail::fitTitle(box);
    // The window that asks stands in sight under its question (a form the
    // frame's close box asks may lie behind the frame).
    if (GuiWindow* w = topWindow(thread); w && blocks && !w->isFrame() && w->top())
        w->top()->raise();
    gHost->dialogs.push_back({dialog, thread, blocks});
    QObject::connect(dialog, &QObject::destroyed, gHost, [](QObject* o) { gHost->dropDialog(o); });
    gHost->refreshBlocked(thread);
}

void removeDialog(QWidget* dialog) {
    detail::guiThreadOnly(Q_FUNC_INFO);
    if (gHost)
        gHost->dropDialog(dialog);
}

QWidget* dialogParent(int thread) {
    // Not the thread's own window: that one takes no input while the dialog is
    // open, and a disabled parent would disable the dialog too. The frame is
    // never disabled as a whole.
    (void)thread;
    return frame();
}

}  // namespace gui

namespace detail {

void startGui() {
    guiThreadOnly(Q_FUNC_INFO);
    gHost = new GuiHost;
    gHost->input = makeInputFilter(gHost);
    qApp->installEventFilter(gHost->input);
}

void stopGui() {
    guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return;
    qApp->removeEventFilter(gHost->input);
    std::map<quint64, GuiWindow*> all;
    all.swap(gHost->windows);
    for (auto& [id, w] : all)
        delete w;
    for (DialogEntry& d : gHost->dialogs) {
        if (d.widget)
            d.widget->deleteLater();
    }
    gHost->dialogs.clear();
    if (gHost->frame)
        delete gHost->frame;
    delete gHost;
    gHost = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void guiOpen(const OpenRequest& r, OpenResult* result) {
    guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return;
    auto* w = new GuiWindow(r, r.decl->frame ? nullptr : gHost->frame.data());
    gHost->windows[r.id] = w;
    gHost->order[r.ctx->number].push_back(r.id);
    if (r.decl->frame && !gHost->frame) {
        gHost->frame = qobject_cast<QMainWindow*>(w->top());
        gHost->frameId = r.id;
    }
    w->showWindow(r);
    gHost->refreshBlocked(r.ctx->number);
    result->sizes = w->defaultSizes();
    result->placement = w->placement();
    result->ok = true;
}

void guiClose(quint64 id) {
    guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return;
    auto it = gHost->windows.find(id);
    if (it == gHost->windows.end())
        return;
    GuiWindow* w = it->second;
    gHost->windows.erase(it);
    const int t = w->thread();
    std::erase(gHost->order[t], id);
    if (gHost->frameId == id) {
        gHost->frameId = 0;
        // MDI children of other threads outlive the frame only as long as the
        // program does; their threads are told to close them.
        gHost->frame = nullptr;
    }
    w->closing();
    delete w;
    gHost->refreshBlocked(t);
}

void guiApply(quint64 id, int control, PROP p, int index, const Value& v) {
    if (GuiWindow* w = gui::window(id))
        w->apply(control, p, index, v);
}

void guiScreen(quint64 id, const std::vector<std::pair<int, Value>>& values) {
    if (GuiWindow* w = gui::window(id)) {
        for (const auto& [n, v] : values)
            w->screen(n, v);
    }
}

void guiAlerts(quint64 id, const std::set<int>& alerts) {
    if (GuiWindow* w = gui::window(id))
        w->setAlerts(alerts);
}

void guiRefuse(quint64 id, int control) {
    if (GuiWindow* w = gui::window(id))
        w->refuse(control);
}

void guiSelect(quint64 id, int control) {
    if (GuiWindow* w = gui::window(id))
        w->select(control);
}

void guiPlacement(quint64 id, const WindowPlacement& p) {
    if (GuiWindow* w = gui::window(id))
        w->setPlacement(p);
}

void guiSystem(PROP p, const Value& v) {
    guiThreadOnly(Q_FUNC_INFO);
    if (!gHost)
        return;
    switch (p) {
        case PROP::NoTips:
            gHost->noTips = v.toInt() != 0;
            break;
        case PROP::TipDisplay:
            gHost->tipMs = int(v.toInt());
            for (auto& [id, w] : gHost->windows)
                w->applyTipDuration(gHost->tipMs);
            break;
        case PROP::Icon:
            QApplication::setWindowIcon(gui::icon(v.toText()));
            break;
        default:
            break;  // CharSet: every text is Unicode already
    }
}

void guiWithControl(quint64 id, int control, const std::function<void(GuiControl&)>& fn) {
    if (GuiWindow* w = gui::window(id)) {
        if (GuiControl* c = w->control(control))
            fn(*c);
    }
}

void guiWithWindow(quint64 id, const std::function<void(GuiWindow&)>& fn) {
    if (GuiWindow* w = gui::window(id))
        fn(*w);
}

}  // namespace detail

}  // namespace rt
