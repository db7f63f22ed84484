// The rich-text control class driven as a user drives it: a window on its own
// thread holds an editor with every kind of tool, hands each event to the
// editor's TakeEvent first (as the document list and the card form do), and
// runs what a test hands it (Load, Save, FindDlg) on the window's thread.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <atomic>
#include <deque>
#include <mutex>

#include "core/errors.h"
#include "core/fonts.h"
#include "core/paths.h"
#include "editor_window.h"
#include "qt_print.h"
#include "rtf.h"
#include "rtfcontrol.h"
#include "ui/window.h"
#include "uidriver.h"

using namespace uitest;

namespace {

using namespace editorwindow;

QString corpus(const char* name) {
    return qEnvironmentVariable("KALDOR_TEST_DATA") + QStringLiteral("/rtf/") +
           QString::fromUtf8(name);
}

const char* const kPolozhenie = "lo-cp1251-polozhenie.rtf";
const QString kPassage = QStringLiteral("определяет порядок ведения реестра");

// An editor with context-menu entries of its own.
class NotingControl : public RTFControlClass {
  public:
    QString ContextMenuText() override { return QStringLiteral("Закладка|-|Выписка"); }
    void TakeContextMenu(int entry) override { chosen = entry; }
    std::atomic<int> chosen{0};
};

struct Editors {
    Window& window;
    NotingControl& main;
    RTFControlClass& second;
};

class EditorWindow {
  public:
    EditorWindow() {
        thread_ = START([this] { run(); });
        EXPECT_TRUE(waitWindow(thread_));
    }
    ~EditorWindow() {
        POST(EVENT::CloseWindow, 0, thread_);
        EXPECT_TRUE(rt::waitThreadEnd(thread_, kWait));
    }
    int thread() const { return thread_; }

    // Runs fn on the window's thread; returns once it has run, or once the
    // thread waits for a dialog that fn opened.
    void on(std::function<void(Editors&)> fn) {
        post(std::move(fn));
        ASSERT_TRUE(waitIdle(thread_));
    }
    // The same without waiting.
    void post(std::function<void(Editors&)> fn) {
        {
            std::lock_guard<std::mutex> l(m_);
            jobs_.push_back(std::move(fn));
        }
        POST(EVENT::User, 0, thread_);
    }

  private:
    void run() {
        Window w(u"rtfctltest", u"EDITOR");
        NotingControl rtf;
        RTFControlClass second;
        // Tools bound before Init, as the windows bind them, but for the
        // highlighter, bound after.
        bindTools(rtf, RTFTOOL::FontBkColor);
        second.AddItem(RTFTOOL::Bold, RTFTOOLBOLD_2);
        if (!w.open())
            return;
        rtf.Init(RTFTEXTBOX);
        rtf.AddItem(RTFTOOL::FontBkColor, RTFTOOLFONTBKCOLOR);
        second.Init(w, RTFTEXTBOX_2);
        Editors e{w, rtf, second};
        while (ACCEPT()) {
            rtf.TakeEvent();
            second.TakeEvent();
            if (EVENT() != EVENT::User)
                continue;
            for (;;) {
                std::function<void(Editors&)> job;
                {
                    std::lock_guard<std::mutex> l(m_);
                    if (jobs_.empty())
                        break;
                    job = std::move(jobs_.front());
                    jobs_.pop_front();
                }
                job(e);
            }
        }
        rtf.Kill();
        second.Kill();
        w.close();
    }

    LONG thread_ = 0;
    std::mutex m_;
    std::deque<std::function<void(Editors&)>> jobs_;
};

// --- What the user sees (read on the GUI thread) ---------------------------

QTextEdit* editOf(int thread, int control = RTFTEXTBOX) {
    return qobject_cast<QTextEdit*>(widget(thread, control));
}

QString plain(int thread, int control = RTFTEXTBOX) {
    return text(thread, control);
}

// Selects the first occurrence of `what` (the cursor goes to its end).
void selectText(int thread, const QString& what, int control = RTFTEXTBOX) {
    onGui([&] {
        QTextEdit* e = editOf(thread, control);
        const QTextCursor hit = e->document()->find(what);
        ASSERT_FALSE(hit.isNull()) << what.toStdString();
        e->setTextCursor(hit);
    });
    waitIdle(thread);
}

// Puts the cursor `offset` characters into the first occurrence of `what`.
void cursorInto(int thread, const QString& what, int offset = 1) {
    onGui([&] {
        QTextEdit* e = editOf(thread);
        QTextCursor hit = e->document()->find(what);
        ASSERT_FALSE(hit.isNull()) << what.toStdString();
        hit.setPosition(hit.selectionStart() + offset);
        e->setTextCursor(hit);
    });
    waitIdle(thread);
}

// The format of the first character of the first occurrence of `what`.
QTextCharFormat formatOf(QTextDocument* doc, const QString& what) {
    const QTextCursor hit = doc->find(what);
    if (hit.isNull())
        return {};
    QTextCursor c(doc);
    c.setPosition(hit.selectionStart() + 1);
    return c.charFormat();
}

QTextCharFormat formatOf(int thread, const QString& what, int control = RTFTEXTBOX) {
    return onGui([&] { return formatOf(editOf(thread, control)->document(), what); });
}

Qt::Alignment alignmentOf(QTextDocument* doc, const QString& what) {
    return doc->find(what).blockFormat().alignment();
}

QString selected(int thread) {
    return onGui([&] { return editOf(thread)->textCursor().selectedText(); });
}

// The entries of a drop list, with "*" after those that show an icon.
QStringList entries(int thread, int control) {
    return onGui([&] {
        QStringList out;
        auto* cb = qobject_cast<QComboBox*>(widget(thread, control));
        for (int i = 0; cb && i < cb->count(); ++i)
            out << cb->itemText(i) + QString(cb->itemIcon(i).isNull() ? "" : "*");
        return out;
    });
}

bool checked(int thread, int control) {
    return text(thread, control) == u"1";
}

// --- The find dialog ----------------------------------------------------------

QDialog* dialogOf(int thread) {
    const std::vector<QWidget*> d = rt::gui::dialogs(thread);
    for (auto it = d.rbegin(); it != d.rend(); ++it) {
        if ((*it)->objectName().startsWith(u"rtf"))
            return qobject_cast<QDialog*>(*it);
    }
    return nullptr;
}

QString dialogField(int thread, const char* name) {
    return onGui([&] {
        QDialog* d = dialogOf(thread);
        auto* e = d ? d->findChild<QLineEdit*>(QString::fromUtf8(name)) : nullptr;
        return e ? e->text() : QStringLiteral("<none>");
    });
}

void dialogType(int thread, const char* name, const QString& text) {
    onGui([&] {
        QDialog* d = dialogOf(thread);
        ASSERT_NE(d, nullptr);
        d->findChild<QLineEdit*>(QString::fromUtf8(name))->setText(text);
    });
}

void dialogPress(int thread, const char* name) {
    onGui([&] {
        QDialog* d = dialogOf(thread);
        ASSERT_NE(d, nullptr);
        auto* b = d->findChild<QAbstractButton*>(QString::fromUtf8(name));
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    });
    waitIdle(thread);
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

bool load(EditorWindow& w, const QString& file, int* error = nullptr) {
    bool ok = false;
    w.on([&](Editors& e) {
        ok = e.main.Load(file);
        if (error)
            *error = ERRORCODE();
    });
    return ok;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(Load, ShowsARussianDocumentInItsOwnFormatting) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    EXPECT_TRUE(plain(t).contains(kPassage));
    EXPECT_TRUE(plain(t).startsWith(u"ПОЛОЖЕНИЕ"));
    // The document's text is not the hint's: not italic, not the hint's colour.
    EXPECT_FALSE(formatOf(t, kPassage).fontItalic());
    const QColor ink = onGui([&] {
        QTextEdit* e = editOf(t);
        return e->palette().color(QPalette::Active, QPalette::Text);
    });
    EXPECT_EQ(ink, QApplication::palette().color(QPalette::Active, QPalette::Text));
    // The tools show the formatting at the cursor, which is at the start.
    EXPECT_FALSE(text(t, RTFTOOLFONTNAME).isEmpty());
    EXPECT_TRUE(checked(t, RTFTOOLBOLD));  // the title is bold
}

TEST(Load, FailuresLeaveTheControlEmptyAndSayWhy) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));

    int code = 0;
    EXPECT_FALSE(load(w, dir.filePath(QStringLiteral("нет-такого.rtf")), &code));
    EXPECT_EQ(code, ErrCode::NoFile);
    EXPECT_TRUE(plain(t).isEmpty());

    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    EXPECT_FALSE(load(w, dir.filePath(QStringLiteral("нет/папки.rtf")), &code));
    EXPECT_EQ(code, ErrCode::PathNotFound);
    EXPECT_TRUE(plain(t).isEmpty());

    const QString binary = writeFile(dir, "picture.rtf", QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 12));
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    EXPECT_FALSE(load(w, binary, &code));
    EXPECT_EQ(code, ErrCode::InvalidFile);
    EXPECT_TRUE(plain(t).isEmpty());

    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    EXPECT_FALSE(load(w, dir.path(), &code));  // a folder
    EXPECT_NE(code, 0);
    EXPECT_TRUE(plain(t).isEmpty());

    // An empty name, as a cancelled file choice leaves it.
    EXPECT_FALSE(load(w, QString(), &code));
    EXPECT_NE(code, 0);

    // The editor is usable after a failure.
    type(t, RTFTEXTBOX, QStringLiteral("новый текст"), false);
    EXPECT_EQ(plain(t), u"новый текст");
}

TEST(Load, PlainTextFilesShowAsText) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    const QString utf8 =
        writeFile(dir, "a.txt", QStringLiteral("Приказ № 5\r\nо реестре\n").toUtf8());
    int code = -1;
    EXPECT_TRUE(load(w, utf8, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(plain(t), u"Приказ № 5\nо реестре\n");

    // Windows-1251: "Реестр" in its bytes.
    const QString cp1251 = writeFile(dir, "b.txt", QByteArray("\xD0\xE5\xE5\xF1\xF2\xF0"));
    EXPECT_TRUE(load(w, cp1251));
    EXPECT_EQ(plain(t), u"Реестр");

    // An empty file is an empty document.
    EXPECT_TRUE(load(w, writeFile(dir, "empty.rtf", {})));
    EXPECT_TRUE(plain(t).isEmpty());
}

TEST(SaveLoad, SaveThenLoadKeepsTheEdits) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));

    selectText(t, kPassage);
    click(t, RTFTOOLBOLD);
    selectText(t, QStringLiteral("хранятся бессрочно"));
    chooseEntry(t, RTFTOOLFONTBKCOLOR, 13);  // Blue
    selectText(t, QStringLiteral("Основные задачи"));
    click(t, RTFTOOLALIGNMENTCENTER);
    selectText(t, QStringLiteral("обязательные требования"));
    chooseEntry(t, RTFTOOLFONTSIZE, 6);    // 14
    chooseEntry(t, RTFTOOLFONTCOLOR, 10);  // Red

    const QString saved = dir.filePath(QStringLiteral("Test.rtf"));
    bool ok = false;
    w.on([&](Editors& e) {
        ok = e.main.Save(saved, 0);
        // The file is complete when Save returns.
        QTextDocument doc;
        ok = ok && rt::loadRtfFile(saved, &doc) && doc.toPlainText().contains(kPassage);
    });
    ASSERT_TRUE(ok);
    ASSERT_TRUE(load(w, writeFile(dir, "other.txt", "other")));
    ASSERT_TRUE(load(w, saved));

    EXPECT_EQ(formatOf(t, kPassage).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(t, QStringLiteral("хранятся")).background().color(), QColor(0, 0, 255));
    EXPECT_EQ(onGui([&] {
                  return alignmentOf(editOf(t)->document(), QStringLiteral("Основные задачи"));
              }) & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    const QTextCharFormat big = formatOf(t, QStringLiteral("обязательные"));
    EXPECT_EQ(big.fontPointSize(), 14);
    EXPECT_EQ(big.foreground().color(), QColor(255, 0, 0));
    // What was not touched stays as it was.
    EXPECT_NE(formatOf(t, QStringLiteral("Сведения")).fontWeight(), QFont::Bold);
}

TEST(SaveLoad, SaveFailsWithoutTouchingTheOldFile) {
    EditorWindow w;
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    bool ok = true;
    int code = 0;
    w.on([&](Editors& e) {
        ok = e.main.Save(dir.filePath(QStringLiteral("нет/Test.rtf")), 0);
        code = ERRORCODE();
    });
    EXPECT_FALSE(ok);
    EXPECT_NE(code, 0);
    // An editor never filled saves an empty document, which reads back empty.
    w.on([&](Editors& e) {
        ok = e.second.Save(dir.filePath(QStringLiteral("zfile.rtf")), 0);
        QTextDocument doc;
        ok = ok && rt::loadRtfFile(dir.filePath(QStringLiteral("zfile.rtf")), &doc) &&
             doc.toPlainText().isEmpty();
    });
    EXPECT_TRUE(ok);
}

TEST(Find, FindDlgOpensWithThePassageAndFindsIt) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    std::atomic<bool> returned{false};
    w.on([&](Editors& e) {
        e.main.FindDlg(kPassage);
        returned = true;
    });
    ASSERT_TRUE(waitDialog(t));
    EXPECT_FALSE(returned);
    EXPECT_EQ(dialogField(t, "findText"), kPassage);
    // The window waits for the dialog.
    EXPECT_FALSE(windowEnabled(t));

    dialogPress(t, "findNext");
    EXPECT_EQ(selected(t), kPassage);
    // No second occurrence: the user is told so, and the selection stays.
    dialogPress(t, "findNext");
    EXPECT_EQ(messageText(t), QStringLiteral("Текст «%1» не найден.").arg(kPassage));
    EXPECT_TRUE(answerMessage(t, BUTTON::Ok));
    EXPECT_EQ(selected(t), kPassage);

    dialogPress(t, "close");
    ASSERT_TRUE(waitIdle(t));
    EXPECT_TRUE(returned);
    EXPECT_TRUE(windowEnabled(t));
}

TEST(Find, OptionsOfTheDialog) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(
        w, writeFile(dir, "a.txt", QStringLiteral("Реестр реестра. Реестр; реестр").toUtf8())));
    // The tool opens the dialog with the selected text.
    selectText(t, QStringLiteral("Реестр"));
    click(t, RTFTOOLFIND);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_EQ(dialogField(t, "findText"), u"Реестр");
    const auto position = [&] {
        return onGui([&] { return editOf(t)->textCursor().selectionStart(); });
    };
    // Case ignored: "реестра" is next.
    dialogPress(t, "findNext");
    EXPECT_EQ(position(), 7);
    // Whole words and case: the third word, then nothing further on.
    onGui([&] {
        dialogOf(t)->findChild<QCheckBox*>(QStringLiteral("wholeWords"))->setChecked(true);
    });
    onGui(
        [&] { dialogOf(t)->findChild<QCheckBox*>(QStringLiteral("matchCase"))->setChecked(true); });
    dialogPress(t, "findNext");
    EXPECT_EQ(position(), 16);
    dialogPress(t, "findNext");
    EXPECT_TRUE(answerMessage(t, BUTTON::Ok));
    // Upwards: back to the first.
    onGui([&] { dialogOf(t)->findChild<QRadioButton*>(QStringLiteral("up"))->setChecked(true); });
    dialogPress(t, "findNext");
    EXPECT_EQ(position(), 0);
    dialogPress(t, "close");
    EXPECT_TRUE(waitIdle(t));
    // The next dialog offers the last text sought.
    cursorInto(t, QStringLiteral("реестра"));
    click(t, RTFTOOLFIND);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_EQ(dialogField(t, "findText"), u"Реестр");
    dialogPress(t, "close");
}

TEST(Find, ReplaceAllThenUndoAndRedo) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    const QString before = plain(t);
    const int count = int(before.count(QStringLiteral("реестр"), Qt::CaseInsensitive));
    ASSERT_GT(count, 3);

    click(t, RTFTOOLFINDANDREPLACE);
    ASSERT_TRUE(waitDialog(t));
    dialogType(t, "findText", QStringLiteral("реестр"));
    dialogType(t, "replaceText", QStringLiteral("перечень"));
    dialogPress(t, "replaceAll");
    EXPECT_EQ(messageText(t), QStringLiteral("Произведено замен: %1.").arg(count));
    EXPECT_TRUE(answerMessage(t, BUTTON::Ok));
    dialogPress(t, "close");
    ASSERT_TRUE(waitIdle(t));
    const QString after = plain(t);
    EXPECT_EQ(after.count(QStringLiteral("реестр"), Qt::CaseInsensitive), 0);
    EXPECT_TRUE(after.contains(QStringLiteral("ведения переченьа")));

    // The replacement is one step of undo.
    click(t, RTFTOOLUNDO);
    EXPECT_EQ(plain(t), before);
    click(t, RTFTOOLREDO);
    EXPECT_EQ(plain(t), after);
}

TEST(Find, ReplaceOneAtATimeAndAReplacementHoldingTheText) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, writeFile(dir, "a.txt", "ab ab ab")));
    w.on([](Editors& e) { e.main.ReplaceDlg(u"ab"); });
    ASSERT_TRUE(waitDialog(t));
    dialogType(t, "replaceText", QStringLiteral("abab"));
    dialogPress(t, "replace");  // finds the first
    dialogPress(t, "replace");  // replaces it, finds the second
    EXPECT_EQ(plain(t), u"abab ab ab");
    EXPECT_EQ(onGui([&] { return editOf(t)->textCursor().selectionStart(); }), 5);
    dialogPress(t, "replaceAll");
    EXPECT_TRUE(answerMessage(t, BUTTON::Ok));
    // Every "ab" of the text as it stands, those put in by the last step too.
    EXPECT_EQ(plain(t), u"abababab abab abab");
    dialogPress(t, "close");
}

TEST(Tools, BoldItalicUnderlineFollowTheCursor) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    selectText(t, QStringLiteral("нормативных"));
    EXPECT_FALSE(checked(t, RTFTOOLBOLD));
    click(t, RTFTOOLBOLD);
    click(t, RTFTOOLITALIC);
    click(t, RTFTOOLUNDERLINE);
    const QTextCharFormat f = formatOf(t, QStringLiteral("нормативных"));
    EXPECT_EQ(f.fontWeight(), QFont::Bold);
    EXPECT_TRUE(f.fontItalic());
    EXPECT_TRUE(f.fontUnderline());
    // The neighbours are untouched.
    EXPECT_NE(formatOf(t, QStringLiteral("документов (")).fontWeight(), QFont::Bold);

    cursorInto(t, QStringLiteral("Сведения"), 2);
    EXPECT_FALSE(checked(t, RTFTOOLBOLD));
    EXPECT_FALSE(checked(t, RTFTOOLITALIC));
    cursorInto(t, QStringLiteral("нормативных"), 3);
    EXPECT_TRUE(checked(t, RTFTOOLBOLD));
    EXPECT_TRUE(checked(t, RTFTOOLITALIC));
    EXPECT_TRUE(checked(t, RTFTOOLUNDERLINE));
    // The document's own bold text shows as bold too.
    cursorInto(t, QStringLiteral("порядок ведения реестра нормативных"), 2);
    EXPECT_TRUE(checked(t, RTFTOOLBOLD));

    // Switching bold off again; undo brings it back.
    selectText(t, QStringLiteral("нормативных"));
    click(t, RTFTOOLBOLD);
    EXPECT_NE(formatOf(t, QStringLiteral("нормативных")).fontWeight(), QFont::Bold);
    click(t, RTFTOOLUNDO);
    EXPECT_EQ(formatOf(t, QStringLiteral("нормативных")).fontWeight(), QFont::Bold);
}

TEST(Tools, TypingAfterBoldWithoutASelectionIsBold) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, writeFile(dir, "a.txt", "абв")));
    onGui([&] { editOf(t)->moveCursor(QTextCursor::End); });
    click(t, RTFTOOLBOLD);
    EXPECT_TRUE(checked(t, RTFTOOLBOLD));
    onGui([&] { editOf(t)->insertPlainText(QStringLiteral("где")); });
    EXPECT_EQ(formatOf(t, QStringLiteral("где")).fontWeight(), QFont::Bold);
    EXPECT_NE(formatOf(t, QStringLiteral("абв")).fontWeight(), QFont::Bold);

    // Typing just after a footnote's mark gives text, not more of the mark.
    ASSERT_TRUE(load(w, writeFile(dir, "n.rtf",
                                  "{\\rtf1 Text{\\super\\chftn}{\\footnote {\\super\\chftn} "
                                  "note}\\par}")));
    onGui([&] {
        QTextCursor c = editOf(t)->document()->find(QStringLiteral("Text"));
        c.clearSelection();
        c.movePosition(QTextCursor::NextCharacter);  // past the mark
        editOf(t)->setTextCursor(c);
        editOf(t)->insertPlainText(QStringLiteral("ёж"));
    });
    EXPECT_EQ(onGui([&] { return editOf(t)->toPlainText(); }).toStdString(), "Text1ёж\n\n1 note");
    const QTextCharFormat typed = formatOf(t, QStringLiteral("ёж"));
    EXPECT_FALSE(typed.hasProperty(rt::rtfnote::kMark));
    EXPECT_EQ(typed.verticalAlignment(), QTextCharFormat::AlignNormal);
}

TEST(Tools, HighlighterAndFontColour) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    // Seventeen entries, the classic sixteen colours and "Automatic", each with a swatch.
    const QStringList names = entries(t, RTFTOOLFONTBKCOLOR);
    EXPECT_EQ(names.join(u'|'),
              u"Black*|Maroon*|Green*|Olive*|Navy*|Purple*|Teal*|Gray*|Silver*|Red*|"
              u"Lime*|Yellow*|Blue*|Fuchia*|Aqua*|White*|Automatic*");

    selectText(t, QStringLiteral("нормативных документов"));
    chooseEntry(t, RTFTOOLFONTBKCOLOR, 12);  // Yellow
    EXPECT_EQ(formatOf(t, QStringLiteral("нормативных")).background().color(), QColor(255, 255, 0));
    cursorInto(t, QStringLiteral("Сведения"));
    EXPECT_EQ(text(t, RTFTOOLFONTBKCOLOR), u"Automatic");
    cursorInto(t, QStringLiteral("нормативных"));
    EXPECT_EQ(text(t, RTFTOOLFONTBKCOLOR), u"Yellow");

    // "Automatic" takes the highlight off.
    selectText(t, QStringLiteral("нормативных документов"));
    chooseEntry(t, RTFTOOLFONTBKCOLOR, 17);
    EXPECT_EQ(formatOf(t, QStringLiteral("нормативных")).background().style(), Qt::NoBrush);

    selectText(t, QStringLiteral("Сведения"));
    chooseEntry(t, RTFTOOLFONTCOLOR, 5);  // Navy
    EXPECT_EQ(formatOf(t, QStringLiteral("Сведения")).foreground().color(), QColor(0, 0, 128));
    cursorInto(t, QStringLiteral("Сведения"));
    EXPECT_EQ(text(t, RTFTOOLFONTCOLOR), u"Navy");
    // A colour of the document's that the list lacks shows as none of them.
    cursorInto(t, QStringLiteral("обязательные требования"));
    EXPECT_EQ(formatOf(t, QStringLiteral("обязательные")).foreground().color(), QColor(192, 0, 0));
    EXPECT_TRUE(text(t, RTFTOOLFONTCOLOR).isEmpty());
}

TEST(Tools, AlignmentFollowsTheParagraph) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    const auto align = [&](const QString& what) {
        return onGui([&] { return alignmentOf(editOf(t)->document(), what); }) &
               Qt::AlignHorizontal_Mask;
    };
    cursorInto(t, QStringLiteral("Основные задачи"));
    EXPECT_TRUE(checked(t, RTFTOOLALIGNMENTLEFT));
    click(t, RTFTOOLALIGNMENTRIGHT);
    EXPECT_EQ(align(QStringLiteral("Основные задачи")), Qt::AlignRight);
    click(t, RTFTOOLALIGNMENTJUST);
    EXPECT_EQ(align(QStringLiteral("Основные задачи")), Qt::AlignJustify);
    // Each paragraph shows its own alignment: the title is centred, 1.1 justified.
    cursorInto(t, QStringLiteral("ПОЛОЖЕНИЕ"));
    EXPECT_TRUE(checked(t, RTFTOOLALIGNMENTCENTER));
    EXPECT_FALSE(checked(t, RTFTOOLALIGNMENTJUST));
    cursorInto(t, QStringLiteral("Основные задачи"));
    EXPECT_TRUE(checked(t, RTFTOOLALIGNMENTJUST));
    // A selection over several paragraphs aligns them all.
    onGui([&] {
        QTextEdit* e = editOf(t);
        QTextCursor c = e->document()->find(QStringLiteral("1.1."));
        c.setPosition(e->document()->find(QStringLiteral("1.2.")).selectionEnd(),
                      QTextCursor::KeepAnchor);
        e->setTextCursor(c);
    });
    click(t, RTFTOOLALIGNMENTCENTER);
    EXPECT_EQ(align(QStringLiteral("1.1.")), Qt::AlignHCenter);
    EXPECT_EQ(align(QStringLiteral("1.2.")), Qt::AlignHCenter);
    EXPECT_EQ(align(QStringLiteral("Основные задачи")), Qt::AlignJustify);
}

TEST(Tools, FontSizeNameAndScript) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    const QStringList sizes = entries(t, RTFTOOLFONTSIZE);
    // The document's body size is in the list already (12), so the list is as declared.
    EXPECT_EQ(sizes.join(u'|'), u"8|9|10|11|12|14|16|18|20|22|24|26|28|36|48|72");

    selectText(t, QStringLiteral("Сведения"));
    chooseEntry(t, RTFTOOLFONTSIZE, 8);  // 18
    EXPECT_EQ(formatOf(t, QStringLiteral("Сведения")).fontPointSize(), 18);
    cursorInto(t, QStringLiteral("Сведения"));
    EXPECT_EQ(text(t, RTFTOOLFONTSIZE), u"18");
    cursorInto(t, QStringLiteral("Основные задачи"));
    EXPECT_EQ(text(t, RTFTOOLFONTSIZE), u"12");

    // Font names: the installed families; the choice goes to the selection.
    const QString family = onGui([&] {
        auto* cb = qobject_cast<QComboBox*>(widget(t, RTFTOOLFONTNAME));
        return cb->count() > 0 ? cb->itemText(0) : QString();
    });
    ASSERT_FALSE(family.isEmpty());
    selectText(t, QStringLiteral("Сведения"));
    chooseEntry(t, RTFTOOLFONTNAME, 1);
    EXPECT_EQ(formatOf(t, QStringLiteral("Сведения")).fontFamilies().toStringList(),
              QStringList{family});
    cursorInto(t, QStringLiteral("Сведения"));
    EXPECT_EQ(text(t, RTFTOOLFONTNAME), family);

    // Scripts: those of the family at the cursor; Cyrillic text shows Cyrillic.
    cursorInto(t, QStringLiteral("Основные задачи"), 3);
    const QStringList scripts = entries(t, RTFTOOLFONTSCRIPT);
    EXPECT_TRUE(scripts.contains(u"Кириллица"));
    EXPECT_EQ(text(t, RTFTOOLFONTSCRIPT), u"Кириллица");
    cursorInto(t, QStringLiteral("H2O"), 1);
    EXPECT_EQ(text(t, RTFTOOLFONTSCRIPT), u"Латиница");
}

TEST(Tools, CutCopyPasteThroughTheClipboard) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, writeFile(dir, "a.txt", "Раз два три")));
    selectText(t, QStringLiteral("два"));
    click(t, RTFTOOLCOPY);
    EXPECT_EQ(onGui([] { return QApplication::clipboard()->text(); }), u"два");
    selectText(t, QStringLiteral("Раз "));
    click(t, RTFTOOLCUT);
    EXPECT_EQ(plain(t), u"два три");
    onGui([&] { editOf(t)->moveCursor(QTextCursor::End); });
    click(t, RTFTOOLPASTE);
    EXPECT_EQ(plain(t), u"два триРаз ");
}

TEST(Tools, PrintOffersADialogAndPrints) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    std::atomic<int> printed{-1};
    w.on([&](Editors& e) { printed = e.main.Print() ? 1 : 0; });
    ASSERT_TRUE(waitDialog(t));
    EXPECT_NE(onGui([&] { return qobject_cast<QPrintDialog*>(rt::gui::dialogs(t).back()); }),
              nullptr);
    onGui([&] { qobject_cast<QDialog*>(rt::gui::dialogs(t).back())->reject(); });
    ASSERT_TRUE(waitIdle(t));
    EXPECT_EQ(printed, 0);

    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "printers are installed: nothing is printed on them";
    // With no printer the dialog offers a PDF file in the current folder.
    const QString before = rt::currentFolder();
    ASSERT_TRUE(rt::setCurrentFolder(dir.path()));
    click(t, RTFTOOLPRINT);
    ASSERT_TRUE(waitDialog(t));
    onGui([&] { qobject_cast<QDialog*>(rt::gui::dialogs(t).back())->accept(); });
    ASSERT_TRUE(waitIdle(t));
    rt::setCurrentFolder(before);
    QFile pdf(dir.filePath(QStringLiteral("Документ.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
}

TEST(Hint, TextPropertyShowsPlainTextInTheDeclaredFont) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    const QString hint =
        QStringLiteral("\r\n...Для просмотра выберите инструмент [Показать документ]...");
    w.on([&](Editors& e) { e.window[RTFTEXTBOX][PROP::Text] = hint; });
    EXPECT_EQ(plain(t), u"\n...Для просмотра выберите инструмент [Показать документ]...");
    const QFont f = onGui([&] { return editOf(t)->document()->defaultFont(); });
    EXPECT_TRUE(f.italic());
    EXPECT_EQ(f.family(), rt::fontFace(u"Times New Roman CYR"));
    EXPECT_EQ(f.pointSize(), 10);
    EXPECT_EQ(onGui([&] { return editOf(t)->palette().color(QPalette::Active, QPalette::Text); }),
              QColor(0, 128, 64));
    // A document shown again takes the default colour back.
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    EXPECT_EQ(onGui([&] { return editOf(t)->palette().color(QPalette::Active, QPalette::Text); }),
              QApplication::palette().color(QPalette::Active, QPalette::Text));
}

TEST(Hint, FontSizeIsTheReadingSizeAndLeavesTheDocumentAlone) {
    EditorWindow w;
    const int t = w.thread();
    QTemporaryDir dir;
    // The height of the first line as shown.
    const auto shown = [&] {
        return onGui([&] {
            QTextDocument* doc = editOf(t)->document();
            return doc->documentLayout()->blockBoundingRect(doc->begin()).height();
        });
    };
    w.on([&](Editors& e) {
        e.window[RTFTEXTBOX][PROP::FontSize] = 10;
        e.window[RTFTEXTBOX][PROP::Text] = QStringLiteral("Подсказка");
    });
    const double at10 = shown();
    w.on([&](Editors& e) { e.window[RTFTEXTBOX][PROP::FontSize] = 20; });
    EXPECT_NEAR(shown() / at10, 2.0, 0.25);
    // The hint's font is still the declared one.
    EXPECT_EQ(onGui([&] { return editOf(t)->document()->defaultFont().pointSize(); }), 10);

    // A document of 12-point text with a 24-point title: at reading size 10
    // its body shows as the hint's 10 points did, the title twice as large.
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat title;
    title.setFontPointSize(24);
    c.insertText(QStringLiteral("Заголовок"), title);
    QTextCharFormat body;
    body.setFontPointSize(12);
    for (int i = 0; i < 5; ++i) {
        c.insertBlock();
        c.insertText(QStringLiteral("Текст документа, строка %1.").arg(i), body);
    }
    const QString file = dir.filePath(QStringLiteral("doc.rtf"));
    ASSERT_TRUE(rt::saveRtfFile(file, doc));
    w.on([&](Editors& e) { e.window[RTFTEXTBOX][PROP::FontSize] = 10; });
    ASSERT_TRUE(load(w, file));
    const auto lineOf = [&](int block) {
        return onGui([&] {
            QTextDocument* d = editOf(t)->document();
            return d->documentLayout()->blockBoundingRect(d->findBlockByNumber(block)).height();
        });
    };
    EXPECT_NEAR(lineOf(1) / at10, 1.0, 0.2);
    EXPECT_NEAR(lineOf(0) / lineOf(1), 2.0, 0.3);
    w.on([&](Editors& e) { e.window[RTFTEXTBOX][PROP::FontSize] = 14; });
    EXPECT_NEAR(lineOf(1) / at10, 1.4, 0.2);
    // The document keeps its sizes, and so does what is saved of it.
    EXPECT_EQ(formatOf(t, QStringLiteral("Текст")).fontPointSize(), 12);
    EXPECT_EQ(text(t, RTFTOOLFONTSIZE), u"24");  // the cursor is in the title
    const QString saved = dir.filePath(QStringLiteral("saved.rtf"));
    bool ok = false;
    w.on([&](Editors& e) { ok = e.main.Save(saved); });
    ASSERT_TRUE(ok);
    QTextDocument back;
    ASSERT_TRUE(rt::loadRtfFile(saved, &back));
    EXPECT_EQ(formatOf(&back, QStringLiteral("Текст")).fontPointSize(), 12);
    EXPECT_EQ(formatOf(&back, QStringLiteral("Заголовок")).fontPointSize(), 24);
}

TEST(Editor, ContextMenuHasTheExtraEntries) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    onGui([&] {
        QTextEdit* e = editOf(t);
        emit e->customContextMenuRequested(QPoint(10, 10));
    });
    const QStringList entries = onGui([&] {
        QStringList out;
        auto* menu = editOf(t)->findChild<QMenu*>(QStringLiteral("rtfContextMenu"));
        if (menu) {
            for (QAction* a : menu->actions())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        return out;
    });
    EXPECT_EQ(entries.join(u'|'),
              u"Отменить|Вернуть|-|Вырезать|Копировать|Вставить|Удалить|-|"
              u"Выделить всё|-|Закладка|-|Выписка");
    onGui([&] {
        auto* menu = editOf(t)->findChild<QMenu*>(QStringLiteral("rtfContextMenu"));
        menu->actions().last()->trigger();
        menu->close();
    });
    ASSERT_TRUE(waitIdle(t));
    int chosen = 0;
    w.on([&](Editors& e) { chosen = e.main.chosen; });
    EXPECT_EQ(chosen, 2);
}

TEST(Editor, TwoEditorsKeepTheirOwnTools) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    type(t, RTFTEXTBOX_2, QStringLiteral("выдержка"), false);
    selectText(t, QStringLiteral("выдержка"), RTFTEXTBOX_2);
    selectText(t, QStringLiteral("Сведения"));
    click(t, RTFTOOLBOLD_2);
    EXPECT_EQ(formatOf(t, QStringLiteral("выдержка"), RTFTEXTBOX_2).fontWeight(), QFont::Bold);
    EXPECT_NE(formatOf(t, QStringLiteral("Сведения")).fontWeight(), QFont::Bold);
}

TEST(Editor, KillLetsGoOfTheControl) {
    EditorWindow w;
    const int t = w.thread();
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    w.on([](Editors& e) { e.main.Kill(); });
    EXPECT_EQ(onGui([&] { return editOf(t)->contextMenuPolicy(); }), Qt::DefaultContextMenu);
    selectText(t, QStringLiteral("Сведения"));
    click(t, RTFTOOLBOLD);
    EXPECT_NE(formatOf(t, QStringLiteral("Сведения")).fontWeight(), QFont::Bold);
    bool ok = true;
    w.on([&](Editors& e) {
        ok = e.main.Load(corpus(kPolozhenie));
        EXPECT_EQ(e.main.control(), 0);
    });
    EXPECT_FALSE(ok);
    // Init again takes the control back.
    w.on([](Editors& e) { e.main.Init(e.window, RTFTEXTBOX); });
    ASSERT_TRUE(load(w, corpus(kPolozhenie)));
    selectText(t, QStringLiteral("Сведения"));
    click(t, RTFTOOLBOLD);
    EXPECT_EQ(formatOf(t, QStringLiteral("Сведения")).fontWeight(), QFont::Bold);
}

TEST(Editor, AWindowClosedBeforeKillOrBeforeTheObjectGoes) {
    // The editor goes with its window; the object, freed later, and its Kill
    // find nothing to let go of.
    const LONG t = START([] {
        RTFControlClass rtf;
        bindTools(rtf);
        {
            Window w(u"rtfctltest", u"EDITOR");
            if (!w.open())
                return;
            rtf.Init(RTFTEXTBOX);
            rtf.Load(corpus(kPolozhenie));
            w[RTFTEXTBOX][PROP::FontSize] = 14;
        }
        rt::gui::call([] {});
        rtf.Kill();
        EXPECT_FALSE(rtf.Load(corpus(kPolozhenie)));
        EXPECT_EQ(ERRORCODE(), ErrCode::NotOpen);
    });
    ASSERT_TRUE(rt::waitThreadEnd(t, kWait));
    // Whatever the GUI still had to do for it is done, with nothing left over.
    onGui([] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); });
}

TEST(Editor, WindowsOfSeveralThreadsLoadAtOnce) {
    EditorWindow a;
    EditorWindow b;
    std::atomic<int> loaded{0};
    for (int i = 0; i < 5; ++i) {
        a.post([&](Editors& e) { loaded += e.main.Load(corpus(kPolozhenie)); });
        b.post([&](Editors& e) { loaded += e.main.Load(corpus("pandoc-polozhenie.rtf")); });
    }
    ASSERT_TRUE(waitFor([&] { return loaded == 10; }));
    ASSERT_TRUE(waitIdle(a.thread()));
    ASSERT_TRUE(waitIdle(b.thread()));
    EXPECT_TRUE(plain(a.thread()).startsWith(u"ПОЛОЖЕНИЕ"));
    EXPECT_FALSE(plain(b.thread()).isEmpty());
}

int main(int argc, char** argv) {
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_RTFCTL_TEST_RESOURCES)});
}
