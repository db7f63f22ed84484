// SelectFileClass: the file dialog a window keeps for a button, asked on a
// procedure thread and answered through the driver as the user would.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <mutex>

#include "core/paths.h"
#include "ui/dialogs.h"
#include "ui/selectfile.h"
#include "uidriver.h"

using namespace uitest;

namespace {

// Asks `lookup` on a thread of its own; the answer lands in `chosen`.
struct Asking {
    LONG thread = 0;
    std::mutex m;
    QString chosen;
    std::atomic<bool> done{false};

    void start(SelectFileClass& lookup, bool keepDir) {
        thread = START([this, &lookup, keepDir] {
            const QString c = lookup.Ask(keepDir);
            std::lock_guard<std::mutex> l(m);
            chosen = c;
            done = true;
        });
    }
    QString result() {
        EXPECT_TRUE(rt::waitThreadEnd(thread, kWait));
        std::lock_guard<std::mutex> l(m);
        return chosen;
    }
};

QString makeFile(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("{\\rtf1 }");
    return path;
}

}  // namespace

TEST(SelectFile, InitAndTheFileTypes) {
    SelectFileClass lookup;
    lookup.AddMask(u"Старое", u"*.old");
    lookup.Init();
    EXPECT_TRUE(lookup.Flags & FILEDLG::LongName);
    EXPECT_EQ(lookup.WindowTitle, QStringLiteral("Выбрать файл"));
    EXPECT_FALSE(lookup.ClearOnCancel);
    EXPECT_EQ(lookup.Masks(), QString());  // a new start
    lookup.AddMask(u"Документы RTF", u"*.rtf");
    lookup.AddMask(u"All Files", u"*.*");
    EXPECT_EQ(lookup.Masks(), QStringLiteral("Документы RTF|*.rtf|All Files|*.*"));
    lookup.SetMask(u"Текст|*.txt");
    EXPECT_EQ(lookup.Masks(), QStringLiteral("Текст|*.txt"));
}

TEST(SelectFile, AChosenFileGivesItsFullNameAndItsFolderBecomesCurrent) {
    QTemporaryDir dir;
    const QString file = makeFile(dir, QStringLiteral("закон.rtf"));
    const QString before = rt::currentFolder();
    SelectFileClass lookup;
    lookup.Init();
    lookup.AddMask(u"All Files", u"*.*");
    lookup.WindowTitle = QStringLiteral("Выбрать документ");
    Asking a;
    a.start(lookup, false);
    ASSERT_TRUE(waitDialog(a.thread));
    EXPECT_EQ(messageText(a.thread), QStringLiteral("Выбрать документ"));
    answerFileDialog(a.thread, file);
    EXPECT_EQ(QFileInfo(a.result()).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
    EXPECT_EQ(QDir(rt::currentFolder()).canonicalPath(), QDir(dir.path()).canonicalPath());
    rt::setCurrentFolder(before);

    // Keeping the folder: the current one stays.
    Asking b;
    b.start(lookup, true);
    ASSERT_TRUE(waitDialog(b.thread));
    answerFileDialog(b.thread, file);
    EXPECT_FALSE(b.result().isEmpty());
    EXPECT_EQ(rt::currentFolder(), before);
}

TEST(SelectFile, ACancelGivesTheStartingNameOrNothing) {
    QTemporaryDir dir;
    const QString start = makeFile(dir, QStringLiteral("1.rtf"));
    SelectFileClass lookup;
    lookup.Init();
    lookup.DefaultFile = start;
    Asking a;
    a.start(lookup, true);
    ASSERT_TRUE(waitDialog(a.thread));
    answerFileDialog(a.thread, QString());
    EXPECT_EQ(a.result(), start);

    lookup.ClearOnCancel = true;
    Asking b;
    b.start(lookup, true);
    ASSERT_TRUE(waitDialog(b.thread));
    answerFileDialog(b.thread, QString());
    EXPECT_EQ(b.result(), QString());
}
