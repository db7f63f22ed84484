#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include "errors.h"
#include "files.h"
#include "rtf.h"

namespace {

QTextDocument* read(QTextDocument& doc, const QByteArray& rtf) {
    QString error;
    EXPECT_TRUE(rt::readRtf(rtf, &doc, &error)) << error.toStdString();
    return &doc;
}

QString plain(const QByteArray& rtf) {
    QTextDocument doc;
    read(doc, rtf);
    return doc.toPlainText();
}

// Text with runs of white space made one blank, the way texts of different
// programs are compared; pictures have no text.
QString normalized(QString s) {
    s.remove(QChar(0xFEFF)).remove(QChar::ObjectReplacementCharacter);
    return s.simplified();
}

QString corpusDir() {
    return qEnvironmentVariable("KALDOR_TEST_DATA") + QStringLiteral("/rtf");
}

QStringList corpusFiles() {
    return QDir(corpusDir()).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
}

// A file of the corpus; one that cannot be read fails the test.
QByteArray corpusBytes(const QString& name) {
    bool ok = false;
    const QByteArray bytes = fileBytes(corpusDir() + u'/' + name, &ok);
    EXPECT_TRUE(ok) << name.toStdString();
    return bytes;
}

// What a document holds, written out so that two documents can be compared:
// every block in order (table cells with their place), its paragraph format and
// its runs with their character format. Pictures are compared by their bytes.
QString dump(const QTextDocument& doc) {
    QString out;
    QTextStream ts(&out);
    // Notes by their order in the document: their numbers are the reader's own.
    QHash<int, int> notes;
    const auto note = [&](int n) {
        if (n && !notes.contains(n))
            notes.insert(n, int(notes.size()) + 1);
        return notes.value(n);
    };
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QTextCursor c(b);
        if (QTextTable* t = c.currentTable()) {
            const QTextTableCell cell = t->cellAt(c);
            ts << "[cell " << cell.row() << ',' << cell.column() << ' ' << cell.rowSpan() << 'x'
               << cell.columnSpan() << " of " << t->rows() << 'x' << t->columns() << "] ";
        }
        const QTextBlockFormat f = b.blockFormat();
        ts << "P align=" << int(f.alignment() & Qt::AlignHorizontal_Mask)
           << " l=" << qRound(f.leftMargin() * 15) << " r=" << qRound(f.rightMargin() * 15)
           << " fi=" << qRound(f.textIndent() * 15) << " sb=" << qRound(f.topMargin() * 15)
           << " sa=" << qRound(f.bottomMargin() * 15) << " lh=" << f.lineHeightType() << '/'
           << qRound(f.lineHeight() * 10) << " pb=" << int(f.pageBreakPolicy())
           << " h=" << f.headingLevel() << " note=" << note(f.intProperty(rt::rtfnote::kNote))
           << (f.boolProperty(rt::rtfnote::kEndnote) ? " end" : "")
           << (f.boolProperty(rt::rtfnote::kRule) ? " rule" : "")
           << " tabs=" << f.tabPositions().size() << '\n';
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat cf = frag.charFormat();
            if (cf.isImageFormat()) {
                const QTextImageFormat img = cf.toImageFormat();
                const QByteArray data =
                    doc.resource(QTextDocument::ImageResource, QUrl(img.name())).toByteArray();
                ts << "  image " << qRound(img.width()) << 'x' << qRound(img.height()) << ' '
                   << qHash(data) << '\n';
                continue;
            }
            // A run without a family is in the document's default font.
            QString family = cf.fontFamilies().toStringList().join(',');
            if (family.isEmpty())
                family = doc.defaultFont().family();
            ts << "  run '" << frag.text() << "' " << family << ' ' << cf.fontPointSize()
               << (cf.fontWeight() >= QFont::DemiBold ? " b" : "") << (cf.fontItalic() ? " i" : "")
               << " u" << cf.underlineStyle() << (cf.fontStrikeOut() ? " s" : "") << " fg="
               << (cf.foreground().style() ? cf.foreground().color().name() : QString("-"))
               << " bg="
               << (cf.background().style() ? cf.background().color().name() : QString("-"))
               << " v=" << cf.verticalAlignment() << " caps=" << cf.fontCapitalization()
               << " mark=" << note(cf.intProperty(rt::rtfnote::kMark)) << " a=" << cf.anchorHref()
               << '\n';
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The corpus: RTF files written by real programs, with the text LibreOffice
// finds in each.

TEST(RtfCorpus, ReaderTextMatchesLibreOffice) {
    const QStringList files = corpusFiles();
    ASSERT_GE(files.size(), 10) << "corpus missing in " << corpusDir().toStdString();
    int matching = 0;
    for (const QString& name : files) {
        const QByteArray rtf = corpusBytes(name);
        QString expected = QString::fromUtf8(
            corpusBytes(QString(name).replace(QStringLiteral(".rtf"), QStringLiteral(".txt"))));
        const QString ours = normalized(plain(rtf));
        if (ours == normalized(expected))
            ++matching;
        else
            ADD_FAILURE() << name.toStdString() << ":\n  ours: " << ours.toStdString()
                          << "\n  LibreOffice: " << normalized(expected).toStdString();
    }
    std::printf("RTF corpus: %d of %d files give LibreOffice's text\n", matching,
                int(files.size()));
    EXPECT_EQ(matching, files.size());
}

TEST(RtfCorpus, WriteAndReadAgainKeepsTextAndFormatting) {
    for (const QString& name : corpusFiles()) {
        SCOPED_TRACE(name.toStdString());
        QTextDocument first;
        read(first, corpusBytes(name));
        const QByteArray written = rt::writeRtf(first);
        QTextDocument second;
        read(second, written);
        if (dump(first) != dump(second) && qEnvironmentVariableIsSet("RTF_DUMP")) {
            QFile a("/tmp/d1.txt"), b("/tmp/d2.txt"), w("/tmp/w.rtf");
            a.open(QIODevice::WriteOnly);
            a.write(dump(first).toUtf8());
            b.open(QIODevice::WriteOnly);
            b.write(dump(second).toUtf8());
            w.open(QIODevice::WriteOnly);
            w.write(written);
        }
        EXPECT_EQ(dump(first).toStdString(), dump(second).toStdString());
        // And once more: what we write is stable.
        EXPECT_EQ(written, rt::writeRtf(second));
    }
}

TEST(RtfCorpus, OldCyrillicFileIsReadFromItsCodePage) {
    const QByteArray rtf = corpusBytes(QStringLiteral("legacy-cp1251-polozhenie.rtf"));
    ASSERT_TRUE(rtf.contains("\\ansicpg1251"));
    ASSERT_TRUE(rtf.contains("\\'cd\\'e0\\'f1\\'f2\\'ee"));
    EXPECT_TRUE(plain(rtf).contains(QStringLiteral("Настоящее Положение определяет порядок")));
}

// ---------------------------------------------------------------------------
// Text and code pages

TEST(RtfReader, DecodesBytesByFontCharsetThenDocumentCodePage) {
    // Font 0 says Cyrillic; font 1 says Western; font 2 says nothing, so the
    // document's code page holds.
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Arial;}{\\f1\\fcharset0 "
        "Arial;}{\\f2 Arial;}}"
        "\\f0 \\'cf\\'f0\\'e8\\par\\f1 \\'cf\\'f0\\par\\f2 \\'e4\\'e0\\par\\f0 \\'c0\\'c1}";
    EXPECT_EQ(plain(rtf), QStringLiteral("При\nÏð\nда\nАБ"));
    // \ansicpg alone, no font table at all.
    EXPECT_EQ(plain("{\\rtf1\\ansi\\ansicpg1251 \\'e7\\'e0\\'ea\\'ee\\'ed}"),
              QStringLiteral("закон"));
    // Without \ansicpg the code page is Windows-1252.
    EXPECT_EQ(plain("{\\rtf1\\ansi \\'e9t\\'e9}"), QStringLiteral("été"));

    // Double-byte code pages: the byte after a lead byte is its second byte,
    // also below 0x80 and also as a plain or escaped character.
    struct Case {
        const char* header;  // names the code page
        const char* body;
        const char16_t* text;
    };
    const Case cases[] = {
        {"\\ansicpg932", "\\'93\\'fa\\'96\\'7b\\'8c\\'ea", u"日本語"},
        {"\\ansicpg932", "\\'93\\'fa\\'96\\{\\'8c\\'ea", u"日本語"},
        {"\\ansicpg932", "\\'95\\\\\\'8e\\'a6 \\'83\\\\ \\'b1", u"表示 ソ ｱ"},
        {"\\ansicpg932", "\\'8f\\'5c\\'97\\'5c\\'90\\'5cA", u"十予申A"},
        {"{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0", "\\'96\\'7bx", u"本x"},
        {"\\ansicpg936", "\\'df\\'40\\'d5f\\'97l\\'d6\\'d0", u"這說條中"},
        {"{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0", "\\'d5\\'5a\\'b1\\'ed", u"語表"},
        {"\\ansicpg949", "\\'81\\'41\\'8c\\'63\\'b4\\'eb", u"갂똠대"},
        {"{\\fonttbl{\\f0\\fcharset129 Batang;}}\\f0", "\\'81A\\'c7\\'d1", u"갂한"},
        {"\\ansicpg950", "\\'b3\\'5c\\'a5\\\\\\'bb\\'5c\\'aa\\'6b", u"許功蓋法"},
        {"{\\fonttbl{\\f0\\fcharset136 MingLiU;}}\\f0", "\\'b3\\\\x", u"許x"},
        // A lead byte whose next byte cannot follow it reads as an unknown
        // character; the next byte keeps its own meaning.
        {"\\ansicpg949", "\\'b4 a", u"\xFFFD a"},
        // The fallback of \uN in a double-byte code page is two bytes.
        {"\\ansicpg932\\uc2", "\\u26412\\'96\\'7b\\u35486\\'8c\\'ea!", u"本語!"},
    };
    for (const Case& c : cases) {
        const QByteArray rtf = QByteArray("{\\rtf1\\ansi") + c.header + ' ' + c.body + '}';
        EXPECT_EQ(plain(rtf), QString::fromUtf16(c.text)) << rtf.toStdString();
    }
}

TEST(RtfReader, UnicodeWithFallbackSkipping) {
    EXPECT_EQ(plain("{\\rtf1 \\u1079?\\u1072?}"), QStringLiteral("за"));
    EXPECT_EQ(plain("{\\rtf1\\uc1 \\u1079\\'e7\\u1072\\'e0}"), QStringLiteral("за"));
    EXPECT_EQ(plain("{\\rtf1\\uc2 \\u1079\\'e7\\'e7x}"), QStringLiteral("зx"));
    EXPECT_EQ(plain("{\\rtf1\\uc0 \\u1079 \\u1072 }"), QStringLiteral("за"));
    // \uc is scoped by groups; negative values are the upper half.
    EXPECT_EQ(plain("{\\rtf1 {\\uc0 \\u8364}\\u-3913?}"), QString(QChar(0x20AC)) + QChar(0xF0B7));
    // A character beyond the first plane, as a surrogate pair.
    EXPECT_EQ(plain("{\\rtf1 \\u-10179?\\u-8704?}"), QString::fromUtf8("😀"));
}

TEST(RtfReader, SkipsWhatIsNotBodyText) {
    const QByteArray rtf =
        "{\\rtf1{\\info{\\title Заголовок}}{\\*\\generator X;}{\\header Верх}"
        "{\\*\\unknowndest secret {nested}}{\\unknownword kept}"
        " a{\\v hidden}b{\\*\\bkmkstart m}c"
        "{\\*\\datastore {\\bin3 }}}}}d}";
    EXPECT_EQ(plain(rtf), QStringLiteral("kept abcd"));
    // \bin data may hold braces and backslashes.
    EXPECT_EQ(plain("{\\rtf1 x{\\*\\objdata \\bin4 {}\\\\}y}"), QStringLiteral("xy"));
    EXPECT_EQ(plain("{\\rtf1 x\\bin3 {{}y}"), QStringLiteral("xy"));
}

TEST(RtfReader, SpecialCharactersAndBreaks) {
    EXPECT_EQ(plain("{\\rtf1 a\\tab b\\line c\\~d\\emdash e\\{\\}\\\\\\par f}"),
              QStringLiteral("a\tb\nc d\u2014e{}\\\nf"));
    QTextDocument doc;
    read(doc, "{\\rtf1 one\\page two\\par three}");
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_TRUE(doc.findBlockByNumber(1).blockFormat().pageBreakPolicy() &
                QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_FALSE(doc.findBlockByNumber(2).blockFormat().pageBreakPolicy() &
                 QTextFormat::PageBreak_AlwaysBefore);
}

// ---------------------------------------------------------------------------
// Formatting

QTextCharFormat formatAt(const QTextDocument& doc, const QString& text) {
    const QTextCursor c = doc.find(text);
    EXPECT_FALSE(c.isNull()) << text.toStdString();
    return c.charFormat();
}

TEST(RtfReader, CharacterFormatting) {
    const QByteArray rtf =
        "{\\rtf1\\deff0{\\fonttbl{\\f0 Times New Roman;}{\\f1 Arial;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red255\\green255\\blue0;\\red0\\green255\\blue0;}"
        "\\f0\\fs24 plain {\\b bold}{\\i italic}{\\ul under}{\\uld dots}{\\ulwave wave}"
        "{\\strike strike}{\\cf1 red}{\\highlight2 marked}{\\chcbpat3 shaded}{\\super up}"
        "{\\sub down}{\\f1\\fs32 big}{\\b\\plain reset}{\\caps capitals}{\\scaps small "
        "{\\scaps0 back}}}";
    QTextDocument doc;
    read(doc, rtf);
    EXPECT_EQ(formatAt(doc, "plain").fontFamilies().toStringList(), QStringList{"Times New Roman"});
    EXPECT_EQ(formatAt(doc, "plain").fontPointSize(), 12);
    EXPECT_EQ(formatAt(doc, "plain").fontWeight(), QFont::Normal);
    EXPECT_EQ(formatAt(doc, "bold").fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(doc, "italic").fontItalic());
    EXPECT_EQ(formatAt(doc, "under").underlineStyle(), QTextCharFormat::SingleUnderline);
    EXPECT_EQ(formatAt(doc, "dots").underlineStyle(), QTextCharFormat::DotLine);
    EXPECT_EQ(formatAt(doc, "wave").underlineStyle(), QTextCharFormat::WaveUnderline);
    EXPECT_TRUE(formatAt(doc, "strike").fontStrikeOut());
    EXPECT_EQ(formatAt(doc, "red").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatAt(doc, "marked").background().color(), QColor(255, 255, 0));
    EXPECT_EQ(formatAt(doc, "shaded").background().color(), QColor(0, 255, 0));
    EXPECT_EQ(formatAt(doc, "up").verticalAlignment(), QTextCharFormat::AlignSuperScript);
    EXPECT_EQ(formatAt(doc, "down").verticalAlignment(), QTextCharFormat::AlignSubScript);
    EXPECT_EQ(formatAt(doc, "big").fontFamilies().toStringList(), QStringList{"Arial"});
    EXPECT_EQ(formatAt(doc, "big").fontPointSize(), 16);
    EXPECT_EQ(formatAt(doc, "reset").fontWeight(), QFont::Normal);
    EXPECT_EQ(formatAt(doc, "reset").fontFamilies().toStringList(), QStringList{"Times New Roman"});
    EXPECT_EQ(formatAt(doc, "capitals").fontCapitalization(), QFont::AllUppercase);
    EXPECT_EQ(formatAt(doc, "small").fontCapitalization(), QFont::SmallCaps);
    EXPECT_EQ(formatAt(doc, "back").fontCapitalization(), QFont::MixedCase);
    EXPECT_TRUE(doc.toPlainText().endsWith("capitalssmall back"));
}

TEST(RtfReader, StyleSheetGivesFontsAndSizes) {
    const QByteArray rtf =
        "{\\rtf1{\\fonttbl{\\f0 Times New Roman;}{\\f1 Arial;}}"
        "{\\stylesheet{\\s0\\f0\\fs24 Normal;}{\\s1\\f1\\fs36\\b heading 1;}"
        "{\\s2\\sbasedon1\\fs28\\outlinelevel1 heading 2;}{\\*\\cs10\\f0\\fs16 small;}}"
        "\\pard\\s1\\outlinelevel0 Title\\par\\pard\\s2 Sub\\par\\pard\\s0 {\\cs10 note}}";
    QTextDocument doc;
    read(doc, rtf);
    EXPECT_EQ(formatAt(doc, "Title").fontFamilies().toStringList(), QStringList{"Arial"});
    EXPECT_EQ(formatAt(doc, "Title").fontPointSize(), 18);
    EXPECT_EQ(formatAt(doc, "Sub").fontFamilies().toStringList(), QStringList{"Arial"});
    EXPECT_EQ(formatAt(doc, "Sub").fontPointSize(), 14);
    EXPECT_EQ(formatAt(doc, "note").fontPointSize(), 8);
    // Heading levels, given by the paragraph or by its style.
    EXPECT_EQ(doc.findBlockByNumber(0).blockFormat().headingLevel(), 1);
    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().headingLevel(), 2);
    EXPECT_EQ(doc.findBlockByNumber(2).blockFormat().headingLevel(), 0);
}

TEST(RtfReader, ParagraphFormatting) {
    const QByteArray rtf =
        "{\\rtf1\\pard\\qc\\li720\\ri360\\fi-180\\sb120\\sa240\\sl360\\slmult1\\tx1440 a\\par"
        "\\pard\\qj b\\par\\pard c\\par}";
    QTextDocument doc;
    read(doc, rtf);
    ASSERT_EQ(doc.blockCount(), 3);
    const QTextBlockFormat a = doc.begin().blockFormat();
    EXPECT_EQ(a.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(a.leftMargin(), 48);
    EXPECT_DOUBLE_EQ(a.rightMargin(), 24);
    EXPECT_DOUBLE_EQ(a.textIndent(), -12);
    EXPECT_DOUBLE_EQ(a.topMargin(), 8);
    EXPECT_DOUBLE_EQ(a.bottomMargin(), 16);
    EXPECT_EQ(a.lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_DOUBLE_EQ(a.lineHeight(), 150);
    ASSERT_EQ(a.tabPositions().size(), 1);
    EXPECT_DOUBLE_EQ(a.tabPositions()[0].position, 96);
    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignJustify);
    EXPECT_DOUBLE_EQ(doc.findBlockByNumber(2).blockFormat().leftMargin(), 0);
}

// ---------------------------------------------------------------------------
// Tables, lists, links, pictures

QTextTable* firstTable(QTextDocument& doc) {
    for (QTextFrame* f : doc.rootFrame()->childFrames()) {
        if (auto* t = qobject_cast<QTextTable*>(f))
            return t;
    }
    return nullptr;
}

QString cellText(QTextTable* t, int row, int col) {
    const QTextTableCell cell = t->cellAt(row, col);
    QTextCursor c(t->document());
    c.setPosition(cell.firstPosition());
    c.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    return c.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

TEST(RtfReader, TablesWithMergedCells) {
    const QByteArray rtf =
        "{\\rtf1 before\\par"
        "\\trowd\\clmgf\\cellx1000\\clmrg\\cellx2000\\clvmgf\\cellx3000"
        "\\pard\\intbl wide\\cell\\cell tall\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\clvmrg\\cellx3000"
        "\\pard\\intbl a\\par a2\\cell b\\cell\\cell\\row"
        // Word's way: a cell spanning two columns is one wide cell.
        "\\trowd\\cellx2000\\cellx3000\\pard\\intbl c\\cell d\\cell\\row"
        "\\pard after\\par}";
    QTextDocument doc;
    read(doc, rtf);
    QTextTable* t = firstTable(doc);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows(), 3);
    EXPECT_EQ(t->columns(), 3);
    EXPECT_EQ(cellText(t, 0, 0), "wide");
    EXPECT_EQ(t->cellAt(0, 0).columnSpan(), 2);
    EXPECT_EQ(cellText(t, 0, 2), "tall");
    EXPECT_EQ(t->cellAt(0, 2).rowSpan(), 2);
    EXPECT_EQ(cellText(t, 1, 0), "a\na2");
    EXPECT_EQ(cellText(t, 1, 1), "b");
    EXPECT_EQ(cellText(t, 2, 0), "c");
    EXPECT_EQ(t->cellAt(2, 0).columnSpan(), 2);
    EXPECT_EQ(cellText(t, 2, 2), "d");
    EXPECT_EQ(doc.begin().text(), "before");
    EXPECT_EQ(doc.lastBlock().text(), "after");
}

TEST(RtfReader, NestedTablesBecomeParagraphsOfTheirCell) {
    const QByteArray rtf =
        "{\\rtf1\\trowd\\cellx3000\\cellx6000\\pard\\intbl outer\\par"
        "\\pard\\intbl\\itap2 in1\\nestcell in2\\nestcell{\\*\\nesttableprops\\trowd"
        "\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl\\itap1 end\\cell right\\cell\\row}";
    QTextDocument doc;
    read(doc, rtf);
    QTextTable* t = firstTable(doc);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->columns(), 2);
    EXPECT_EQ(cellText(t, 0, 0), "outer\nin1\nin2\nend");
    EXPECT_EQ(cellText(t, 0, 1), "right");
}

TEST(RtfReader, ListItemsKeepTheirNumbers) {
    // With the number as \listtext, and without it (taken from the list table).
    const QByteArray rtf =
        "{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc0\\levelstartat3"
        "{\\leveltext\\'02\\'00.;}}{\\listlevel\\levelnfc4\\levelstartat1"
        "{\\leveltext\\'03\\'00.\\'01;}}\\listid7}}"
        "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}}"
        "{\\listtext 1)\\tab}first\\par"
        "\\pard\\ls1 second\\par\\pard\\ls1\\ilvl1 sub\\par\\pard\\ls1 third\\par}";
    EXPECT_EQ(plain(rtf), QStringLiteral("1)\tfirst\n3.\tsecond\n3.a\tsub\n4.\tthird"));

    // The old numbering (\pn): a paragraph without \pard keeps the one before
    // it and counts on; any other paragraph ends the row.
    const QByteArray old =
        "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
        "\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnstart1\\pndec{\\pntxta .}}one\\par "
        "two\\par{\\pntext 3.\\tab}three\\par\\pard plain\\par"
        "{\\*\\pn\\pnlvlbody\\pnstart1\\pnlcrm{\\pntxtb (}{\\pntxta )}}a\\par b\\par"
        "\\pard{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'b7}}dot\\par dot\\par"
        "\\pard{\\*\\pn\\pnlvl1\\pnucrm{\\pntxta .}}I\\par"
        "\\pard{\\*\\pn\\pnlvl2\\pnstart1\\pndec{\\pntxta )}}i1\\par i2\\par"
        "\\pard{\\*\\pn\\pnlvl1\\pnucrm{\\pntxta .}}II\\par"
        "\\pard{\\*\\pn\\pnlvlcont}cont\\par}";
    EXPECT_EQ(plain(old), QStringLiteral("1.\tone\n2.\ttwo\n3.\tthree\nplain\n(i)\ta\n(ii)\tb\n"
                                         "•\tdot\n•\tdot\nI.\tI\n1)\ti1\n2)\ti2\nII.\tII\ncont"));
}

TEST(RtfReader, HyperlinksKeepTargetAndText) {
    QTextDocument doc;
    read(doc,
         "{\\rtf1 see {\\field{\\*\\fldinst {HYPERLINK \"https://example.org/a\" \\\\o "
         "\"tip\"}}{\\fldrslt {\\ul the law}}} and {\\field{\\*\\fldinst PAGE}{\\fldrslt 7}}}");
    EXPECT_EQ(doc.toPlainText(), "see the law and 7");
    EXPECT_EQ(formatAt(doc, "the law").anchorHref(), "https://example.org/a");
    EXPECT_TRUE(formatAt(doc, "and").anchorHref().isEmpty());
    EXPECT_TRUE(formatAt(doc, "7").anchorHref().isEmpty());

    // A field in a field's result: its own link inside, the outer one around it.
    read(doc,
         "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://a\"}{\\fldrslt out{\\field{\\*\\fldinst "
         "HYPERLINK \"http://b\"}{\\fldrslt in}}side}}}");
    EXPECT_EQ(doc.toPlainText(), "outinside");
    EXPECT_EQ(formatAt(doc, "out").anchorHref(), "http://a");
    EXPECT_EQ(formatAt(doc, "in").anchorHref(), "http://b");
    EXPECT_EQ(formatAt(doc, "side").anchorHref(), "http://a");
    // Nested thousands deep: every result's text is kept, each under a link.
    QByteArray deep = "{\\rtf1 ";
    for (int i = 0; i < 3000; ++i)
        deep += "{\\field{\\*\\fldinst HYPERLINK \"http://x/" + QByteArray::number(i) +
                "\"}{\\fldrslt a";
    for (int i = 0; i < 3000; ++i)
        deep += "}}";
    read(doc, deep + "b}");
    EXPECT_EQ(doc.toPlainText(), QString(3000, u'a') + u'b');
    EXPECT_EQ(formatAt(doc, "a").anchorHref(), "http://x/0");
    EXPECT_FALSE(doc.lastBlock().begin().fragment().charFormat().anchorHref().isEmpty());
}

// Footnotes and endnotes as word processors write them: the mark's group
// holding the note (Word, LibreOffice) or followed by it (AbiWord, pandoc),
// endnotes, a mark of its own text, a note without its mark, a note in a table.
const QByteArray kNotes =
    "{\\rtf1\\ansi\\aftnnar{\\fonttbl{\\f0 Times New Roman;}}"
    "\\pard One{\\super\\chftn{\\footnote\\pard\\plain\\fs20{\\super\\chftn} First.\\par "
    "Its second.}} two{\\super\\chftn}{\\*\\footnote\\chftn\\~Second.} end{\\super\\chftn}"
    "{\\footnote\\ftnalt\\pard{\\super\\chftn}\\tab Last.}\\par"
    "\\pard Star{\\super *}{\\footnote\\pard{\\super *} Own mark.} bare{\\footnote Unmarked.}"
    " stray{\\super\\chftn} text\\par"
    "\\trowd\\cellx2000\\pard\\intbl cell{\\super\\chftn}{\\footnote\\pard{\\super\\chftn} In a "
    "cell.\\cell\\row}\\cell\\row\\pard after\\par}";

TEST(RtfReader, FootnotesAndEndnotesFollowTheText) {
    QTextDocument doc;
    read(doc, kNotes);
    EXPECT_EQ(doc.toPlainText().toStdString(),
              QStringLiteral("One1 two2 end1\nStar* bare3 stray text\ncell4\nafter\n\n"
                             "1 First.\nIts second.\n2 Second.\n* Own mark.\n3 Unmarked.\n"
                             "4 In a cell.\n1\tLast.")
                  .toStdString());
    EXPECT_EQ(formatAt(doc, "1 two").intProperty(rt::rtfnote::kMark), 0);
    QTextCursor mark = doc.find("One");
    mark.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    EXPECT_EQ(mark.charFormat().intProperty(rt::rtfnote::kMark), 1);
    EXPECT_EQ(mark.charFormat().verticalAlignment(), QTextCharFormat::AlignSuperScript);
    EXPECT_TRUE(formatAt(doc, "*").boolProperty(rt::rtfnote::kOwnMark));
    const QTextBlock last = doc.lastBlock();
    EXPECT_TRUE(last.blockFormat().boolProperty(rt::rtfnote::kEndnote));
    EXPECT_EQ(last.blockFormat().intProperty(rt::rtfnote::kNote), 3);
    EXPECT_EQ(doc.findBlock(doc.find("Its second").position())
                  .blockFormat()
                  .intProperty(rt::rtfnote::kNote),
              1);
    EXPECT_EQ(formatAt(doc, "Its second").fontPointSize(), 10);

    // Written, each note goes back to its mark; read again, it is the same.
    const QByteArray written = rt::writeRtf(doc);
    EXPECT_EQ(written.count("{\\footnote"), 6) << written.toStdString();
    EXPECT_EQ(written.count("\\ftnalt"), 1);
    QTextDocument again;
    read(again, written);
    EXPECT_EQ(dump(doc).toStdString(), dump(again).toStdString());
    EXPECT_EQ(written, rt::writeRtf(again));

    // Endnotes alone (\fet1) need no \ftnalt; a cut-off note keeps its text.
    EXPECT_EQ(plain("{\\rtf1\\fet1 a{\\super\\chftn}{\\footnote {\\super\\chftn} note}\\par}"),
              QStringLiteral("a\u2170\n\n\u2170 note").replace(u'\u2170', u'i'));
    EXPECT_EQ(plain("{\\rtf1 a{\\super\\chftn}{\\footnote note"), QStringLiteral("a1\n\n1 note"));
}

TEST(RtfWriter, NotesEditedInTheEditor) {
    QTextDocument doc;
    read(doc, kNotes);
    // The mark of the first note deleted: its text stays, as paragraphs at the end.
    QTextCursor c = doc.find("One");
    c.clearSelection();
    c.deleteChar();
    // The second note's paragraph emptied: its mark keeps an empty note.
    QTextCursor second = doc.find(QStringLiteral("Second."), doc.find("after").position(),
                                  QTextDocument::FindCaseSensitively);
    second.movePosition(QTextCursor::StartOfBlock);
    second.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    second.removeSelectedText();
    QTextDocument back;
    read(back, rt::writeRtf(doc));
    const QString text = back.toPlainText();
    EXPECT_TRUE(text.startsWith("One two1 end")) << text.toStdString();
    EXPECT_TRUE(text.contains("First.\nIts second.")) << text.toStdString();
    EXPECT_FALSE(text.contains("Second.\n")) << text.toStdString();
    EXPECT_EQ(normalized(text).count("First."), 1);
}

TEST(RtfReader, PicturesAndTheirPlaces) {
    QFile png(qEnvironmentVariable("KALDOR_TEST_DATA") + "/rtf/src/gerb.png");
    ASSERT_TRUE(png.open(QIODevice::ReadOnly)) << png.fileName().toStdString();
    const QByteArray bytes = png.readAll();
    const QByteArray rtf = "{\\rtf1 a{\\pict\\pngblip\\picw48\\pich24\\picwgoal720\\pichgoal360 " +
                           bytes.toHex() +
                           "}b{\\pict\\wmetafile8\\picwgoal1500\\pichgoal750 0102}c}";
    QTextDocument doc;
    read(doc, rtf);
    QList<QTextImageFormat> images;
    for (auto it = doc.begin().begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat())
            images << it.fragment().charFormat().toImageFormat();
    }
    ASSERT_EQ(images.size(), 2);
    EXPECT_EQ(images[0].width(), 48);
    EXPECT_EQ(images[0].height(), 24);
    EXPECT_EQ(doc.resource(QTextDocument::ImageResource, QUrl(images[0].name())).toByteArray(),
              bytes);
    // A metafile is not read, but its place and size are kept.
    EXPECT_EQ(images[1].width(), 100);
    EXPECT_TRUE(
        doc.resource(QTextDocument::ImageResource, QUrl(images[1].name())).toByteArray().isEmpty());
    EXPECT_EQ(normalized(doc.toPlainText()), "abc");

    // Written and read again, the picture keeps its bytes and size.
    QTextDocument again;
    read(again, rt::writeRtf(doc));
    EXPECT_EQ(dump(doc).toStdString(), dump(again).toStdString());
}

// ---------------------------------------------------------------------------
// Bad input never crashes or hangs: it gives a best-effort document or an error.

TEST(RtfReader, NotRtfIsAnErrorAndEmptyIsAnEmptyDocument) {
    QTextDocument doc;
    doc.setPlainText("old");
    QString error;
    EXPECT_FALSE(rt::readRtf("plain text, not RTF", &doc, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(doc.isEmpty());
    EXPECT_TRUE(rt::readRtf("", &doc, &error));
    EXPECT_TRUE(doc.isEmpty());
    EXPECT_TRUE(rt::readRtf("\xEF\xBB\xBF  {\\rtf1 x}", &doc, &error));
    EXPECT_EQ(doc.toPlainText(), "x");
}

TEST(RtfReader, DamagedFilesGiveWhatTheyHold) {
    EXPECT_EQ(plain("{\\rtf1 one}}} two}"), "one");            // stray closing braces
    EXPECT_EQ(plain("{\\rtf1 {\\b one {\\i two"), "one two");  // cut off inside groups
    EXPECT_EQ(plain("{\\rtf1 one\\par two\\'c"), "one\ntwo");  // cut off in an escape
    // An escape without its two hex digits takes nothing that follows it.
    EXPECT_EQ(plain("{\\rtf1\\ansi A\\'\\par B\\'4\\par C\\'g}"), "A\nB\nCg");
    EXPECT_EQ(normalized(plain("{\\rtf1 x{\\pict\\pngblip 89504e")), "x");  // in a picture
    EXPECT_EQ(normalized(plain("{\\rtf1 \\trowd\\cellx100\\intbl a\\cell b")),
              "a b");  // in a table
    // Absurd numbers.
    QTextDocument doc;
    read(doc,
         "{\\rtf1\\fs99999999999999 a\\fs-5 b\\li-999999999\\fi2147483648 c\\uc99999999\\u65 "
         "\\u-99999999999 d\\cf-7\\highlight99999 e\\f-3 f\\sl-2147483649 g\\par"
         "\\trowd\\cellx-5\\cellx-5\\cellx99999999999\\clmrg\\cellx3\\intbl h\\cell\\row"
         "\\itap99999999 i\\bin99999999999}");
    EXPECT_TRUE(doc.toPlainText().startsWith("ab"));
}

TEST(RtfReader, DeepNestingIsBoundedAndTextKept) {
    const int depth = 200000;
    QByteArray rtf = "{\\rtf1 a";
    rtf += QByteArray(depth, '{') + "b" + QByteArray(depth, '}') + "c}";
    EXPECT_EQ(plain(rtf), "abc");
    // The same, never closed.
    EXPECT_EQ(plain("{\\rtf1 a" + QByteArray(depth, '{') + "b"), "ab");
}

TEST(RtfReader, ManyColumnsAndRowsStayWithinLimits) {
    QByteArray rtf = "{\\rtf1\\trowd";
    for (int i = 1; i <= 5000; ++i)
        rtf += "\\cellx" + QByteArray::number(i * 10);
    rtf += "\\intbl";
    for (int i = 0; i < 5000; ++i)
        rtf += " x\\cell";
    rtf += "\\row}";
    QTextDocument doc;
    read(doc, rtf);
    QTextTable* t = firstTable(doc);
    ASSERT_NE(t, nullptr);
    EXPECT_LE(t->columns(), 256);
    EXPECT_EQ(doc.toPlainText().count(u'x'), 5000);
}

TEST(RtfReader, MillionsOfParagraphsKeepTheirTextWithinABudget) {
    // Past half a million blocks the rest comes as lines of one paragraph.
    const int n = 520000;
    QByteArray rtf = "{\\rtf1 ";
    rtf.reserve(n * 8);
    for (int i = 0; i < n; ++i)
        rtf += "x\\par ";
    rtf += "end}";
    QTextDocument doc;
    read(doc, rtf);
    EXPECT_LE(doc.blockCount(), 500001);
    const QString text = doc.toPlainText();
    EXPECT_EQ(text.count(u'x'), n);
    EXPECT_TRUE(text.endsWith(QStringLiteral("x\nend")));
}

TEST(RtfReader, RandomBytesNeverCrash) {
    QRandomGenerator rng(20240611);
    const QByteArray alphabet = "{}\\'*abcdefuinlpqrt0123456789- ;\n\x80\xff";
    for (int round = 0; round < 300; ++round) {
        QByteArray rtf = "{\\rtf1 ";
        const int n = int(rng.bounded(2000));
        for (int i = 0; i < n; ++i) {
            rtf += rng.bounded(4) == 0 ? char(rng.bounded(256))
                                       : alphabet[int(rng.bounded(int(alphabet.size())))];
        }
        QTextDocument doc;
        EXPECT_TRUE(rt::readRtf(rtf, &doc));
        // Whatever was read can be written and read again.
        QTextDocument again;
        EXPECT_TRUE(rt::readRtf(rt::writeRtf(doc), &again));
        EXPECT_EQ(normalized(doc.toPlainText()), normalized(again.toPlainText()));
    }
}

TEST(RtfReader, HundredMegabyteFile) {
    // A large picture of nonsense and a large skipped destination around text.
    QByteArray rtf = "{\\rtf1 start{\\pict\\pngblip ";
    rtf += QByteArray(60 * 1024 * 1024, 'a');
    rtf += "}{\\*\\datastore ";
    rtf += QByteArray(40 * 1024 * 1024, '7');
    rtf += "}end}";
    QTextDocument doc;
    read(doc, rtf);
    EXPECT_EQ(normalized(doc.toPlainText()), "startend");
}

// ---------------------------------------------------------------------------
// Writer

TEST(RtfWriter, CyrillicAsWindows1251WithUnicodeBeyondIt) {
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("Закон {№ 5} \\ € ∑ 中"));
    const QByteArray rtf = rt::writeRtf(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1251"));
    EXPECT_TRUE(rtf.contains("\\fcharset204"));
    EXPECT_TRUE(
        rtf.contains("\\'c7\\'e0\\'ea\\'ee\\'ed \\{\\'b9 5\\} \\\\ \\'88 \\u8721? \\u20013?"))
        << rtf.toStdString();
    EXPECT_EQ(plain(rtf), doc.toPlainText());
}

TEST(RtfWriter, KeepsWhatTheReaderReads) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}{\\f1 Courier New;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red255\\green255\\blue0;\\red1\\green2\\blue3;}"
        "\\pard\\qr\\li567\\ri100\\fi-200\\sb60\\sa80\\sl-300\\slmult0\\pagebb\\tx2000\\tx4000 "
        "{\\b\\i\\f1\\fs20 a}{\\uldashd b}{\\strike\\cf1\\highlight2 c}{\\chcbpat3 d}"
        "{\\super e}{\\sub f}{\\caps A}{\\scaps B}\\tab g\\line h\\par"
        "\\pard\\outlinelevel2 heading\\par"
        "\\trowd\\trgaph60\\clcbpat2\\clbrdrt\\brdrs\\cellx2000\\cellx5000"
        "\\pard\\intbl\\qc x\\par y\\cell z\\cell\\row"
        "\\pard {\\field{\\*\\fldinst HYPERLINK \"http://a.b/c?d=1\"}{\\fldrslt {\\b lin}k}}"
        "\\par}";
    QTextDocument first;
    read(first, rtf);
    QTextDocument second;
    read(second, rt::writeRtf(first));
    EXPECT_EQ(dump(first).toStdString(), dump(second).toStdString());
    EXPECT_EQ(first.toPlainText(), second.toPlainText());
}

TEST(RtfWriter, DocumentsMadeByTheEditor) {
    // What the editor may hold that no RTF file gave it: lists, HTML tables.
    QTextDocument doc;
    doc.setHtml(QStringLiteral(
        "<p>Перечень:</p><ol><li>первый</li><li>второй</li></ol>"
        "<table border=1><tr><td>а</td><td>б</td></tr></table><p><a href='x'>ссылка</a></p>"));
    QTextDocument back;
    read(back, rt::writeRtf(doc));
    EXPECT_EQ(normalized(back.toPlainText()),
              QStringLiteral("Перечень: 1. первый 2. второй а б ссылка"));
    EXPECT_EQ(formatAt(back, QStringLiteral("ссылка")).anchorHref(), "x");
}

// ---------------------------------------------------------------------------
// Files

TEST(RtfFile, SaveLoadAndErrors) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("Текст документа"));
    const QString path = dir.filePath("Test.rtf");
    QString error;
    ASSERT_TRUE(rt::saveRtfFile(path, doc, &error)) << error.toStdString();
    EXPECT_EQ(ERRORCODE(), 0);
    QTextDocument loaded;
    ASSERT_TRUE(rt::loadRtfFile(path, &loaded, &error));
    EXPECT_EQ(loaded.toPlainText(), doc.toPlainText());

    // A missing file: an error, an empty document and the runtime's error code.
    loaded.setPlainText("stale");
    EXPECT_FALSE(rt::loadRtfFile(dir.filePath("none.rtf"), &loaded, &error));
    EXPECT_TRUE(loaded.isEmpty());
    EXPECT_TRUE(error.contains("none.rtf"));
    EXPECT_EQ(ERRORCODE(), ErrCode::NoFile);

    // A file that is not RTF.
    QFile junk(dir.filePath("junk.rtf"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("MZ\x90\0binary");
    junk.close();
    EXPECT_FALSE(rt::loadRtfFile(junk.fileName(), &loaded, &error));
    EXPECT_EQ(ERRORCODE(), ErrCode::InvalidFile);

    // An empty file is an empty document.
    QFile empty(dir.filePath("empty.rtf"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_TRUE(rt::loadRtfFile(empty.fileName(), &loaded, &error));
    EXPECT_TRUE(loaded.isEmpty());

    // A folder that does not exist: nothing is written.
    EXPECT_FALSE(rt::saveRtfFile(dir.filePath("no/such/dir/x.rtf"), doc, &error));
    EXPECT_NE(ERRORCODE(), 0);
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace

int main(int argc, char** argv) {
    // Also when CTest lists the tests, before its environment applies.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
