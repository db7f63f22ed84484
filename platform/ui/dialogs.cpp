#include "dialogs.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

#include "core/errors.h"
#include "core/paths.h"
#include "core/picture.h"
#include "detail.h"
#include "gui.h"

namespace {

std::mutex gLock;
QString gHelpFile;
QString gPrinter;

// What the user answered a dialog.
struct Given {
    bool done = false;
    int code = 0;
    QString text;
};

// The answer a dialog sends back to the thread that waits for it.
struct Answer {
    const std::shared_ptr<rt::detail::Waiter> waiter = rt::detail::currentWaiter();
    Given given;  // guarded by the waiter's lock

    void give(int c, const QString& t = {}) {
        waiter->signal([&] {
            if (!given.done)  // the first answer stands
                given = {true, c, t};
        });
    }
};

// Waits for the answer (the thread's user's turn) and returns it; not given
// when the program ends first.
Given waitAnswer(Answer& a) {
    std::unique_lock<std::mutex> l(a.waiter->m);
    rt::detail::wait(*a.waiter, l, rt::detail::WaitFor::Answer, [&] { return a.given.done; });
    return a.given;
}

bool canAsk() {
    return rt::running() && !rt::shuttingDown() && !rt::gui::isGuiThread();
}

struct ButtonName {
    int code;
    QMessageBox::StandardButton qt;
    const char16_t* text;
};
const ButtonName kButtons[] = {
    {BUTTON::Ok, QMessageBox::Ok, u"ОК"},
    {BUTTON::Yes, QMessageBox::Yes, u"Да"},
    {BUTTON::No, QMessageBox::No, u"Нет"},
    {BUTTON::Abort, QMessageBox::Abort, u"Прервать"},
    {BUTTON::Retry, QMessageBox::Retry, u"Повторить"},
    {BUTTON::Ignore, QMessageBox::Ignore, u"Пропустить"},
    {BUTTON::Cancel, QMessageBox::Cancel, u"Отмена"},
    {BUTTON::Help, QMessageBox::Help, u"Справка"},
};

int firstButton(int buttons) {
    for (const ButtonName& b : kButtons) {
        if (buttons & b.code)
            return b.code;
    }
    return BUTTON::Ok;
}

QMessageBox::Icon iconOf(const QString& icon) {
    if (icon == ICON::Exclamation)
        return QMessageBox::Warning;
    if (icon == ICON::Question)
        return QMessageBox::Question;
    if (icon == ICON::Hand)
        return QMessageBox::Critical;
    if (icon == ICON::Asterisk)
        return QMessageBox::Information;
    return QMessageBox::NoIcon;
}

// "All Files|*.*|Rich text|*.rtf" as Qt writes filters.
QStringList filterList(QStringView filters) {
    QStringList out;
    const QStringList parts = filters.toString().split(u'|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(u';', u' ');
        // "*.*" meant every file, with or without an extension.
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        out << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), pattern.trimmed());
    }
    return out;
}

// The kinds of entry the file dialog names, which Qt's Russian translation of
// this version leaves in English.
class MissingTexts : public QTranslator {
  public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct {
            const char* source;
            const char16_t* text;
        } texts[] = {{"Drive", u"Диск"},
                     {"Folder", u"Папка"},
                     {"Shortcut", u"Ярлык"},
                     {"Unknown", u"Неизвестно"}};
        for (const auto& t : texts) {
            if (qstrcmp(source, t.source) == 0)
                return QString::fromUtf16(t.text);
        }
        return {};
    }
    bool isEmpty() const override { return false; }
};

class Reporter : public ErrorReporter {
  public:
    bool report(const ErrorReport& r) override {
        if (!canAsk() || !rt::isProcedureThread())
            return StderrReporter().report(r);
        QString text = r.text;
        // The title names the procedure the report comes from.
        const QString title =
            r.procedure.isEmpty() ? r.title : QStringLiteral("%1 — %2").arg(r.title, r.procedure);
        using S = ErrorReport::Severity;
        if (r.severity == S::Question) {
            return MESSAGE(text, title, ICON::Question, BUTTON::Yes | BUTTON::No, BUTTON::No) ==
                   BUTTON::Yes;
        }
        MESSAGE(text, title, r.severity == S::Notify ? ICON::Asterisk : ICON::Exclamation);
        return false;
    }
};

}  // namespace

int MESSAGE(QStringView text, QStringView caption, const QString& icon, int buttons,
            int defaultButton) {
    if (buttons == 0)
        buttons = BUTTON::Ok;
    if (defaultButton == 0 || !(buttons & defaultButton))
        defaultButton = firstButton(buttons);
    if (!canAsk()) {
        std::fprintf(stderr, "%s%s\n",
                     caption.isEmpty()
                         ? ""
                         : (caption.toString() + QStringLiteral(": ")).toUtf8().constData(),
                     text.toString().toUtf8().constData());
        return defaultButton;
    }
    const int thread = THREAD();
    const QString t = text.toString();
    const QString c = caption.isEmpty() ? QStringLiteral("Калдор") : caption.toString();
    // Closed without a button: the escape answer, else the default.
    const int closed = buttons & BUTTON::Cancel ? BUTTON::Cancel : defaultButton;
    auto make = [thread, t, c, icon, buttons, defaultButton](std::function<void(int)> done) {
        auto* box = new QMessageBox(iconOf(icon), c, t, QMessageBox::NoButton,
                                    rt::gui::dialogParent(thread));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        for (const ButtonName& b : kButtons) {
            if (!(buttons & b.code))
                continue;
            QPushButton* pb = box->addButton(b.qt);
            pb->setText(QString::fromUtf16(b.text));
            pb->setProperty("kaldorButton", b.code);
            if (b.code == defaultButton)
                box->setDefaultButton(pb);
            if (b.code == BUTTON::Cancel || b.code == BUTTON::No)
                box->setEscapeButton(pb);
        }
        QObject::connect(box, &QMessageBox::buttonClicked, box, [done, box](QAbstractButton* b) {
            done(b->property("kaldorButton").toInt());
            box->close();
        });
        return static_cast<QWidget*>(box);
    };
    return rt::runDialog(make, closed);
}

bool FILEDIALOG(QStringView title, FieldRef file, QStringView filters, int flags) {
    if (!canAsk() || !file.valid())
        return false;
    auto answer = std::make_shared<Answer>();
    const int thread = THREAD();
    const QString start = rt::nativePath(CLIP(file.get().toText()));
    const QString t = title.toString();
    const QStringList f = filterList(filters);
    rt::gui::post([answer, thread, start, t, f, flags] {
        auto* dlg = new QFileDialog(rt::gui::dialogParent(thread), t);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->setWindowModality(Qt::NonModal);
        dlg->setOption(QFileDialog::DontUseNativeDialog, true);
        if (flags & FILEDLG::Directory) {
            dlg->setFileMode(QFileDialog::Directory);
            dlg->setOption(QFileDialog::ShowDirsOnly, true);
            if (!start.isEmpty())
                dlg->setDirectory(start);
        } else {
            dlg->setAcceptMode(flags & FILEDLG::Save ? QFileDialog::AcceptSave
                                                     : QFileDialog::AcceptOpen);
            dlg->setFileMode(flags & FILEDLG::Save    ? QFileDialog::AnyFile
                             : flags & FILEDLG::Multi ? QFileDialog::ExistingFiles
                                                      : QFileDialog::ExistingFile);
            if (!f.isEmpty())
                dlg->setNameFilters(f);
            if (!start.isEmpty()) {
                const QFileInfo fi(start);
                dlg->setDirectory(fi.isDir() ? start : fi.absolutePath());
                if (!fi.isDir())
                    dlg->selectFile(fi.fileName());
            }
        }
        QObject::connect(dlg, &QFileDialog::filesSelected, dlg,
                         [answer, dlg](const QStringList& files) {
                             rt::gui::removeDialog(dlg);
                             answer->give(1, files.join(u'|'));
                         });
        QObject::connect(dlg, &QDialog::rejected, dlg, [answer, dlg] {
            rt::gui::removeDialog(dlg);
            answer->give(0);
        });
        QObject::connect(dlg, &QObject::destroyed, [answer] { answer->give(0); });
        rt::gui::addDialog(thread, dlg, true);
        dlg->show();
    });
    const Given given = waitAnswer(*answer);
    if (!given.done || given.code != 1)
        return false;
    QString chosen = given.text;
    QString folder;
    if (flags & FILEDLG::Directory) {
        // A folder on one of the program's drives is named as the program names
        // the others ("c:\kaldor_demo\new\"), so a base keeps its name whatever
        // folder the drive maps to.
        chosen = rt::programPath(rt::programFolder(chosen));
        folder = chosen;
    } else {
        folder = QFileInfo(chosen.section(u'|', 0, 0)).absolutePath();
    }
    file.set(chosen);
    if (!(flags & FILEDLG::KeepDir) && !folder.isEmpty())
        rt::setCurrentFolder(folder);
    return true;
}

bool PRINTERDIALOG(QStringView title) {
    if (!canAsk())
        return false;
    auto answer = std::make_shared<Answer>();
    const int thread = THREAD();
    const QString t = title.toString();
    rt::gui::post([answer, thread, t] {
        auto* printer = new QPrinter;
        {
            std::lock_guard<std::mutex> l(gLock);
            if (!gPrinter.isEmpty())
                printer->setPrinterName(gPrinter);
        }
        auto* dlg = new QPrintDialog(printer, rt::gui::dialogParent(thread));
        if (!t.isEmpty())
            dlg->setWindowTitle(t);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->setWindowModality(Qt::NonModal);
        QObject::connect(dlg, &QDialog::rejected, dlg, [answer, dlg] {
            rt::gui::removeDialog(dlg);
            answer->give(0);
        });
        QObject::connect(dlg, &QDialog::accepted, dlg, [answer, printer, dlg] {
            rt::gui::removeDialog(dlg);
            {
                std::lock_guard<std::mutex> l(gLock);
                gPrinter = printer->printerName();
            }
            answer->give(1);
        });
        QObject::connect(dlg, &QObject::destroyed, [answer, printer] {
            answer->give(0);
            delete printer;
        });
        rt::gui::addDialog(thread, dlg, true);
        dlg->show();
    });
    const Given given = waitAnswer(*answer);
    return given.done && given.code == 1;
}

void HELP(QStringView file) {
    std::lock_guard<std::mutex> l(gLock);
    gHelpFile = file.toString().trimmed();
}

namespace rt {

int runDialog(std::function<QWidget*(std::function<void(int)> done)> make, int fallback) {
    if (!canAsk())
        return fallback;
    auto answer = std::make_shared<Answer>();
    const int thread = THREAD();
    rt::gui::post([answer, thread, make = std::move(make), fallback] {
        auto shown = std::make_shared<QPointer<QWidget>>();
        QWidget* dlg = make([answer, shown](int code) {
            if (*shown)
                gui::removeDialog(*shown);
            answer->give(code);
        });
        if (!dlg) {
            answer->give(fallback);
            return;
        }
        *shown = dlg;
        QObject::connect(dlg, &QObject::destroyed, [answer, fallback] { answer->give(fallback); });
        gui::addDialog(thread, dlg, true);
        dlg->show();
        dlg->raise();
        dlg->activateWindow();
    });
    const Given given = waitAnswer(*answer);
    return given.done ? given.code : fallback;
}

QString helpFileName() {
    std::lock_guard<std::mutex> l(gLock);
    QString name = gHelpFile.isEmpty() ? QStringLiteral("kaldor") : gHelpFile;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".HLP");
    return name;
}

QString printerName() {
    std::lock_guard<std::mutex> l(gLock);
    return gPrinter;
}

void showPrinterSetup(int thread, QWidget* parent) {
    auto* printer = new QPrinter;
    {
        std::lock_guard<std::mutex> l(gLock);
        if (!gPrinter.isEmpty())
            printer->setPrinterName(gPrinter);
    }
    auto* dlg = new QPrintDialog(printer, parent);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowModality(Qt::NonModal);
    QObject::connect(dlg, &QDialog::accepted, dlg, [printer] {
        std::lock_guard<std::mutex> l(gLock);
        gPrinter = printer->printerName();
    });
    QObject::connect(dlg, &QObject::destroyed, [printer] { delete printer; });
    gui::addDialog(thread, dlg, false);
    dlg->show();
}

void installTranslations() {
    // Qt's dialogs date files by the system's locale, which Qt reads from the
    // environment once, at its first use: it is read here as a Russian one.
    // Then the environment is as it was, for the C library (whose Russian
    // locale may not be installed). No procedure thread runs yet to read the
    // environment meanwhile. Once: a second reading would change nothing.
    static bool systemLocaleRead = false;
    if (!std::exchange(systemLocaleRead, true)) {
        const char* names[] = {"LC_ALL", "LC_TIME"};
        QByteArray kept[2];
        bool set[2];
        for (int i = 0; i < 2; ++i) {
            set[i] = qEnvironmentVariableIsSet(names[i]);
            kept[i] = qgetenv(names[i]);
        }
        qunsetenv("LC_ALL");
        qputenv("LC_TIME", "ru_RU.UTF-8");
        (void)QLocale::system().dateFormat();
        for (int i = 0; i < 2; ++i) {
            if (set[i])
                qputenv(names[i], kept[i]);
            else
                qunsetenv(names[i]);
        }
    }
    QLocale::setDefault(programLocale());
    static QPointer<QTranslator> installed;
    if (installed || !QCoreApplication::instance())
        return;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (!qt->load(programLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        std::fprintf(stderr, "kaldor: no Russian translation of Qt's dialogs in %s\n",
                     folder.toLocal8Bit().constData());
        delete qt;
        return;
    }
    QCoreApplication::installTranslator(qt);
    // Asked first: the few texts of the file dialog that translation lacks.
    QCoreApplication::installTranslator(new MissingTexts(qt));
    installed = qt;
}

void installMessageReporter() {
    ErrorClass::setReporter(std::make_shared<Reporter>());
}

void removeMessageReporter() {
    ErrorClass::setReporter(nullptr);
}

}  // namespace rt
