// The RTF reader: a single pass over the bytes with an explicit stack of group
// states (no recursion, so nesting depth costs no machine stack), building the
// document paragraph by paragraph. Text of one format is gathered into runs and
// inserted whole; tables are gathered row by row and inserted when they end,
// because a table's columns are known only once all its rows have been seen.

#include <QFont>
#include <QHash>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "codepage.h"
#include "rtf.h"
#include "rtfkeywords.h"

namespace rt {

namespace {

using namespace rtfdetail;

// Limits that keep damaged or hostile input from exhausting memory or time.
constexpr int kMaxSavedDepth = 512;     // deeper groups share their parent's state
constexpr int kMaxColumns = 256;        // cells of a row beyond this join the last one
constexpr int kMaxTabs = 32;            // tab stops of one paragraph
constexpr int kMaxSkip = 16;            // \ucN
constexpr qint64 kMaxBlocks = 500'000;  // paragraphs and table cells of a document
constexpr int kTwipsPerPixel = 15;      // 1440 twips an inch, 96 pixels an inch
constexpr int kMaxTwips = 31680;        // 22 inches, the largest page a word processor makes
constexpr int kMaxHalfPoints = 3276;    // 1638 points, the largest font size
// Character styles (\csN) share the table of paragraph styles (\sN) at numbers
// of their own.
constexpr int kCharStyleOffset = 100000;

enum class Dest : quint8 {
    Text,           // body text
    FontTable,      // \fonttbl
    ColorTable,     // \colortbl
    StyleSheet,     // \stylesheet
    StyleEntry,     // one style of the style sheet
    FieldInst,      // \fldinst
    Pict,           // \pict
    ListTable,      // \listtable
    ListOverrides,  // \listoverridetable
    LevelText,      // \leveltext of a list level
    Pn,             // \pn: the old paragraph numbering of a paragraph
    PnText,         // \pntxta, \pntxtb: its text after or before the number
    Ignore,         // text of a group we read but keep nothing of
};

enum class Underline : quint8 { None, Single, Dotted, Dash, DashDot, DashDotDot, Wave };

struct CharProps {
    int font = -1;
    int halfPoints = 24;
    int fg = -1;         // colour table index; -1 for automatic
    int highlight = -1;  // \highlightN
    int shading = -1;    // \cbN, \chcbpatN
    int link = 0;        // index of the hyperlink target; 0 for none
    bool bold = false;
    bool italic = false;
    bool strike = false;
    bool hidden = false;
    Underline underline = Underline::None;
    qint8 vertical = 0;                             // 1 superscript, -1 subscript
    QFont::Capitalization caps = QFont::MixedCase;  // \caps, \scaps
    int note = 0;                                   // the mark of a note: the note's number

    bool operator==(const CharProps&) const = default;
};

struct CharPropsHash {
    size_t operator()(const CharProps& c) const {
        size_t h = size_t(c.font) * 1000003u;
        h ^= size_t(c.halfPoints) + 0x9e3779b9 + (h << 6) + (h >> 2);
        h ^= size_t(c.fg + 1) * 31 + size_t(c.highlight + 1) * 131 + size_t(c.shading + 1) * 1031;
        h ^= size_t(c.link) * 7919 + size_t(c.note) * 104729;
        h ^= (size_t(c.bold) | size_t(c.italic) << 1 | size_t(c.strike) << 2 |
              size_t(c.underline) << 3 | size_t(c.vertical + 1) << 6 | size_t(c.caps) << 8)
             << 20;
        return h;
    }
};

struct ParaProps {
    quint8 align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    bool pageBreakBefore = false;
    bool inTable = false;
    bool lineMultiple = false;
    int nesting = 0;  // \itapN
    int list = 0;     // \lsN
    int level = 0;    // \ilvlN
    int pn = 0;       // old numbering: index + 1 in Reader::pns_
    int outline = 0;  // heading level, \outlinelevelN + 1; 0 for body text
    int left = 0, right = 0, first = 0, before = 0, after = 0, line = 0;  // twips
    int tabCount = 0;
    int tabs[kMaxTabs] = {};
};

struct State {
    CharProps chr;
    ParaProps para;
    Dest dest = Dest::Text;
    int uc = 1;
    bool startsField = false;
    bool label = false;  // in \listtext: the number or bullet of a list item
    int note = 0;        // in a note: its number
    bool startsNote = false;
};

struct Run {
    QString text;
    int format;    // index into Reader::formats_
    int note = 0;  // the mark of this note; its number is the text when text is empty
};

struct Para {
    ParaProps props;
    int markFormat = 0;     // format of the paragraph mark
    bool hasLabel = false;  // its list number or bullet came as text
    int bulletRun = -1;     // where a symbol-font bullet of the label was put
    qsizetype bulletAt = 0;
    std::vector<Run> runs;
    int note = 0;  // a paragraph of this note
    bool endnote = false;
    bool rule = false;  // the rule between the text and its notes
    bool empty() const { return runs.empty(); }
};

// A footnote or endnote: what its group held, shown after the text.
struct Note {
    bool endnote = false;
    bool stray = false;  // a mark that no note followed
    QString ownMark;     // the mark when it is its own text rather than a number
    int number = 0;      // among the notes of its kind, from 1
    std::vector<Para> paras;
};

// How notes are numbered: as \levelnfc, from `start`.
struct NoteNumbering {
    int format = kDecimal;
    int start = 1;
};

// The text of a merged cell joins the cell that covers it; a merged cell's
// usual empty paragraph adds nothing.
void appendContent(std::vector<Para>& to, std::vector<Para>& from) {
    if (std::all_of(from.begin(), from.end(), [](const Para& p) { return p.empty(); }))
        return;
    for (Para& p : from)
        to.push_back(std::move(p));
}

struct CellDef {
    int right = 0;                              // twips
    bool mergeFirst = false, merged = false;    // horizontal
    bool vMergeFirst = false, vMerged = false;  // vertical
    int background = -1;
    bool border = false;
};

struct Row {
    std::vector<CellDef> defs;
    std::vector<std::vector<Para>> cells;
    int left = 0;
    int gap = 0;
    quint8 align = 0;
};

// Where a cell of a table lies: its first column and its span.
struct PlacedCell {
    int row, col, rowSpan, colSpan;
    std::vector<Para>* content;
    int background;
};

void normalizeRow(Row& r);
std::vector<int> columnBounds(const std::vector<Row>& rows);
std::vector<PlacedCell> placeCells(std::vector<Row>& rows, const std::vector<int>& bounds,
                                   bool byBoundary, int columns);
QTextTableFormat tableFormat(const std::vector<Row>& rows, const std::vector<int>& bounds,
                             bool byBoundary);

struct FontInfo {
    QString name;
    int codePage = 0;  // 0: the document's
};

struct StyleInfo {
    int font = -1;
    int halfPoints = 0;
    int basedOn = -1;
    int outline = 0;  // as in ParaProps
};

// The old paragraph numbering (\pn) of a paragraph, which the paragraphs after
// it keep until \pard.
struct PnDef {
    enum Kind : quint8 { Body, Outline, Bullet, Continue };
    Kind kind = Body;
    int level = 0;  // \pnlvlN of an outline
    int format = kDecimal;
    int start = 1;
    int font = -1;
    QString before, after;

    // Whether paragraphs of `o` go on counting from paragraphs of this one.
    bool continues(const PnDef& o) const {
        if (kind == Outline && o.kind == Outline)
            return true;
        return kind == o.kind && format == o.format && start == o.start && before == o.before &&
               after == o.after;
    }
};

struct ListLevel {
    int format = kDecimal;
    int start = 1;
    QString text;  // \leveltext: its length, then characters; 0..8 stand for numbers
};

struct ListDef {
    ListLevel levels[9];
};

bool isPrivateUse(char16_t c) {
    return c >= 0xE000 && c <= 0xF8FF;
}

// The bullet shown for a list level whose bullet is a symbol font's private
// character, which means nothing outside that font.
char16_t levelBullet(int level) {
    static const char16_t bullets[] = {u'\x2022', u'\x25E6', u'\x25AA'};
    return bullets[level % 3];
}

// A list item's number in the style of its level.
QString listNumber(int n, int format) {
    switch (format) {
        case kUpperRoman:
        case kLowerRoman: {
            static const char* const ones[] = {"",  "i",  "ii",  "iii",  "iv",
                                               "v", "vi", "vii", "viii", "ix"};
            static const char* const tens[] = {"",  "x",  "xx",  "xxx",  "xl",
                                               "l", "lx", "lxx", "lxxx", "xc"};
            static const char* const hundreds[] = {"",  "c",  "cc",  "ccc",  "cd",
                                                   "d", "dc", "dcc", "dccc", "cm"};
            if (n <= 0 || n >= 4000)
                return QString::number(n);
            QString r = QString(n / 1000, u'm') + QLatin1String(hundreds[n / 100 % 10]) +
                        QLatin1String(tens[n / 10 % 10]) + QLatin1String(ones[n % 10]);
            return format == kUpperRoman ? r.toUpper() : r;
        }
        case kUpperLetter:
        case kLowerLetter: {
            if (n <= 0)
                return QString::number(n);
            QString r;
            for (int k = n; k > 0; k = (k - 1) / 26)
                r.prepend(QChar(u'a' + (k - 1) % 26));
            return format == kUpperLetter ? r.toUpper() : r;
        }
        case kLeadingZero:
            return n < 10 && n >= 0 ? QStringLiteral("0%1").arg(n) : QString::number(n);
        case kBullet:
        case kNoNumber:
            return {};
        default:
            return QString::number(n);
    }
}

struct Field {
    QString instruction;
    // Index of the hyperlink target in Reader::links_ (0: not a hyperlink),
    // -1 until its result starts. Each field's instruction is looked at once,
    // however deep the fields nest.
    int link = -1;
};

struct Picture {
    QByteArray data;
    bool png = false, jpeg = false;
    int width = 0, height = 0;          // \picw, \pich
    int goalWidth = 0, goalHeight = 0;  // twips
    int scaleX = 100, scaleY = 100;
    bool hexHigh = false;  // a high nibble is waiting for its low one
    int nibble = 0;
};

struct Para;
void appendContent(std::vector<Para>& to, std::vector<Para>& from);

int clampInt(qint64 v, int lo, int hi) {
    return int(std::clamp<qint64>(v, lo, hi));
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The target of a HYPERLINK field instruction, or empty text for other fields.
QString hyperlinkTarget(const QString& instruction) {
    const QString s = instruction.trimmed();
    if (!s.startsWith(u"HYPERLINK", Qt::CaseInsensitive))
        return {};
    QStringList args;
    qsizetype i = 9;
    while (i < s.size()) {
        while (i < s.size() && s[i].isSpace())
            ++i;
        if (i >= s.size())
            break;
        QString arg;
        if (s[i] == u'"') {
            ++i;
            while (i < s.size() && s[i] != u'"')
                arg += s[i++];
            ++i;
        } else {
            while (i < s.size() && !s[i].isSpace())
                arg += s[i++];
        }
        args << arg;
    }
    QString url, location;
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString& a = args[k];
        if (a.startsWith(u'\\') && a.size() == 2) {
            const QChar sw = a[1].toLower();
            if (sw == u'l' && k + 1 < args.size())
                location = args[++k];
            else if (sw == u'o' || sw == u't')
                ++k;  // tip or target frame: not kept
        } else if (url.isEmpty()) {
            url = a;
        }
    }
    if (!location.isEmpty())
        url += u'#' + location;
    return url;
}

class Reader {
  public:
    Reader(const char* begin, const char* end, QTextDocument* doc)
        : p_(begin), end_(end), doc_(doc), cursor_(doc) {}

    void run();

  private:
    // A control word as read: its keyword and parameter.
    struct Word {
        Kw kw = Kw::Unknown;
        qint64 param = 0;
        bool hasParam = false;
        int n = 0;        // the parameter within int's range
        bool on = false;  // toggles: \b is on, \b0 is off
    };

    // --- input
    Word readWord();
    void controlWord();
    void fontTableWord(const Word& w);
    void storeFont();
    void colorTableWord(const Word& w);
    void styleSheetWord(const Word& w);
    void pictureWord(const Word& w);
    void listTableWord(const Word& w);
    void numberingWord(const Word& w);
    bool noteWord(const Word& w);
    void bodyWord(const Word& w);
    bool documentWord(const Word& w);
    bool characterWord(const Word& w);
    bool paragraphWord(const Word& w);
    bool breakWord(const Word& w);
    bool tableWord(const Word& w);
    void controlSymbol(char c);
    void destination(Kw kw);
    void skipGroup();
    void openGroup();
    void closeGroup();
    void endDestination(const State& ending);
    void plainText();
    void byteText(unsigned char b);
    void unicodeChar(qint64 value);
    bool consumeSkipped();
    void flushBytes();
    void binary(qint64 n);
    void pictHex();

    // --- text and formats
    void text(QStringView s);
    void text(char16_t c) { text(QStringView(&c, 1)); }
    int currentFormat();
    QTextCharFormat makeFormat(const CharProps& c) const;
    QTextBlockFormat blockFormat(const ParaProps& p) const;
    int currentCodePage() const;
    void resetChar(CharProps& c) const;
    void applyStyle(int style);
    QString listLabel(int list, int level);
    QString numberingLabel(int pn);
    int formatOf(const CharProps& c);
    void noteMark(int note, bool superscript = false);
    void startNote(State& s);
    void finishNote();
    void dropPendingMark();
    void appendNotes();
    QString markText(const Run& r) const;
    int markFormat(int base, int id, bool own, bool superscript);
    int codePageOfFont(int font) const;
    std::optional<QColor> color(int index) const;

    // --- structure
    void endParagraph();
    void endCell();
    void endRow();
    void flushTable();
    void fillTable(QTextTable* table, const std::vector<PlacedCell>& placed);
    void appendParagraph(const Para& p);
    void emitParagraph(QTextCursor& c, const Para& p, bool first, bool inCell = false);
    void emitPicture();

    State& st() { return stack_.back(); }
    const State& st() const { return stack_.back(); }

    const char* p_;
    const char* end_;
    QTextDocument* doc_;
    QTextCursor cursor_;

    std::vector<State> stack_;
    int depth_ = 0;          // groups open, the document's own included
    int overflowDepth_ = 0;  // groups opened beyond kMaxSavedDepth
    bool star_ = false;      // "\*" seen: the next word starts an ignorable destination
    int skipChars_ = 0;      // fallback characters of \uN still to drop
    bool done_ = false;

    int ansiCodePage_ = 1252;
    int defaultFont_ = -1;
    std::unordered_map<int, FontInfo> fonts_;
    int fontNumber_ = -1;  // entry being read in the font table
    QString fontName_;
    int fontCodePage_ = 0;
    std::vector<std::optional<QColor>> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;
    std::unordered_map<int, StyleInfo> styles_;
    int styleNumber_ = -1;
    StyleInfo style_;

    QByteArray bytes_;  // bytes of a multi-byte code page waiting to be decoded
    int bytesCodePage_ = 0;
    bool leadByte_ = false;  // the last of bytes_ starts a double-byte character

    std::vector<QTextCharFormat> formats_;
    std::unordered_map<CharProps, int, CharPropsHash> formatIndex_;
    int format_ = -1;  // -1: the character properties changed since the last text
    QStringList links_{QString()};
    std::unordered_map<QString, qsizetype> linkIndex_;
    std::vector<Field> fields_;
    std::unordered_map<int, ListDef> lists_;                // by \listid
    std::unordered_map<int, int> listOverrides_;            // \lsN -> \listid
    std::unordered_map<int, std::array<int, 9>> counters_;  // by \lsN
    ListDef list_;                                          // the list being read in the list table
    int listLevel_ = -1;
    int overrideList_ = 0;
    std::vector<PnDef> pns_;          // the old numberings read, in order
    PnDef pn_;                        // the one being read
    bool pnAfter_ = false;            // its text being read goes after the number
    int pnSequence_ = 0;              // the numbering of the last numbered paragraph
    std::array<int, 10> pnCounts_{};  // its numbers by level (0: body)
    std::vector<Note> notes_;         // note n is notes_[n - 1]
    int pendingMark_ = 0;             // a mark in the text waiting for its note's group
    Para bodyPara_;                   // the paragraph a note's group interrupted
    bool bodyPageBreak_ = false;
    bool endnotesOnly_ = false;  // \fet1
    NoteNumbering footnoteNumbering_;
    NoteNumbering endnoteNumbering_{2, 1};  // i, ii, iii unless the file says otherwise
    int footnotes_ = 0, endnotes_ = 0;
    Picture pict_;
    int pictures_ = 0;

    Para para_;
    bool trailingBlock_ = false;  // the last block is the empty one after a paragraph
    bool pageBreak_ = false;      // \page: the next paragraph starts a page
    qint64 blocks_ = 0;
    QString overflow_;  // text of the paragraphs past the budget of blocks

    // the table being read
    std::vector<Row> rows_;
    std::vector<CellDef> defs_;
    CellDef cellDef_;
    std::vector<std::vector<Para>> cells_;
    std::vector<Para> cell_;
    int rowLeft_ = 0, rowGap_ = 0;
    quint8 rowAlign_ = 0;
};

void Reader::run() {
    stack_.reserve(64);
    stack_.push_back(State{});
    resetChar(st().chr);
    cursor_.beginEditBlock();
    while (p_ < end_ && !done_) {
        const char c = *p_;
        switch (c) {
            case '{':
                ++p_;
                openGroup();
                break;
            case '}':
                ++p_;
                closeGroup();
                break;
            case '\\':
                ++p_;
                if (p_ >= end_)
                    break;
                if (isLetter(*p_))
                    controlWord();
                else
                    controlSymbol(*p_++);
                break;
            case '\r':
            case '\n':
            case '\0':
                ++p_;
                break;
            default:
                if (st().dest == Dest::Pict)
                    pictHex();
                else
                    plainText();
                break;
        }
    }
    // A cut-off file: close what is open so that its last paragraph and table
    // are kept.
    flushBytes();
    if (st().note > 0) {
        finishNote();
        for (State& s : stack_) {
            s.note = 0;
            s.startsNote = false;
        }
    }
    if (st().dest == Dest::Pict)
        emitPicture();
    if (!cell_.empty() || !cells_.empty() || (st().para.inTable && !para_.empty())) {
        if (!para_.empty())
            endCell();
        endRow();
    } else if (!para_.empty()) {
        endParagraph();
    }
    flushTable();
    appendNotes();
    if (!overflow_.isEmpty()) {
        cursor_.movePosition(QTextCursor::End);
        cursor_.insertText(overflow_);
        cursor_.insertBlock();
        trailingBlock_ = true;
    }
    if (trailingBlock_) {
        QTextCursor last(doc_);
        last.movePosition(QTextCursor::End);
        last.deletePreviousChar();
    }
    cursor_.endEditBlock();
}

// ---------------------------------------------------------------------------
// Groups

void Reader::openGroup() {
    flushBytes();
    skipChars_ = 0;
    star_ = false;
    ++depth_;
    if (int(stack_.size()) >= kMaxSavedDepth) {
        ++overflowDepth_;
        return;
    }
    State s = st();
    s.startsField = false;
    s.startsNote = false;
    stack_.push_back(s);
}

void Reader::closeGroup() {
    flushBytes();
    skipChars_ = 0;
    star_ = false;
    if (depth_ == 0)
        return;  // a stray closing brace
    if (--depth_ == 0)
        done_ = true;  // the end of the document's own group
    if (overflowDepth_ > 0) {
        --overflowDepth_;
        return;
    }
    if (stack_.size() <= 1)
        return;
    if (st().startsNote)
        finishNote();
    const State ending = stack_.back();
    stack_.pop_back();
    if (ending.dest != st().dest || ending.startsField)
        endDestination(ending);
    if (!(ending.chr == st().chr))
        format_ = -1;
}

void Reader::endDestination(const State& ending) {
    switch (ending.dest) {
        case Dest::FontTable:
            storeFont();
            break;
        case Dest::StyleEntry:
            if (styleNumber_ >= 0)
                styles_[styleNumber_] = style_;
            styleNumber_ = -1;
            style_ = StyleInfo{};
            break;
        case Dest::Pict:
            if (st().dest != Dest::Pict)
                emitPicture();
            break;
        case Dest::Pn:
            // The paragraph (and those after it until \pard) takes the numbering.
            pns_.push_back(pn_);
            st().para.pn = int(pns_.size());
            break;
        default:
            break;
    }
    if (ending.startsField && !fields_.empty())
        fields_.pop_back();
}

// Skips the rest of the group just opened: nothing in it is read.
void Reader::skipGroup() {
    flushBytes();
    int depth = 1;
    while (p_ < end_) {
        const char c = *p_++;
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0) {
                // The group's own closing brace: let closeGroup() see it.
                --p_;
                break;
            }
        } else if (c == '\\' && p_ < end_) {
            if (end_ - p_ > 3 && p_[0] == 'b' && p_[1] == 'i' && p_[2] == 'n' && p_[3] >= '0' &&
                p_[3] <= '9') {
                p_ += 3;
                qint64 n = 0;
                while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
                    n = std::min<qint64>(n * 10 + (*p_ - '0'), qint64(1) << 40);
                    ++p_;
                }
                if (p_ < end_ && *p_ == ' ')
                    ++p_;
                p_ += std::min<qint64>(n, end_ - p_);
            } else {
                ++p_;  // an escaped brace or backslash, or the first letter of a word
            }
        }
    }
    // Inner groups are gone; the state of the skipped group itself is popped
    // by closeGroup() at its brace (or stays, in a cut-off file).
    st().dest = Dest::Ignore;
}

// ---------------------------------------------------------------------------
// Control words

Reader::Word Reader::readWord() {
    const char* start = p_;
    while (p_ < end_ && isLetter(*p_) && p_ - start < 32)
        ++p_;
    const std::string_view name(start, size_t(p_ - start));
    while (p_ < end_ && isLetter(*p_))
        ++p_;  // an over-long word: the rest is part of it
    Word w;
    bool negative = false;
    if (p_ < end_ && *p_ == '-' && end_ - p_ > 1 && p_[1] >= '0' && p_[1] <= '9') {
        negative = true;
        ++p_;
    }
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
        w.hasParam = true;
        w.param = std::min<qint64>(w.param * 10 + (*p_ - '0'), qint64(1) << 40);
        ++p_;
    }
    if (negative)
        w.param = -w.param;
    if (p_ < end_ && *p_ == ' ')
        ++p_;
    w.kw = keyword(name);
    w.n = clampInt(w.param, -1'000'000'000, 1'000'000'000);
    w.on = !w.hasParam || w.n != 0;
    return w;
}

void Reader::controlWord() {
    const Word w = readWord();
    const bool starred = star_;
    star_ = false;

    if (skipChars_ > 0 && (w.kw == Kw::Tab || specialCharacter(w.kw))) {
        // A special character in the fallback of \uN counts as one character;
        // words that shape the document are never part of a fallback.
        --skipChars_;
        return;
    }
    if (w.kw != Kw::U && w.kw != Kw::Bin && w.kw != Kw::Unknown)
        flushBytes();

    const Dest dest = st().dest;
    switch (w.kw) {
        case Kw::FontTable:
        case Kw::ColorTable:
        case Kw::StyleSheet:
        case Kw::Field:
        case Kw::FldInst:
        case Kw::FldRslt:
        case Kw::Pict:
        case Kw::ShpPict:
        case Kw::Skip:
        case Kw::ListTable:
        case Kw::ListOverrideTable:
        case Kw::LevelText:
        case Kw::ListText:
        case Kw::Pn:
        case Kw::PnTxtA:
        case Kw::PnTxtB:
        case Kw::Footnote:
            destination(w.kw);
            return;
        case Kw::Cs:
        case Kw::Ds:
        case Kw::Ts:
            if (dest == Dest::StyleSheet || dest == Dest::StyleEntry) {
                st().dest = Dest::StyleEntry;
                styleNumber_ = w.kw == Kw::Cs ? w.n + kCharStyleOffset : -1;
                return;
            }
            if (w.kw == Kw::Cs && !starred) {
                characterWord(w);
                return;
            }
            break;
        case Kw::Unknown:
            if (starred)
                skipGroup();
            return;
        default:
            break;
    }
    if (starred && dest != Dest::StyleSheet) {
        // "\*" before a word we know as a property rather than a destination:
        // whatever group it opens is nothing we read.
        skipGroup();
        return;
    }

    switch (dest) {
        case Dest::FontTable:
            fontTableWord(w);
            return;
        case Dest::ColorTable:
            colorTableWord(w);
            return;
        case Dest::StyleSheet:
        case Dest::StyleEntry:
            styleSheetWord(w);
            return;
        case Dest::Pict:
            pictureWord(w);
            return;
        case Dest::ListTable:
            listTableWord(w);
            return;
        case Dest::ListOverrides:
            if (w.kw == Kw::ListId)
                overrideList_ = w.n;
            else if (w.kw == Kw::Ls)
                listOverrides_[w.n] = overrideList_;
            return;
        case Dest::LevelText:
            if (w.kw == Kw::U)
                unicodeChar(w.param);
            return;
        case Dest::Pn:
        case Dest::PnText:
            numberingWord(w);
            return;
        case Dest::FieldInst:
        case Dest::Ignore:
        case Dest::Text:
            bodyWord(w);
            return;
    }
}

void Reader::fontTableWord(const Word& w) {
    switch (w.kw) {
        case Kw::F:
            storeFont();
            fontNumber_ = clampInt(w.param, 0, 1 << 30);
            break;
        case Kw::FCharset:
            if (!fontCodePage_)
                fontCodePage_ = codePageOfCharset(w.n);
            break;
        case Kw::Cpg:
            fontCodePage_ = w.n;
            break;
        case Kw::U:
            unicodeChar(w.param);
            break;
        default:
            break;
    }
}

// The font entry read so far goes into the font table (at its ';', at the next
// \f, or where its group ends).
void Reader::storeFont() {
    if (fontNumber_ >= 0 && !fontName_.trimmed().isEmpty())
        fonts_[fontNumber_] = {fontName_.trimmed(), fontCodePage_};
    fontNumber_ = -1;
    fontName_.clear();
    fontCodePage_ = 0;
}

void Reader::colorTableWord(const Word& w) {
    switch (w.kw) {
        case Kw::Red:
            red_ = clampInt(w.param, 0, 255);
            break;
        case Kw::Green:
            green_ = clampInt(w.param, 0, 255);
            break;
        case Kw::Blue:
            blue_ = clampInt(w.param, 0, 255);
            break;
        default:
            return;
    }
    colorSet_ = true;
}

void Reader::styleSheetWord(const Word& w) {
    switch (w.kw) {
        case Kw::S:
            st().dest = Dest::StyleEntry;
            styleNumber_ = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::F:
            style_.font = clampInt(w.param, 0, 1 << 30);
            break;
        case Kw::Fs:
            style_.halfPoints = clampInt(w.param, 0, kMaxHalfPoints);
            break;
        case Kw::SBasedOn:
            style_.basedOn = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::OutlineLevel:
            style_.outline = w.n >= 0 && w.n <= 8 ? w.n + 1 : 0;
            break;
        default:
            break;
    }
}

void Reader::pictureWord(const Word& w) {
    switch (w.kw) {
        case Kw::PngBlip:
            pict_.png = true;
            break;
        case Kw::JpegBlip:
            pict_.jpeg = true;
            break;
        case Kw::PicW:
            pict_.width = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::PicH:
            pict_.height = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::PicWGoal:
            pict_.goalWidth = clampInt(w.param, 0, 1 << 24);
            break;
        case Kw::PicHGoal:
            pict_.goalHeight = clampInt(w.param, 0, 1 << 24);
            break;
        case Kw::PicScaleX:
            pict_.scaleX = clampInt(w.param, 1, 10000);
            break;
        case Kw::PicScaleY:
            pict_.scaleY = clampInt(w.param, 1, 10000);
            break;
        case Kw::Bin:
            binary(w.param);
            break;
        default:
            break;
    }
}

void Reader::listTableWord(const Word& w) {
    switch (w.kw) {
        case Kw::ListLevel:
            if (listLevel_ < 8)
                list_.levels[++listLevel_] = ListLevel{};
            break;
        case Kw::LevelNfc:
            if (listLevel_ >= 0)
                list_.levels[listLevel_].format = w.n;
            break;
        case Kw::LevelStartAt:
            if (listLevel_ >= 0)
                list_.levels[listLevel_].start = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::ListId:
            lists_[w.n] = list_;
            list_ = ListDef{};
            listLevel_ = -1;
            break;
        default:
            break;
    }
}

void Reader::numberingWord(const Word& w) {
    switch (w.kw) {
        case Kw::PnLvl:
            pn_.kind = PnDef::Outline;
            pn_.level = clampInt(w.param, 1, 9);
            break;
        case Kw::PnLvlBlt:
            pn_.kind = PnDef::Bullet;
            break;
        case Kw::PnLvlBody:
            pn_.kind = PnDef::Body;
            break;
        case Kw::PnLvlCont:
            pn_.kind = PnDef::Continue;
            break;
        case Kw::PnStart:
            pn_.start = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::PnDec:
        case Kw::PnUcRm:
        case Kw::PnLcRm:
        case Kw::PnUcLtr:
        case Kw::PnLcLtr:
            pn_.format = runFormat(w.kw, Kw::PnDec);
            break;
        case Kw::PnF:
            pn_.font = clampInt(w.param, 0, 1 << 30);
            break;
        case Kw::U:
            unicodeChar(w.param);
            break;
        default:
            break;
    }
}

// Marks of notes and how notes are numbered; true when `w` was one of them.
bool Reader::noteWord(const Word& w) {
    switch (w.kw) {
        case Kw::ChFtn:
            if (st().dest != Dest::Text)
                break;
            if (st().note > 0) {
                noteMark(st().note);  // the note's own copy of its mark
            } else {
                dropPendingMark();
                pendingMark_ = int(notes_.size()) + 1;
                noteMark(pendingMark_);
            }
            break;
        case Kw::FtnAlt:
            if (st().note > 0)
                notes_[size_t(st().note - 1)].endnote = true;
            break;
        case Kw::Fet:
            endnotesOnly_ = w.n == 1;
            break;
        case Kw::FtnStart:
            footnoteNumbering_.start = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::AftnStart:
            endnoteNumbering_.start = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::FtnNar:
        case Kw::FtnNruc:
        case Kw::FtnNrlc:
        case Kw::FtnNauc:
        case Kw::FtnNalc:
            footnoteNumbering_.format = runFormat(w.kw, Kw::FtnNar);
            break;
        case Kw::AftnNar:
        case Kw::AftnNruc:
        case Kw::AftnNrlc:
        case Kw::AftnNauc:
        case Kw::AftnNalc:
            endnoteNumbering_.format = runFormat(w.kw, Kw::AftnNar);
            break;
        default:
            return false;
    }
    return true;
}

// A word of the body (or of text we read and drop): the document's settings,
// formatting, breaks, tables and special characters.
void Reader::bodyWord(const Word& w) {
    if (documentWord(w))
        return;
    if (characterWord(w))
        return;
    if (paragraphWord(w) || breakWord(w) || tableWord(w) || noteWord(w))
        return;
    if (const char16_t c = specialCharacter(w.kw))
        text(c);
}

bool Reader::documentWord(const Word& w) {
    switch (w.kw) {
        case Kw::Ansi:
            ansiCodePage_ = 1252;
            return true;
        case Kw::Mac:
            ansiCodePage_ = 10000;
            return true;
        case Kw::Pc:
            ansiCodePage_ = 437;
            return true;
        case Kw::Pca:
            ansiCodePage_ = 850;
            return true;
        case Kw::AnsiCpg:
            if (w.n > 0)
                ansiCodePage_ = w.n;
            return true;
        case Kw::Uc:
            st().uc = clampInt(w.param, 0, kMaxSkip);
            return true;
        case Kw::U:
            unicodeChar(w.param);
            return true;
        case Kw::Bin:
            binary(w.param);
            return true;
        default:
            return false;
    }
}

// Character formatting; true when `w` was one of its words.
bool Reader::characterWord(const Word& w) {
    CharProps& chr = st().chr;
    const auto underline = [&](Underline kind) { chr.underline = w.on ? kind : Underline::None; };
    switch (w.kw) {
        case Kw::Deff:
            defaultFont_ = w.n;
            if (chr.font < 0)
                chr.font = w.n;
            break;
        case Kw::Plain:
            resetChar(chr);
            break;
        case Kw::F:
            chr.font = clampInt(w.param, 0, 1 << 30);
            break;
        case Kw::Fs:
            chr.halfPoints = w.hasParam && w.n > 0 ? std::clamp(w.n, 2, kMaxHalfPoints) : 24;
            break;
        case Kw::B:
            chr.bold = w.on;
            break;
        case Kw::I:
            chr.italic = w.on;
            break;
        case Kw::Ul:
            underline(Underline::Single);
            break;
        case Kw::UlNone:
            chr.underline = Underline::None;
            break;
        case Kw::UlD:
            underline(Underline::Dotted);
            break;
        case Kw::UlDash:
            underline(Underline::Dash);
            break;
        case Kw::UlDashD:
            underline(Underline::DashDot);
            break;
        case Kw::UlDashDD:
            underline(Underline::DashDotDot);
            break;
        case Kw::UlWave:
            underline(Underline::Wave);
            break;
        case Kw::Strike:
        case Kw::StrikeD:
            chr.strike = w.on;
            break;
        case Kw::Cf:
            chr.fg = w.hasParam ? w.n : -1;
            break;
        case Kw::Highlight:
            chr.highlight = w.hasParam && w.n > 0 ? w.n : -1;
            break;
        case Kw::Cb:
        case Kw::ChCbPat:
            chr.shading = w.hasParam && w.n > 0 ? w.n : -1;
            break;
        case Kw::Super:
            chr.vertical = 1;
            break;
        case Kw::Sub:
            chr.vertical = -1;
            break;
        case Kw::NoSuperSub:
            chr.vertical = 0;
            break;
        case Kw::Up:
            chr.vertical = w.n > 0 ? 1 : 0;
            break;
        case Kw::Dn:
            chr.vertical = w.n > 0 ? -1 : 0;
            break;
        case Kw::V:
            chr.hidden = w.on;
            break;
        case Kw::Caps:
            chr.caps = w.on ? QFont::AllUppercase : QFont::MixedCase;
            break;
        case Kw::SCaps:
            chr.caps = w.on ? QFont::SmallCaps : QFont::MixedCase;
            break;
        case Kw::S:
            applyStyle(clampInt(w.param, 0, 1 << 20));
            break;
        case Kw::Cs:
            applyStyle(w.n + kCharStyleOffset);
            break;
        default:
            return false;
    }
    format_ = -1;  // the one place: the next text looks its format up again
    return true;
}

// Paragraph formatting; true when `w` was one of its words.
bool Reader::paragraphWord(const Word& w) {
    ParaProps& para = st().para;
    const auto twips = [&](int lo) { return clampInt(w.param, lo, kMaxTwips); };
    switch (w.kw) {
        case Kw::Pard:
            para = ParaProps{};
            break;
        case Kw::Ql:
            para.align = 0;
            break;
        case Kw::Qc:
            para.align = 1;
            break;
        case Kw::Qr:
            para.align = 2;
            break;
        case Kw::Qj:
        case Kw::Qd:
            para.align = 3;
            break;
        case Kw::Li:
        case Kw::Lin:
            para.left = twips(-kMaxTwips);
            break;
        case Kw::Ri:
        case Kw::Rin:
            para.right = twips(-kMaxTwips);
            break;
        case Kw::Fi:
            para.first = twips(-kMaxTwips);
            break;
        case Kw::Sb:
            para.before = twips(0);
            break;
        case Kw::Sa:
            para.after = twips(0);
            break;
        case Kw::Sl:
            para.line = twips(-kMaxTwips);
            break;
        case Kw::SlMult:
            para.lineMultiple = w.on;
            break;
        case Kw::PageBb:
            para.pageBreakBefore = w.on;
            break;
        case Kw::Tx:
        case Kw::Tb:
            if (para.tabCount < kMaxTabs && w.param > 0)
                para.tabs[para.tabCount++] = twips(0);
            break;
        case Kw::InTbl:
            para.inTable = w.on;
            break;
        case Kw::Ls:
            para.list = clampInt(w.param, 0, 1 << 20);
            break;
        case Kw::Ilvl:
            para.level = clampInt(w.param, 0, 8);
            break;
        case Kw::Itap:
            para.nesting = clampInt(w.param, 0, 1000);
            para.inTable = para.nesting > 0;
            break;
        case Kw::OutlineLevel:
            para.outline = w.n >= 0 && w.n <= 8 ? w.n + 1 : 0;
            break;
        default:
            return false;
    }
    return true;
}

// Paragraph, line, page and cell breaks; true when `w` was one of them.
bool Reader::breakWord(const Word& w) {
    const bool body = st().dest == Dest::Text;
    // A note's table, if it has one, is read as its paragraphs.
    if (body && st().note > 0 && (w.kw == Kw::Cell || w.kw == Kw::Row)) {
        if (!para_.empty())
            endParagraph();
        return true;
    }
    switch (w.kw) {
        case Kw::Par:
            if (body)
                endParagraph();
            break;
        case Kw::Sect:
            if (body && !para_.empty())
                endParagraph();
            break;
        case Kw::Page:
            if (!body)
                break;
            if (!para_.empty())
                endParagraph();
            pageBreak_ = true;
            break;
        case Kw::Line:
        case Kw::LBr:
            text(u'\x2028');
            break;
        case Kw::Tab:
            text(u'\t');
            break;
        case Kw::Cell:
            if (body)
                endCell();
            break;
        case Kw::NestCell:
        case Kw::NestRow:
            if (body && !para_.empty())
                endParagraph();
            break;
        case Kw::Row:
            if (body)
                endRow();
            break;
        default:
            return false;
    }
    return true;
}

// Row and cell definitions; true when `w` was one of their words.
bool Reader::tableWord(const Word& w) {
    switch (w.kw) {
        case Kw::Trowd:
            defs_.clear();
            cellDef_ = CellDef{};
            rowLeft_ = 0;
            rowGap_ = 0;
            rowAlign_ = 0;
            break;
        case Kw::Cellx:
            cellDef_.right = clampInt(w.param, -kMaxTwips, 1 << 24);
            defs_.push_back(cellDef_);
            cellDef_ = CellDef{};
            break;
        case Kw::TrLeft:
            rowLeft_ = clampInt(w.param, -kMaxTwips, kMaxTwips);
            break;
        case Kw::TrGaph:
            rowGap_ = clampInt(w.param, 0, kMaxTwips);
            break;
        case Kw::TrQl:
            rowAlign_ = 0;
            break;
        case Kw::TrQc:
            rowAlign_ = 1;
            break;
        case Kw::TrQr:
            rowAlign_ = 2;
            break;
        case Kw::ClMgf:
            cellDef_.mergeFirst = true;
            break;
        case Kw::ClMrg:
            cellDef_.merged = true;
            break;
        case Kw::ClVmgf:
            cellDef_.vMergeFirst = true;
            break;
        case Kw::ClVmrg:
            cellDef_.vMerged = true;
            break;
        case Kw::ClCbPat:
            cellDef_.background = w.n;
            break;
        case Kw::ClBrdrT:
        case Kw::ClBrdrL:
        case Kw::ClBrdrB:
        case Kw::ClBrdrR:
            cellDef_.border = true;
            break;
        default:
            return false;
    }
    return true;
}

// A word that opens a destination: what the rest of its group means.
void Reader::destination(Kw kw) {
    State& s = st();
    switch (kw) {
        case Kw::FontTable:
            s.dest = Dest::FontTable;
            break;
        case Kw::ColorTable:
            s.dest = Dest::ColorTable;
            colors_.clear();
            red_ = green_ = blue_ = 0;
            colorSet_ = false;
            break;
        case Kw::StyleSheet:
            s.dest = Dest::StyleSheet;
            break;
        case Kw::Field:
            if (fields_.size() < 64) {
                fields_.push_back(Field{});
                s.startsField = true;
            }
            break;
        case Kw::FldInst:
            if (s.dest == Dest::Text)
                s.dest = Dest::FieldInst;
            break;
        case Kw::FldRslt:
            if (s.dest == Dest::FieldInst)
                s.dest = Dest::Text;
            if (!fields_.empty()) {
                // Fields nested past the limit share the innermost one kept.
                Field& field = fields_.back();
                if (field.link < 0) {
                    const QString target = hyperlinkTarget(field.instruction);
                    field.link = 0;
                    if (!target.isEmpty()) {
                        // Links to one target share one format.
                        const auto [it, fresh] = linkIndex_.try_emplace(target, links_.size());
                        if (fresh)
                            links_ << target;
                        field.link = int(it->second);
                    }
                    field.instruction = QString();
                }
                if (field.link > 0 && s.chr.link != field.link) {
                    s.chr.link = field.link;
                    format_ = -1;
                }
            }
            break;
        case Kw::Pict:
            if (s.dest == Dest::Text) {
                s.dest = Dest::Pict;
                pict_ = Picture{};
            } else {
                skipGroup();
            }
            break;
        case Kw::ShpPict:
            break;  // holds the \pict we read; its \nonshppict sibling is skipped
        case Kw::ListTable:
            s.dest = Dest::ListTable;
            list_ = ListDef{};
            listLevel_ = -1;
            break;
        case Kw::ListOverrideTable:
            s.dest = Dest::ListOverrides;
            break;
        case Kw::LevelText:
            if (s.dest == Dest::ListTable && listLevel_ >= 0)
                s.dest = Dest::LevelText;
            else
                skipGroup();
            break;
        case Kw::ListText:
            s.label = true;
            break;
        case Kw::Footnote:
            if (s.dest == Dest::Text && s.note == 0 && overflowDepth_ == 0)
                startNote(s);
            else
                skipGroup();  // a note in a note, or groups too deep to keep apart
            break;
        case Kw::Pn:
            if (s.dest == Dest::Text) {
                s.dest = Dest::Pn;
                pn_ = PnDef{};
            } else {
                skipGroup();
            }
            break;
        case Kw::PnTxtA:
        case Kw::PnTxtB:
            if (s.dest == Dest::Pn) {
                s.dest = Dest::PnText;
                pnAfter_ = kw == Kw::PnTxtA;
            } else {
                skipGroup();
            }
            break;
        default:
            skipGroup();
            break;
    }
}

void Reader::controlSymbol(char c) {
    if (c != '*')
        star_ = false;
    switch (c) {
        case '\'': {
            // An escape without its two hex digits is dropped with the digit it
            // has; what follows it (a control word, text) is read as usual.
            const int hi = p_ < end_ ? hexValue(p_[0]) : -1;
            const int lo = hi >= 0 && end_ - p_ > 1 ? hexValue(p_[1]) : -1;
            if (hi < 0)
                return;
            if (lo < 0) {
                ++p_;
                return;
            }
            p_ += 2;
            if (st().dest == Dest::Pict)
                return;
            byteText(static_cast<unsigned char>(hi * 16 + lo));
            return;
        }
        case '*':
            star_ = true;
            return;
        case '~':
        case '_':
        case '-':
            flushBytes();
            if (!consumeSkipped())
                text(c == '~' ? u'\x00A0' : c == '_' ? u'\x2011' : u'\x00AD');
            return;
        case '\\':
        case '{':
        case '}':
            byteText(static_cast<unsigned char>(c));
            return;
        case '\r':
        case '\n':
            flushBytes();
            if (skipChars_ == 0 && st().dest == Dest::Text)
                endParagraph();
            return;
        case '\t':
            flushBytes();
            text(u'\t');
            return;
        default:
            return;  // \: \| and other symbols we keep nothing of
    }
}

// ---------------------------------------------------------------------------
// Text

void Reader::plainText() {
    star_ = false;
    const Dest dest = st().dest;
    if (dest == Dest::Ignore) {
        while (p_ < end_ && *p_ != '\\' && *p_ != '{' && *p_ != '}')
            ++p_;
        return;
    }
    // The common case: ASCII body text with nothing to skip.
    if (dest == Dest::Text && skipChars_ == 0 && bytes_.isEmpty()) {
        const char* s = p_;
        while (p_ < end_) {
            const unsigned char b = static_cast<unsigned char>(*p_);
            if (b == '\\' || b == '{' || b == '}' || b < 0x20 || b >= 0x80)
                break;
            ++p_;
        }
        if (p_ > s) {
            text(QString::fromLatin1(s, p_ - s));
            return;
        }
    }
    const unsigned char b = static_cast<unsigned char>(*p_++);
    if (b == '\t') {
        flushBytes();
        if (!consumeSkipped())
            text(u'\t');
        return;
    }
    byteText(b);
}

// One byte of text in the code page of the current font.
void Reader::byteText(unsigned char b) {
    if (consumeSkipped())
        return;
    const Dest dest = st().dest;
    if (dest == Dest::ColorTable) {
        if (b == ';') {
            colors_.push_back(colorSet_ ? std::optional<QColor>(QColor(red_, green_, blue_))
                                        : std::nullopt);
            red_ = green_ = blue_ = 0;
            colorSet_ = false;
        }
        return;
    }
    if (dest == Dest::FontTable && b == ';') {
        flushBytes();
        storeFont();
        return;
    }
    if (dest == Dest::StyleSheet || dest == Dest::StyleEntry || dest == Dest::Ignore ||
        dest == Dest::Pict || dest == Dest::ListTable || dest == Dest::ListOverrides)
        return;
    if (leadByte_) {
        // The second byte of a double-byte character, whatever its value;
        // a lead byte without one reads as an unknown character.
        if (isTrailByte(bytesCodePage_, b) && currentCodePage() == bytesCodePage_) {
            bytes_ += char(b);
            leadByte_ = false;
            return;
        }
        flushBytes();
    }
    if (b < 0x20 && dest == Dest::Text)
        return;  // control characters are no text (tabs come as \tab)
    if (b < 0x80) {
        flushBytes();
        text(char16_t(b));
        return;
    }
    const int cp = currentCodePage();
    if (isMultiByte(cp)) {
        if (!bytes_.isEmpty() && bytesCodePage_ != cp)
            flushBytes();
        bytesCodePage_ = cp;
        bytes_ += char(b);
        leadByte_ = isLeadByte(cp, b);
        return;
    }
    if (cp == kSymbolCodePage) {
        text(char16_t(0xF000 + b));
        return;
    }
    const char16_t* table = singleByteTable(cp);
    if (!table)
        table = singleByteTable(1252);
    text(table[b - 0x80]);
}

void Reader::flushBytes() {
    const bool cutOff = leadByte_;  // a lead byte that got no second byte
    leadByte_ = false;
    if (bytes_.isEmpty())
        return;
    QString s;
    appendDecoded(s, bytes_.constData(), bytes_.size() - (cutOff ? 1 : 0), bytesCodePage_);
    if (cutOff)
        s += QChar::ReplacementCharacter;
    bytes_.clear();
    text(s);
}

// Drops one character of the fallback text that follows \uN.
bool Reader::consumeSkipped() {
    if (skipChars_ <= 0)
        return false;
    --skipChars_;
    return true;
}

void Reader::unicodeChar(qint64 value) {
    flushBytes();
    if (value < 0)
        value += 65536;
    skipChars_ = st().uc;
    if (value <= 0 || value > 0x10FFFF || (value < 0x20 && st().dest == Dest::Text))
        return;
    if (value > 0xFFFF) {
        const char32_t cp = char32_t(value);
        const char16_t pair[2] = {QChar::highSurrogate(cp), QChar::lowSurrogate(cp)};
        text(QStringView(pair, 2));
        return;
    }
    text(char16_t(value));
}

void Reader::binary(qint64 n) {
    flushBytes();
    const qint64 count = std::clamp<qint64>(n, 0, end_ - p_);
    if (st().dest == Dest::Pict)
        pict_.data.append(p_, count);
    p_ += count;
    if (skipChars_ > 0)
        --skipChars_;
}

// Hex digits of a picture, read in bulk.
void Reader::pictHex() {
    QByteArray& data = pict_.data;
    while (p_ < end_) {
        const char c = *p_;
        if (c == '\\' || c == '{' || c == '}')
            return;
        ++p_;
        const int v = hexValue(c);
        if (v < 0)
            continue;
        if (pict_.hexHigh) {
            data.append(char(pict_.nibble << 4 | v));
            pict_.hexHigh = false;
        } else {
            pict_.nibble = v;
            pict_.hexHigh = true;
        }
    }
}

void Reader::text(QStringView s) {
    State& state = st();
    switch (state.dest) {
        case Dest::Text:
            break;
        case Dest::FontTable:
            fontName_ += s;
            return;
        case Dest::FieldInst:
            if (!fields_.empty() && fields_.back().link < 0 &&
                fields_.back().instruction.size() < 4096)
                fields_.back().instruction += s;
            return;
        case Dest::LevelText:
            if (listLevel_ >= 0 && list_.levels[listLevel_].text.size() < 64)
                list_.levels[listLevel_].text += s;
            return;
        case Dest::PnText: {
            QString& t = pnAfter_ ? pn_.after : pn_.before;
            if (t.size() < 32)
                t += s;
            return;
        }
        default:
            return;
    }
    if (state.chr.hidden)
        return;
    if (pendingMark_ && state.note == 0 &&
        std::any_of(s.begin(), s.end(), [](QChar c) { return !c.isSpace(); }))
        dropPendingMark();  // text between a mark and its note: the mark has none
    if (state.label) {
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (isPrivateUse(s[i].unicode())) {
                // Which bullet stands for it is known once the level is.
                QString bullet(1, QChar(levelBullet(0)));
                if (para_.bulletRun < 0) {
                    para_.bulletRun = int(para_.runs.size()) - 1;
                    const int f = currentFormat();
                    if (para_.runs.empty() || para_.runs.back().format != f ||
                        para_.runs.back().note) {
                        para_.runs.push_back(Run{QString(), f});
                        para_.bulletRun = int(para_.runs.size()) - 1;
                    }
                    para_.bulletAt = para_.runs.back().text.size();
                }
                para_.hasLabel = true;
                text(QStringView(s).first(i));
                para_.runs.back().text += bullet;
                text(QStringView(s).sliced(i + 1));
                return;
            }
            if (!s[i].isSpace())
                para_.hasLabel = true;
        }
    }
    const int f = currentFormat();
    if (para_.runs.empty() || para_.runs.back().format != f || para_.runs.back().note)
        para_.runs.push_back(Run{QString(), f});
    para_.runs.back().text += s;
}

// ---------------------------------------------------------------------------
// Footnotes and endnotes

// The mark of note `note` at this place of the text, in the current format
// (raised, for a mark the reader puts there itself).
void Reader::noteMark(int note, bool superscript) {
    CharProps c = st().chr;
    if (superscript)
        c.vertical = 1;
    c.note = note;
    para_.runs.push_back(Run{QString(), formatOf(c), note});
}

// A mark that no note's group followed keeps its place and shows nothing.
void Reader::dropPendingMark() {
    if (!pendingMark_)
        return;
    if (pendingMark_ == int(notes_.size()) + 1) {
        notes_.emplace_back();
        notes_.back().stray = true;
    }
    pendingMark_ = 0;
}

// \footnote: the rest of the group is a note, and the paragraph it interrupts
// goes on after it. Its mark is the \chftn just before it, else the
// superscript characters just before it (a mark of its own text), else a
// number put there.
void Reader::startNote(State& s) {
    const int id = int(notes_.size()) + 1;
    Note note;
    note.endnote = endnotesOnly_;
    if (pendingMark_ != id) {
        dropPendingMark();
        Run* last = para_.runs.empty() ? nullptr : &para_.runs.back();
        const QTextCharFormat* lf = last ? &formats_[size_t(last->format)] : nullptr;
        qsizetype from = last ? last->text.size() : 0;
        while (from > 0 && last->text.size() - from < 8 && !last->text[from - 1].isSpace())
            --from;
        if (last && !last->note && lf->verticalAlignment() == QTextCharFormat::AlignSuperScript &&
            from < last->text.size()) {
            note.ownMark = last->text.sliced(from);
            last->text.truncate(from);
            const int format = markFormat(last->format, id, true, false);
            if (last->text.isEmpty())
                para_.runs.pop_back();
            para_.runs.push_back(Run{note.ownMark, format, id});
        } else {
            noteMark(id, true);
        }
    }
    pendingMark_ = 0;
    notes_.push_back(std::move(note));
    s.note = id;
    s.startsNote = true;
    bodyPara_ = std::move(para_);
    para_ = Para{};
    bodyPageBreak_ = pageBreak_;
    pageBreak_ = false;
}

// The end of a note's group (st() is still its state).
void Reader::finishNote() {
    if (!para_.empty())
        endParagraph();
    Note& note = notes_[size_t(st().note - 1)];
    if (note.ownMark.isEmpty())  // a mark of its own text takes no number
        note.number = note.endnote ? ++endnotes_ : ++footnotes_;
    para_ = std::move(bodyPara_);
    bodyPara_ = Para{};
    pageBreak_ = bodyPageBreak_;
}

// Format `base` as the mark of note `id`.
int Reader::markFormat(int base, int id, bool own, bool superscript) {
    QTextCharFormat f = formats_[size_t(base)];
    f.setProperty(rtfnote::kMark, id);
    if (own)
        f.setProperty(rtfnote::kOwnMark, true);
    if (superscript)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    formats_.push_back(f);
    return int(formats_.size() - 1);
}

QString Reader::markText(const Run& r) const {
    if (!r.text.isEmpty() || r.note <= 0 || r.note > int(notes_.size()))
        return r.text;
    const Note& note = notes_[size_t(r.note - 1)];
    if (note.stray)
        return {};
    if (!note.ownMark.isEmpty())
        return note.ownMark;
    const NoteNumbering& n = note.endnote ? endnoteNumbering_ : footnoteNumbering_;
    return listNumber(note.number + n.start - 1, n.format);
}

// The notes after the text, footnotes first, each in the order of its marks,
// behind a short rule. A note whose paragraphs do not show its mark gets it at
// its start.
void Reader::appendNotes() {
    if (std::all_of(notes_.begin(), notes_.end(), [](const Note& n) { return n.stray; }))
        return;
    Para rule;
    rule.rule = true;
    rule.markFormat = formatOf(CharProps{});
    appendParagraph(rule);
    for (const bool endnotes : {false, true}) {
        for (size_t i = 0; i < notes_.size(); ++i) {
            Note& note = notes_[i];
            if (note.stray || note.endnote != endnotes)
                continue;
            const int id = int(i + 1);
            if (note.paras.empty()) {
                note.paras.emplace_back();
                note.paras.back().markFormat = formatOf(CharProps{});
            }
            Para& first = note.paras.front();
            if (!note.ownMark.isEmpty() && !first.runs.empty() &&
                first.runs.front().text.trimmed() == note.ownMark) {
                // The note's copy of a mark of its own text is that mark.
                Run& own = first.runs.front();
                own = Run{own.text, markFormat(own.format, id, true, false), id};
            }
            const bool marked =
                std::any_of(note.paras.begin(), note.paras.end(), [&](const Para& p) {
                    return std::any_of(p.runs.begin(), p.runs.end(),
                                       [&](const Run& r) { return r.note == id; });
                });
            if (!marked) {
                const int base = first.runs.empty() ? first.markFormat : first.runs.front().format;
                first.runs.insert(
                    first.runs.begin(),
                    {Run{note.ownMark, markFormat(base, id, !note.ownMark.isEmpty(), true), id},
                     Run{QStringLiteral(" "), base}});
            }
            for (Para& p : note.paras) {
                p.note = id;
                p.endnote = note.endnote;
                appendParagraph(p);
            }
        }
    }
}

// The code page of text bytes here: a font table entry's own, the \pn
// numbering's font's, else the current font's. Only bytes past ASCII and the
// second bytes of double-byte characters ask.
int Reader::currentCodePage() const {
    switch (st().dest) {
        case Dest::FontTable:
            return fontCodePage_ ? fontCodePage_ : ansiCodePage_;
        case Dest::PnText:
            if (pn_.font >= 0)
                return codePageOfFont(pn_.font);
            break;
        default:
            break;
    }
    return codePageOfFont(st().chr.font);
}

int Reader::codePageOfFont(int font) const {
    if (font >= 0) {
        const auto it = fonts_.find(font);
        if (it != fonts_.end() && it->second.codePage)
            return it->second.codePage;
    }
    return ansiCodePage_;
}

void Reader::resetChar(CharProps& c) const {
    // A field's hyperlink is not formatting: \plain inside its result keeps it.
    const int link = c.link;
    c = CharProps{};
    c.font = defaultFont_;
    c.link = link;
}

void Reader::applyStyle(int number) {
    // Follows \sbasedon for what the style itself leaves unsaid, a few steps at
    // most (a loop of styles based on each other ends there).
    const bool paragraphStyle = number < kCharStyleOffset;
    if (paragraphStyle) {
        const auto own = styles_.find(number);
        if (own != styles_.end() && own->second.outline)
            st().para.outline = own->second.outline;
    }
    int font = -1, size = 0;
    for (int i = 0; i < 8 && number >= 0; ++i) {
        const auto it = styles_.find(number);
        if (it == styles_.end())
            break;
        if (font < 0)
            font = it->second.font;
        if (size == 0)
            size = it->second.halfPoints;
        number = it->second.basedOn;
    }
    CharProps& c = st().chr;
    if (font >= 0)
        c.font = font;
    if (size > 0)
        c.halfPoints = size;
}

QString Reader::listLabel(int list, int level) {
    const auto over = listOverrides_.find(list);
    const auto def = lists_.find(over == listOverrides_.end() ? list : over->second);
    if (def == lists_.end())
        return {};
    const ListDef& d = def->second;
    auto [it, fresh] = counters_.try_emplace(list);
    std::array<int, 9>& counts = it->second;
    if (fresh)
        counts.fill(INT_MIN);
    counts[size_t(level)] =
        counts[size_t(level)] == INT_MIN ? d.levels[level].start : counts[size_t(level)] + 1;
    for (int k = level + 1; k < 9; ++k)
        counts[size_t(k)] = INT_MIN;
    const QString& t = d.levels[level].text;
    if (t.isEmpty())
        return {};
    const qsizetype length = std::min<qsizetype>(t[0].unicode(), t.size() - 1);
    QString label;
    for (qsizetype i = 1; i <= length; ++i) {
        const char16_t c = t[i].unicode();
        if (c < 9) {
            const int v = counts[c] == INT_MIN ? d.levels[c].start : counts[c];
            label += listNumber(v, d.levels[c].format);
        } else {
            label += isPrivateUse(c) ? QChar(levelBullet(level)) : t[i];
        }
    }
    return label;
}

// The number (or bullet) of a paragraph of the old numbering: paragraphs of one
// numbering in a row count on; any other paragraph ends the row.
QString Reader::numberingLabel(int pn) {
    const PnDef& d = pns_[size_t(pn - 1)];
    if (d.kind == PnDef::Continue)
        return {};
    if (d.kind == PnDef::Bullet) {
        QString bullet = d.before.trimmed();
        if (bullet.isEmpty() || std::any_of(bullet.begin(), bullet.end(),
                                            [](QChar c) { return isPrivateUse(c.unicode()); }))
            bullet = QChar(levelBullet(0));
        return bullet;
    }
    const size_t level = d.kind == PnDef::Outline ? size_t(d.level) : 0;
    if (pnSequence_ == 0 || !pns_[size_t(pnSequence_ - 1)].continues(d))
        pnCounts_.fill(INT_MIN);
    pnSequence_ = pn;
    pnCounts_[level] = pnCounts_[level] == INT_MIN ? d.start : pnCounts_[level] + 1;
    for (size_t k = level + 1; k < pnCounts_.size(); ++k)
        pnCounts_[k] = INT_MIN;
    return d.before + listNumber(pnCounts_[level], d.format) + d.after;
}

std::optional<QColor> Reader::color(int index) const {
    if (index < 0 || index >= int(colors_.size()))
        return std::nullopt;
    return colors_[size_t(index)];
}

int Reader::currentFormat() {
    if (format_ < 0)
        format_ = formatOf(st().chr);
    return format_;
}

int Reader::formatOf(const CharProps& c) {
    const auto it = formatIndex_.find(c);
    if (it != formatIndex_.end())
        return it->second;
    formats_.push_back(makeFormat(c));
    const int f = int(formats_.size() - 1);
    formatIndex_.emplace(c, f);
    return f;
}

QTextCharFormat Reader::makeFormat(const CharProps& c) const {
    QTextCharFormat f;
    const auto font = fonts_.find(c.font);
    if (font != fonts_.end())
        f.setFontFamilies({font->second.name});
    f.setFontPointSize(c.halfPoints / 2.0);
    if (c.bold)
        f.setFontWeight(QFont::Bold);
    if (c.italic)
        f.setFontItalic(true);
    if (c.strike)
        f.setFontStrikeOut(true);
    switch (c.underline) {
        case Underline::None:
            break;
        case Underline::Single:
            f.setUnderlineStyle(QTextCharFormat::SingleUnderline);
            break;
        case Underline::Dotted:
            f.setUnderlineStyle(QTextCharFormat::DotLine);
            break;
        case Underline::Dash:
            f.setUnderlineStyle(QTextCharFormat::DashUnderline);
            break;
        case Underline::DashDot:
            f.setUnderlineStyle(QTextCharFormat::DashDotLine);
            break;
        case Underline::DashDotDot:
            f.setUnderlineStyle(QTextCharFormat::DashDotDotLine);
            break;
        case Underline::Wave:
            f.setUnderlineStyle(QTextCharFormat::WaveUnderline);
            break;
    }
    if (const auto fg = color(c.fg))
        f.setForeground(*fg);
    if (const auto bg = color(c.highlight >= 0 ? c.highlight : c.shading))
        f.setBackground(*bg);
    if (c.caps != QFont::MixedCase)
        f.setFontCapitalization(c.caps);
    if (c.vertical > 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (c.vertical < 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (c.note > 0)
        f.setProperty(rtfnote::kMark, c.note);
    if (c.link > 0 && c.link < links_.size()) {
        f.setAnchor(true);
        f.setAnchorHref(links_[c.link]);
    }
    return f;
}

QTextBlockFormat Reader::blockFormat(const ParaProps& p) const {
    QTextBlockFormat f;
    switch (p.align) {
        case 1:
            f.setAlignment(Qt::AlignHCenter);
            break;
        case 2:
            f.setAlignment(Qt::AlignRight);
            break;
        case 3:
            f.setAlignment(Qt::AlignJustify);
            break;
        default:
            break;
    }
    if (p.left)
        f.setLeftMargin(double(p.left) / kTwipsPerPixel);
    if (p.right)
        f.setRightMargin(double(p.right) / kTwipsPerPixel);
    if (p.first)
        f.setTextIndent(double(p.first) / kTwipsPerPixel);
    if (p.before)
        f.setTopMargin(double(p.before) / kTwipsPerPixel);
    if (p.after)
        f.setBottomMargin(double(p.after) / kTwipsPerPixel);
    if (p.line != 0) {
        if (p.lineMultiple && p.line == 240)
            ;  // single spacing
        else if (p.lineMultiple && p.line > 0)
            f.setLineHeight(p.line * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (!p.lineMultiple && p.line > 0)
            f.setLineHeight(double(p.line) / kTwipsPerPixel, QTextBlockFormat::MinimumHeight);
        else if (!p.lineMultiple)
            f.setLineHeight(double(-p.line) / kTwipsPerPixel, QTextBlockFormat::FixedHeight);
    }
    if (p.pageBreakBefore)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (p.outline)
        f.setHeadingLevel(p.outline);
    if (p.tabCount > 0) {
        QList<QTextOption::Tab> tabs;
        for (int i = 0; i < p.tabCount; ++i)
            tabs << QTextOption::Tab(double(p.tabs[i]) / kTwipsPerPixel, QTextOption::LeftTab);
        f.setTabPositions(tabs);
    }
    return f;
}

// ---------------------------------------------------------------------------
// Paragraphs and tables

void Reader::endParagraph() {
    flushBytes();
    Para p = std::move(para_);
    para_ = Para{};
    p.props = st().para;
    if (p.props.pageBreakBefore || pageBreak_)
        p.props.pageBreakBefore = true;
    pageBreak_ = false;
    p.markFormat = currentFormat();
    if (p.bulletRun >= 0 && p.bulletRun < int(p.runs.size()) &&
        p.bulletAt < p.runs[size_t(p.bulletRun)].text.size())
        p.runs[size_t(p.bulletRun)].text[p.bulletAt] = QChar(levelBullet(p.props.level));
    // A list item whose number did not come as text gets it from its list, or
    // from the old numbering it has or took over from the paragraph before it.
    QString label;
    if (p.props.list > 0)
        label = listLabel(p.props.list, p.props.level);
    else if (p.props.pn > 0)
        label = numberingLabel(p.props.pn);
    else
        pnSequence_ = 0;
    if (!p.hasLabel && !label.isEmpty()) {
        const int f = p.runs.empty() ? p.markFormat : p.runs.front().format;
        p.runs.insert(p.runs.begin(), Run{label + u'\t', f});
    }
    if (const int note = st().note) {
        p.props.inTable = false;
        p.props.nesting = 0;
        notes_[size_t(note - 1)].paras.push_back(std::move(p));
        return;
    }
    dropPendingMark();
    if (p.props.inTable) {
        cell_.push_back(std::move(p));
        return;
    }
    if (!cell_.empty() || !cells_.empty())
        endRow();  // table text that no \row closed
    flushTable();
    appendParagraph(p);
}

void Reader::appendParagraph(const Para& p) {
    if (blocks_ >= kMaxBlocks) {
        // Past the budget of blocks, paragraphs go on as plain lines, put in
        // whole at the end: a document of millions of paragraphs is read in
        // seconds rather than taking the program down.
        if (!overflow_.isEmpty())
            overflow_ += QChar::LineSeparator;
        for (const Run& r : p.runs)
            overflow_ += r.note ? markText(r) : r.text;
        return;
    }
    cursor_.movePosition(QTextCursor::End);
    emitParagraph(cursor_, p, true);
    ++blocks_;
    cursor_.insertBlock();
    trailingBlock_ = true;
}

void Reader::emitParagraph(QTextCursor& c, const Para& p, bool first, bool inCell) {
    QTextBlockFormat bf = blockFormat(p.props);
    if (p.note) {
        bf.setProperty(rtfnote::kNote, p.note);
        if (p.endnote)
            bf.setProperty(rtfnote::kEndnote, true);
    }
    if (p.rule) {
        bf.setProperty(rtfnote::kRule, true);
        bf.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                       QTextLength(QTextLength::PercentageLength, 30));
        bf.setProperty(rtfnote::kFootnoteNumbering, footnoteNumbering_.format);
        bf.setProperty(rtfnote::kFootnoteStart, footnoteNumbering_.start);
        bf.setProperty(rtfnote::kEndnoteNumbering, endnoteNumbering_.format);
        bf.setProperty(rtfnote::kEndnoteStart, endnoteNumbering_.start);
    }
    if (first) {
        c.setBlockFormat(bf);
        // A cell's first block carries the cell's own format (its spans): add
        // to it rather than replace it.
        if (inCell)
            c.mergeBlockCharFormat(formats_[size_t(p.markFormat)]);
        else
            c.setBlockCharFormat(formats_[size_t(p.markFormat)]);
    } else {
        c.insertBlock(bf, formats_[size_t(p.markFormat)]);
    }
    for (const Run& r : p.runs)
        c.insertText(r.note ? markText(r) : r.text, formats_[size_t(r.format)]);
}

void Reader::endCell() {
    // \cell ends the cell's last paragraph, empty or not.
    st().para.inTable = true;
    endParagraph();
    cells_.push_back(std::move(cell_));
    cell_.clear();
}

void Reader::endRow() {
    if (!cell_.empty()) {
        // Text after the last \cell of the row belongs to that cell.
        if (cells_.empty())
            cells_.emplace_back();
        for (Para& p : cell_)
            cells_.back().push_back(std::move(p));
        cell_.clear();
    }
    if (cells_.empty())
        return;
    Row row;
    row.defs = defs_;
    row.cells = std::move(cells_);
    cells_.clear();
    row.left = rowLeft_;
    row.gap = rowGap_;
    row.align = rowAlign_;
    rows_.push_back(std::move(row));
}

void Reader::flushTable() {
    if (rows_.empty())
        return;
    std::vector<Row> rows = std::move(rows_);
    rows_.clear();
    for (Row& r : rows)
        normalizeRow(r);
    const std::vector<int> bounds = columnBounds(rows);
    const bool byBoundary = bounds.size() <= size_t(kMaxColumns);
    int columns = 0;
    if (byBoundary) {
        columns = int(bounds.size());
    } else {
        for (const Row& r : rows)
            columns = std::max(columns, int(r.defs.size()));
    }
    columns = std::max(columns, 1);

    const qint64 cellCount = qint64(rows.size()) * columns;
    if (blocks_ + cellCount > kMaxBlocks) {
        // Past the budget of blocks: the table's text as paragraphs.
        for (const Row& r : rows) {
            for (const std::vector<Para>& cell : r.cells) {
                for (const Para& p : cell)
                    appendParagraph(p);
            }
        }
        return;
    }
    blocks_ += cellCount;
    const std::vector<PlacedCell> placed = placeCells(rows, bounds, byBoundary, columns);

    // The table takes the place of the empty block after the last paragraph.
    cursor_.movePosition(QTextCursor::End);
    if (trailingBlock_)
        cursor_.deletePreviousChar();
    QTextTable* table =
        cursor_.insertTable(int(rows.size()), columns, tableFormat(rows, bounds, byBoundary));
    fillTable(table, placed);
    cursor_.movePosition(QTextCursor::End);
    trailingBlock_ = false;
}

// A row's cell boundaries: as defined, more when the row has more cells than
// definitions, and strictly rising.
void normalizeRow(Row& r) {
    if (r.cells.size() > size_t(kMaxColumns)) {
        for (size_t i = kMaxColumns; i < r.cells.size(); ++i) {
            for (Para& p : r.cells[i])
                r.cells[kMaxColumns - 1].push_back(std::move(p));
        }
        r.cells.resize(kMaxColumns);
    }
    if (r.defs.size() > size_t(kMaxColumns))
        r.defs.resize(kMaxColumns);
    // Empty cells past the row's definition are a writer's slip, not columns.
    while (!r.defs.empty() && r.cells.size() > r.defs.size() &&
           std::all_of(r.cells.back().begin(), r.cells.back().end(),
                       [](const Para& p) { return p.empty(); }))
        r.cells.pop_back();
    while (r.defs.size() < r.cells.size()) {
        CellDef d;
        d.right = (r.defs.empty() ? r.left : r.defs.back().right) + 1440;
        r.defs.push_back(d);
    }
    while (r.cells.size() < r.defs.size())
        r.cells.emplace_back();
    int prev = r.left;
    for (CellDef& d : r.defs) {
        if (d.right <= prev)
            d.right = prev + 1;
        prev = d.right;
    }
}

// The right boundaries of all the rows' cells, each once and in order: the
// table's columns lie between them.
std::vector<int> columnBounds(const std::vector<Row>& rows) {
    std::vector<int> bounds;
    for (const Row& r : rows) {
        for (const CellDef& d : r.defs)
            bounds.push_back(d.right);
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    return bounds;
}

// Where each cell lies; merged cells widen or lengthen the cell they join,
// which takes their text.
std::vector<PlacedCell> placeCells(std::vector<Row>& rows, const std::vector<int>& bounds,
                                   bool byBoundary, int columns) {
    std::vector<PlacedCell> placed;
    std::vector<std::vector<int>> owner(rows.size(), std::vector<int>(size_t(columns), -1));
    for (size_t ri = 0; ri < rows.size(); ++ri) {
        Row& r = rows[ri];
        int col = 0;
        for (size_t ci = 0; ci < r.defs.size(); ++ci) {
            const CellDef& d = r.defs[ci];
            int endCol;
            if (byBoundary) {
                endCol =
                    int(std::lower_bound(bounds.begin(), bounds.end(), d.right) - bounds.begin());
            } else {
                endCol = std::min(int(ci), columns - 1);
            }
            if (col > endCol || col >= columns)
                continue;
            const int span = endCol - col + 1;
            std::vector<Para>* content = &r.cells[ci];
            if (d.merged && !placed.empty() && placed.back().row == int(ri)) {
                // A horizontally merged cell widens the cell before it.
                PlacedCell& left = placed.back();
                left.colSpan = endCol - left.col + 1;
                appendContent(*left.content, *content);
                for (int k = col; k <= endCol; ++k)
                    owner[ri][size_t(k)] = int(placed.size() - 1);
            } else if (d.vMerged && ri > 0 && owner[ri - 1][size_t(col)] >= 0 &&
                       placed[size_t(owner[ri - 1][size_t(col)])].col == col &&
                       placed[size_t(owner[ri - 1][size_t(col)])].colSpan == span) {
                PlacedCell& above = placed[size_t(owner[ri - 1][size_t(col)])];
                above.rowSpan = int(ri) - above.row + 1;
                appendContent(*above.content, *content);
                for (int k = col; k <= endCol; ++k)
                    owner[ri][size_t(k)] = owner[ri - 1][size_t(col)];
            } else {
                placed.push_back(PlacedCell{int(ri), col, 1, span, content, d.background});
                for (int k = col; k <= endCol; ++k)
                    owner[ri][size_t(k)] = int(placed.size() - 1);
            }
            col = endCol + 1;
        }
    }
    return placed;
}

QTextTableFormat tableFormat(const std::vector<Row>& rows, const std::vector<int>& bounds,
                             bool byBoundary) {
    QTextTableFormat tf;
    bool border = false;
    for (const Row& r : rows) {
        for (const CellDef& d : r.defs)
            border = border || d.border;
    }
    tf.setBorder(border ? 1 : 0);
    tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    tf.setBorderCollapse(true);
    tf.setCellSpacing(0);
    tf.setCellPadding(std::clamp(rows.front().gap, 0, 1440) / double(kTwipsPerPixel));
    if (rows.front().align == 1)
        tf.setAlignment(Qt::AlignHCenter);
    else if (rows.front().align == 2)
        tf.setAlignment(Qt::AlignRight);
    if (byBoundary) {
        QList<QTextLength> widths;
        int prev = std::min(bounds.front(), rows.front().left);
        for (int b : bounds) {
            widths << QTextLength(QTextLength::FixedLength,
                                  std::max(1, b - prev) / double(kTwipsPerPixel));
            prev = b;
        }
        tf.setColumnWidthConstraints(widths);
    }
    return tf;
}

void Reader::fillTable(QTextTable* table, const std::vector<PlacedCell>& placed) {
    for (const PlacedCell& pc : placed) {
        if (pc.rowSpan > 1 || pc.colSpan > 1)
            table->mergeCells(pc.row, pc.col, pc.rowSpan, pc.colSpan);
    }
    // Cells are filled from the last to the first, so that the positions taken
    // before any text went in stay true for the cells still to fill.
    std::vector<int> positions(placed.size());
    for (size_t i = 0; i < placed.size(); ++i) {
        const QTextTableCell cell = table->cellAt(placed[i].row, placed[i].col);
        positions[i] = cell.isValid() ? cell.firstPosition() : -1;
        if (cell.isValid() && placed[i].background >= 0) {
            if (const auto bg = color(placed[i].background)) {
                QTextTableCellFormat cf = cell.format().toTableCellFormat();
                cf.setBackground(*bg);
                QTextTableCell(cell).setFormat(cf);
            }
        }
    }
    std::vector<size_t> order(placed.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return positions[a] > positions[b]; });
    int lastPosition = -1;
    for (size_t i : order) {
        if (positions[i] < 0 || positions[i] == lastPosition)
            continue;
        lastPosition = positions[i];
        QTextCursor c(doc_);
        c.setPosition(positions[i]);
        bool first = true;
        for (const Para& p : *placed[i].content) {
            emitParagraph(c, p, first, true);
            first = false;
        }
    }
}

void Reader::emitPicture() {
    const Picture& pc = pict_;
    QTextImageFormat img;
    const bool known = (pc.png || pc.jpeg) && !pc.data.isEmpty();
    const QString name = known ? QStringLiteral("rtfimage:%1.%2")
                                     .arg(++pictures_)
                                     .arg(pc.png ? QLatin1String("png") : QLatin1String("jpg"))
                               : QStringLiteral("rtfimage:missing%1").arg(++pictures_);
    if (known)
        doc_->addResource(QTextDocument::ImageResource, QUrl(name), pc.data);
    img.setName(name);
    double w = pc.goalWidth ? double(pc.goalWidth) / kTwipsPerPixel : double(pc.width);
    double h = pc.goalHeight ? double(pc.goalHeight) / kTwipsPerPixel : double(pc.height);
    w = w * pc.scaleX / 100.0;
    h = h * pc.scaleY / 100.0;
    if (w > 0)
        img.setWidth(std::min(w, 100000.0));
    if (h > 0)
        img.setHeight(std::min(h, 100000.0));
    if (!known && (w <= 0 || h <= 0))
        return;  // a picture of nothing and no size: there is no place to keep
    formats_.push_back(img);
    const int f = int(formats_.size() - 1);
    para_.runs.push_back(Run{QString(QChar::ObjectReplacementCharacter), f});
    pict_ = Picture{};
}

}  // namespace

bool readRtf(const QByteArray& data, QTextDocument* doc, QString* error) {
    doc->clear();
    qsizetype i = 0;
    if (data.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' ||
                               data[i] == '\n' || data[i] == '\0'))
        ++i;
    if (i == data.size())
        return true;
    if (!QByteArrayView(data).sliced(i).startsWith("{\\rtf")) {
        if (error)
            *error = QStringLiteral("Файл не является документом RTF");
        return false;
    }
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    {
        Reader reader(data.constData() + i, data.constData() + data.size(), doc);
        reader.run();
    }
    doc->setUndoRedoEnabled(undo);
    doc->setModified(false);
    return true;
}

}  // namespace rt
