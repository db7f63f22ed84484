// The rich-text editor with its tool bar and a Russian document, for looking
// at it as a user would: `rtfctl_demo [document.rtf] [--find text]
// [--replace] [--screenshot out.png]` writes a picture of the screen once the
// window is up (with the find dialog, or with --replace the find-and-replace
// dialog, open over it when --find is given) and quits.
// scripts/screenshot-rtf runs it under Xvfb.

#include <QAbstractButton>
#include <QApplication>
#include <QScreen>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/resources.h"
#include "editor_window.h"
#include "rtfcontrol.h"
#include "ui/gui.h"
#include "ui/window.h"

namespace {

using namespace editorwindow;

DECIMAL<2> spinrtf = 10;

void editorWindow(const QString& document, const QString& find, bool replace) {
    Window w(u"rtfctltest", u"EDITOR");
    w.bind(SPINRTF, ref(spinrtf));
    RTFControlClass rtf;
    bindTools(rtf);
    if (!w.open())
        return;
    rtf.Init(RTFTEXTBOX);
    w[RTFTEXTBOX][PROP::FontSize] = spinrtf.toInt();
    if (document.isEmpty())
        w[RTFTEXTBOX][PROP::Text] =
            u"\r\n...Для просмотра выберите инструмент [Показать документ]...";
    else
        rtf.Load(document);
    while (ACCEPT()) {
        rtf.TakeEvent();
        if (EVENT() == EVENT::NewSelection && FIELD() == SPINRTF)
            w[RTFTEXTBOX][PROP::FontSize] = spinrtf.toInt();
        if (EVENT() == EVENT::User && !find.isEmpty())
            replace ? rtf.ReplaceDlg(find) : rtf.FindDlg(find);
    }
    rtf.Kill();
    w.close();
}

}  // namespace

int main(int argc, char** argv) {
    rt::addResourceFolder(QStringLiteral(KALDOR_RTFCTL_TEST_RESOURCES));
    QString shot, document, find;
    bool replace = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--screenshot" && i + 1 < argc)
            shot = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--find" && i + 1 < argc)
            find = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--replace")
            replace = true;
        else if (!a.startsWith("--"))
            document = QString::fromLocal8Bit(a);
    }
    return rt::run(argc, argv, [shot, document, find, replace] {
        const LONG editor =
            START([document, find, replace] { editorWindow(document, find, replace); }, 0);
        if (shot.isEmpty()) {
            rt::waitThreadEnd(editor, 24 * 3600 * 1000);
            return;
        }
        const auto settle = [editor] {
            while (!rt::threadIdle(editor))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        };
        settle();
        if (!find.isEmpty()) {
            POST(EVENT::User, 0, editor);
            settle();
            // The dialog finds the text once, as the user's first press would.
            rt::gui::call([editor] {
                for (QWidget* d : rt::gui::dialogs(editor)) {
                    if (auto* b = d->findChild<QAbstractButton*>(QStringLiteral("findNext")))
                        b->click();
                }
            });
            settle();
        }
        bool saved = false;
        rt::gui::call([&] { saved = QGuiApplication::primaryScreen()->grabWindow(0).save(shot); });
        std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(shot));
        rt::gui::call([editor] {
            for (QWidget* d : rt::gui::dialogs(editor))
                d->close();
        });
        POST(EVENT::CloseWindow, 0, editor);
        rt::waitThreadEnd(editor, 5000);
    });
}
