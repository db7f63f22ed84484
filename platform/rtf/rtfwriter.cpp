// The RTF writer. Every run is written as a group with its whole formatting, so
// that nothing depends on what came before it; text is Windows-1251 (\'hh, the
// fonts of charset 204) for readers that know only code pages, with \uN and a
// "?" fallback for the characters Windows-1251 lacks.

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <cmath>
#include <map>
#include <set>

#include "codepage.h"
#include "rtf.h"
#include "rtfkeywords.h"

namespace rt {

namespace {

using namespace rtfdetail;

constexpr int kTwipsPerPixel = 15;
constexpr int kTextWidthTwips = 9638;  // an A4 page's text width, for relative widths

int twips(double pixels) {
    return int(std::lround(std::clamp(pixels, -100000.0, 100000.0) * kTwipsPerPixel));
}

bool isSymbolFont(const QString& family) {
    return family.compare(u"Symbol", Qt::CaseInsensitive) == 0 ||
           family.startsWith(u"Wingdings", Qt::CaseInsensitive) ||
           family.compare(u"Webdings", Qt::CaseInsensitive) == 0;
}

// The colours a highlighter offers; others are written as character shading.
bool isHighlightColor(const QColor& c) {
    static const QRgb colors[] = {
        qRgb(0, 0, 0),     qRgb(0, 0, 255),   qRgb(0, 255, 255),   qRgb(0, 255, 0),
        qRgb(255, 0, 255), qRgb(255, 0, 0),   qRgb(255, 255, 0),   qRgb(255, 255, 255),
        qRgb(0, 0, 128),   qRgb(0, 128, 128), qRgb(0, 128, 0),     qRgb(128, 0, 128),
        qRgb(128, 0, 0),   qRgb(128, 128, 0), qRgb(128, 128, 128), qRgb(192, 192, 192),
    };
    for (QRgb rgb : colors) {
        if (c.rgb() == rgb)
            return true;
    }
    return false;
}

// A picture the editor holds as an image (pasted, or in a format RTF does not
// name) goes into the file as PNG.
QByteArray pngBytes(const QImage& img) {
    QByteArray data;
    if (img.isNull())
        return data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data;
}

class Writer {
  public:
    explicit Writer(const QTextDocument& doc) : doc_(doc) {}
    QByteArray run();

  private:
    void collect(const QTextFrame* frame);
    void collectFormat(const QTextCharFormat& f);
    int fontIndex(const QString& family);
    int colorIndex(const QColor& c);
    QString familyOf(const QTextCharFormat& f) const;

    void frame(const QTextFrame* frame, bool inTable);
    void table(const QTextTable* table);
    void cellContent(const QTextTableCell& cell);
    void frameBlocks(const QTextFrame* frame, std::vector<QTextBlock>& blocks);
    void block(const QTextBlock& b, bool inTable, const char* end);
    void paragraphProps(const QTextBlock& b, bool inTable);
    void charProps(const QTextCharFormat& f, bool colors = true);
    void runs(const QTextBlock& b);
    void image(const QTextImageFormat& f);
    void text(QStringView s, bool symbol);
    void word(const char* w, int n);
    void noteNumbering();
    bool mark(const QTextCharFormat& f, const QString& text);
    void note(int id);
    void orphanNotes();

    const QTextDocument& doc_;
    QByteArray out_;
    QStringList fonts_;
    QHash<QString, int> fontIndex_;
    QList<QColor> colors_;
    QHash<QRgb, int> colorIndex_;
    bool pageBreakNext_ = false;

    // Footnotes and endnotes: their paragraphs (after the text) by number, the
    // rule before them, the notes written so far and the one being written.
    struct Note {
        bool endnote = false;
        std::vector<QTextBlock> blocks;
    };
    std::map<int, Note> notes_;
    QTextBlock rule_;
    std::set<int> written_;
    int inNote_ = 0;
};

bool isNoteBlock(const QTextBlock& b) {
    const QTextBlockFormat f = b.blockFormat();
    return f.hasProperty(rtfnote::kNote) || f.hasProperty(rtfnote::kRule);
}

QByteArray Writer::run() {
    fontIndex(doc_.defaultFont().family());
    collect(doc_.rootFrame());
    out_.reserve(qsizetype(doc_.characterCount()) * 3 + 1024);
    out_ += "{\\rtf1\\ansi\\ansicpg1251\\deff0\\uc1";
    out_ += "\n{\\fonttbl";
    for (int i = 0; i < fonts_.size(); ++i) {
        const bool symbol = isSymbolFont(fonts_[i]);
        word("{\\f", i);
        out_ += symbol ? "\\fnil\\fcharset2 " : "\\fnil\\fcharset204 ";
        text(fonts_[i], false);
        out_ += ";}";
    }
    out_ += "}\n{\\colortbl;";
    for (const QColor& c : colors_) {
        word("\\red", c.red());
        word("\\green", c.green());
        word("\\blue", c.blue());
        out_ += ';';
    }
    out_ += "}\n";
    noteNumbering();
    frame(doc_.rootFrame(), false);
    orphanNotes();
    out_ += "}\n";
    return out_;
}

// How the notes are numbered, as the document had it.
void Writer::noteNumbering() {
    if (notes_.empty() || !rule_.isValid())
        return;
    static const char* const footnote[] = {"\\ftnnar", "\\ftnnruc", "\\ftnnrlc", "\\ftnnauc",
                                           "\\ftnnalc"};
    static const char* const endnote[] = {"\\aftnnar", "\\aftnnruc", "\\aftnnrlc", "\\aftnnauc",
                                          "\\aftnnalc"};
    const QTextBlockFormat f = rule_.blockFormat();
    const int ftn = f.intProperty(rtfnote::kFootnoteNumbering);
    const int aftn = f.intProperty(rtfnote::kEndnoteNumbering);
    out_ += footnote[ftn >= kDecimal && ftn <= kLowerLetter ? ftn : kDecimal];
    word("\\ftnstart", std::max(0, f.intProperty(rtfnote::kFootnoteStart)));
    out_ += endnote[aftn >= kDecimal && aftn <= kLowerLetter ? aftn : kDecimal];
    word("\\aftnstart", std::max(0, f.intProperty(rtfnote::kEndnoteStart)));
    out_ += '\n';
}

// A note's mark: the footnote's or endnote's number (or its own text), and
// where the note has not been written yet, the note itself. False when the
// mark is only text (a copy of a mark whose note is already written).
bool Writer::mark(const QTextCharFormat& f, const QString& markText) {
    const int id = f.intProperty(rtfnote::kMark);
    const bool own = f.boolProperty(rtfnote::kOwnMark);
    const bool ofThisNote = inNote_ == id;
    if (!ofThisNote && written_.count(id))
        return false;
    out_ += "{\\plain";
    charProps(f);
    out_ += ' ';
    if (own)
        text(markText, false);
    else
        out_ += "\\chftn";
    out_ += '}';
    if (!ofThisNote)
        note(id);
    return true;
}

// The note's paragraphs in its group; its last paragraph ends with the group.
void Writer::note(int id) {
    written_.insert(id);
    const auto it = notes_.find(id);
    out_ += "{\\footnote";
    if (it != notes_.end() && it->second.endnote)
        out_ += "\\ftnalt";
    out_ += ' ';
    if (it != notes_.end()) {
        const int outer = inNote_;
        const bool pageBreak = pageBreakNext_;
        inNote_ = id;
        pageBreakNext_ = false;
        const std::vector<QTextBlock>& blocks = it->second.blocks;
        for (size_t i = 0; i < blocks.size(); ++i)
            block(blocks[i], false, i + 1 == blocks.size() ? "" : "\\par");
        inNote_ = outer;
        pageBreakNext_ = pageBreak;
    }
    out_ += "}";
}

// Paragraphs of notes whose marks are gone from the text stay as paragraphs at
// the end, their marks as text.
void Writer::orphanNotes() {
    std::vector<int> orphans;
    for (const auto& [id, n] : notes_) {
        if (!written_.count(id))
            orphans.push_back(id);
    }
    written_.insert(orphans.begin(), orphans.end());
    for (int id : orphans) {
        for (const QTextBlock& b : notes_[id].blocks)
            block(b, false, "\\par");
    }
}

// --- fonts and colours used anywhere in the document

void Writer::collect(const QTextFrame* f) {
    for (auto it = f->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame()) {
            collect(child);
            if (const auto* t = qobject_cast<const QTextTable*>(child)) {
                for (int r = 0; r < t->rows(); ++r) {
                    for (int c = 0; c < t->columns(); ++c) {
                        const QBrush bg = t->cellAt(r, c).format().background();
                        if (bg.style() != Qt::NoBrush)
                            colorIndex(bg.color());
                    }
                }
            }
            continue;
        }
        const QTextBlock b = it.currentBlock();
        const QTextBlockFormat bf = b.blockFormat();
        if (bf.hasProperty(rtfnote::kNote)) {
            Note& n = notes_[bf.intProperty(rtfnote::kNote)];
            n.endnote = bf.boolProperty(rtfnote::kEndnote);
            n.blocks.push_back(b);
        } else if (bf.hasProperty(rtfnote::kRule)) {
            rule_ = b;
        }
        collectFormat(b.charFormat());
        for (auto frag = b.begin(); !frag.atEnd(); ++frag)
            collectFormat(frag.fragment().charFormat());
    }
}

void Writer::collectFormat(const QTextCharFormat& f) {
    fontIndex(familyOf(f));
    if (f.foreground().style() != Qt::NoBrush)
        colorIndex(f.foreground().color());
    if (f.background().style() != Qt::NoBrush)
        colorIndex(f.background().color());
}

int Writer::fontIndex(const QString& family) {
    const auto it = fontIndex_.constFind(family);
    if (it != fontIndex_.constEnd())
        return *it;
    fonts_ << family;
    fontIndex_.insert(family, int(fonts_.size() - 1));
    return int(fonts_.size() - 1);
}

int Writer::colorIndex(const QColor& c) {
    const QRgb rgb = c.rgb();
    const auto it = colorIndex_.constFind(rgb);
    if (it != colorIndex_.constEnd())
        return *it;
    colors_ << QColor(rgb);
    colorIndex_.insert(rgb, int(colors_.size()));  // index 0 is "automatic"
    return int(colors_.size());
}

QString Writer::familyOf(const QTextCharFormat& f) const {
    const QVariant families = f.property(QTextFormat::FontFamilies);
    if (families.isValid()) {
        const QStringList list = families.toStringList();
        if (!list.isEmpty() && !list.front().isEmpty())
            return list.front();
    }
    const QString family = f.property(QTextFormat::FontFamily).toString();
    return family.isEmpty() ? doc_.defaultFont().family() : family;
}

// --- structure

void Writer::frame(const QTextFrame* f, bool inTable) {
    for (auto it = f->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame()) {
            if (const auto* t = qobject_cast<const QTextTable*>(child); t && !inTable)
                table(t);
            else
                frame(child, inTable);  // nested tables and other frames: their paragraphs
            continue;
        }
        const QTextBlock b = it.currentBlock();
        if (f == doc_.rootFrame() && isNoteBlock(b))
            continue;  // written at their marks
        // The empty block a document keeps after a closing table is not a paragraph.
        auto next = it;
        ++next;
        if (f == doc_.rootFrame() && next.atEnd() && b.length() == 1 && b.previous().isValid() &&
            QTextCursor(b.previous()).currentTable())
            continue;
        // Nor is the empty block a document keeps before a table that opens it.
        if (f == doc_.rootFrame() && b == doc_.begin() && b.length() == 1 && !next.atEnd() &&
            next.currentFrame())
            continue;
        block(b, inTable, "\\par");
    }
}

void Writer::frameBlocks(const QTextFrame* f, std::vector<QTextBlock>& blocks) {
    for (auto it = f->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame())
            frameBlocks(child, blocks);
        else
            blocks.push_back(it.currentBlock());
    }
}

void Writer::table(const QTextTable* t) {
    const QTextTableFormat tf = t->format();
    const int columns = t->columns();
    // Right boundaries of the columns, in twips from the table's left edge.
    std::vector<int> right(static_cast<size_t>(columns), 0);
    const QList<QTextLength> widths = tf.columnWidthConstraints();
    int variable = 0;
    int fixed = 0;
    for (int c = 0; c < columns; ++c) {
        const QTextLength w = c < widths.size() ? widths[c] : QTextLength();
        if (w.type() == QTextLength::FixedLength)
            fixed += twips(w.rawValue());
        else if (w.type() == QTextLength::PercentageLength)
            fixed += int(kTextWidthTwips * w.rawValue() / 100.0);
        else
            ++variable;
    }
    const int share = variable ? std::max(360, (kTextWidthTwips - fixed) / variable) : 0;
    int x = 0;
    for (int c = 0; c < columns; ++c) {
        const QTextLength w = c < widths.size() ? widths[c] : QTextLength();
        int width = share;
        if (w.type() == QTextLength::FixedLength)
            width = twips(w.rawValue());
        else if (w.type() == QTextLength::PercentageLength)
            width = int(kTextWidthTwips * w.rawValue() / 100.0);
        x += std::max(1, width);
        right[size_t(c)] = x;
    }
    const bool border = tf.border() > 0;

    for (int r = 0; r < t->rows(); ++r) {
        out_ += "\\trowd";
        word("\\trgaph", twips(tf.cellPadding()));
        out_ += "\\trleft0";
        const Qt::Alignment align = tf.alignment() & Qt::AlignHorizontal_Mask;
        if (align == Qt::AlignHCenter)
            out_ += "\\trqc";
        else if (align == Qt::AlignRight)
            out_ += "\\trqr";
        std::vector<QTextTableCell> cells;  // the cells this row writes, covered ones included
        for (int c = 0; c < columns;) {
            const QTextTableCell cell = t->cellAt(r, c);
            const int span = std::max(1, cell.columnSpan());
            if (cell.row() < r) {
                out_ += "\\clvmrg";
            } else if (cell.rowSpan() > 1) {
                out_ += "\\clvmgf";
            }
            const QBrush bg = cell.format().background();
            if (bg.style() != Qt::NoBrush)
                word("\\clcbpat", colorIndex(bg.color()));
            if (border) {
                out_ +=
                    "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                    "\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10";
            }
            const int last = std::min(columns - 1, c + span - 1);
            word("\\cellx", right[size_t(last)]);
            cells.push_back(cell.row() < r ? QTextTableCell() : cell);
            c = last + 1;
        }
        out_ += '\n';
        for (const QTextTableCell& cell : cells) {
            if (!cell.isValid()) {
                out_ += "\\pard\\intbl\\cell\n";
                continue;
            }
            cellContent(cell);
        }
        out_ += "\\row\n";
    }
}

void Writer::cellContent(const QTextTableCell& cell) {
    std::vector<QTextBlock> blocks;
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame())
            frameBlocks(child, blocks);
        else
            blocks.push_back(it.currentBlock());
    }
    if (blocks.empty()) {
        out_ += "\\pard\\intbl\\cell\n";
        return;
    }
    for (size_t i = 0; i < blocks.size(); ++i)
        block(blocks[i], true, i + 1 == blocks.size() ? "\\cell" : "\\par");
}

void Writer::block(const QTextBlock& b, bool inTable, const char* end) {
    paragraphProps(b, inTable);
    // The paragraph mark's font and size; its colours would be a cell's.
    out_ += "\\plain";
    charProps(b.charFormat(), false);
    out_ += ' ';
    if (const QTextList* list = b.textList()) {
        // A list item's number or bullet becomes part of its text, as readers of
        // any age show it.
        const QString label = list->itemText(b);
        if (!label.isEmpty()) {
            text(label, false);
            out_ += "\\tab ";
        }
    }
    runs(b);
    out_ += end;
    out_ += '\n';
}

void Writer::paragraphProps(const QTextBlock& b, bool inTable) {
    const QTextBlockFormat f = b.blockFormat();
    out_ += "\\pard";
    if (inTable)
        out_ += "\\intbl";
    const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter)
        out_ += "\\qc";
    else if (a & Qt::AlignJustify)
        out_ += "\\qj";
    else if ((a & Qt::AlignRight) || ((a & Qt::AlignTrailing) && !(a & Qt::AlignAbsolute)))
        out_ += "\\qr";
    else
        out_ += "\\ql";
    double left = f.leftMargin() + f.indent() * doc_.indentWidth();
    if (const QTextList* list = b.textList())
        left += list->format().indent() * doc_.indentWidth();
    if (const int li = twips(left))
        word("\\li", li);
    if (const int ri = twips(f.rightMargin()))
        word("\\ri", ri);
    if (const int fi = twips(f.textIndent()))
        word("\\fi", fi);
    if (const int sb = twips(f.topMargin()))
        word("\\sb", sb);
    if (const int sa = twips(f.bottomMargin()))
        word("\\sa", sa);
    const double lh = f.lineHeight();
    switch (f.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            if (lh > 0 && std::abs(lh - 100.0) > 0.001) {
                word("\\sl", int(std::lround(std::min(lh, 10000.0) * 2.4)));
                out_ += "\\slmult1";
            }
            break;
        case QTextBlockFormat::MinimumHeight:
            if (lh > 0) {
                word("\\sl", twips(lh));
                out_ += "\\slmult0";
            }
            break;
        case QTextBlockFormat::FixedHeight:
            if (lh > 0) {
                word("\\sl", -twips(lh));
                out_ += "\\slmult0";
            }
            break;
        default:
            break;
    }
    if (const int heading = f.headingLevel(); heading >= 1 && heading <= 9)
        word("\\outlinelevel", heading - 1);
    if ((f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) || pageBreakNext_)
        out_ += "\\pagebb";
    pageBreakNext_ = (f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter) != 0;
    for (const QTextOption::Tab& tab : f.tabPositions()) {
        if (const int tx = twips(tab.position); tx > 0)
            word("\\tx", tx);
    }
}

void Writer::charProps(const QTextCharFormat& f, bool colors) {
    word("\\f", fontIndex(familyOf(f)));
    double points = f.fontPointSize();
    if (points <= 0 && f.hasProperty(QTextFormat::FontPixelSize))
        points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (points <= 0)
        points = doc_.defaultFont().pointSizeF();
    if (points <= 0)
        points = 12;
    word("\\fs", int(std::lround(std::clamp(points, 1.0, 1638.0) * 2)));
    if (f.fontWeight() >= QFont::DemiBold)
        out_ += "\\b";
    if (f.fontItalic())
        out_ += "\\i";
    switch (f.underlineStyle()) {
        case QTextCharFormat::NoUnderline:
            break;
        case QTextCharFormat::DashUnderline:
            out_ += "\\uldash";
            break;
        case QTextCharFormat::DotLine:
            out_ += "\\uld";
            break;
        case QTextCharFormat::DashDotLine:
            out_ += "\\uldashd";
            break;
        case QTextCharFormat::DashDotDotLine:
            out_ += "\\uldashdd";
            break;
        case QTextCharFormat::WaveUnderline:
            out_ += "\\ulwave";
            break;
        default:
            out_ += "\\ul";
            break;
    }
    if (f.fontStrikeOut())
        out_ += "\\strike";
    if (f.hasProperty(QTextFormat::FontCapitalization)) {
        if (f.fontCapitalization() == QFont::AllUppercase)
            out_ += "\\caps";
        else if (f.fontCapitalization() == QFont::SmallCaps)
            out_ += "\\scaps";
    }
    if (colors && f.foreground().style() != Qt::NoBrush)
        word("\\cf", colorIndex(f.foreground().color()));
    if (colors && f.background().style() != Qt::NoBrush) {
        const QColor bg = f.background().color();
        word(isHighlightColor(bg) ? "\\highlight" : "\\chcbpat", colorIndex(bg));
    }
    switch (f.verticalAlignment()) {
        case QTextCharFormat::AlignSuperScript:
            out_ += "\\super";
            break;
        case QTextCharFormat::AlignSubScript:
            out_ += "\\sub";
            break;
        default:
            break;
    }
}

void Writer::runs(const QTextBlock& b) {
    QString link;  // the hyperlink whose field is open
    for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const QTextCharFormat f = frag.charFormat();
        const QString href = f.isAnchor() ? f.anchorHref() : QString();
        if (href != link) {
            if (!link.isEmpty())
                out_ += "}}";
            if (!href.isEmpty()) {
                out_ += "{\\field{\\*\\fldinst HYPERLINK \"";
                QString target = href;
                target.replace(u'"', QStringLiteral("%22"));
                text(target, false);
                out_ += "\"}{\\fldrslt ";
            }
            link = href;
        }
        if (f.isImageFormat()) {
            for (qsizetype i = 0; i < frag.length(); ++i)
                image(f.toImageFormat());
            continue;
        }
        if (f.hasProperty(rtfnote::kMark) && mark(f, frag.text()))
            continue;
        out_ += "{\\plain";
        charProps(f);
        out_ += ' ';
        text(frag.text(), isSymbolFont(familyOf(f)));
        out_ += '}';
    }
    if (!link.isEmpty())
        out_ += "}}";
}

void Writer::image(const QTextImageFormat& f) {
    const QVariant res = doc_.resource(QTextDocument::ImageResource, QUrl(f.name()));
    QByteArray data;
    bool png = false;
    if (res.userType() == QMetaType::QByteArray) {
        data = res.toByteArray();
        if (data.startsWith("\x89PNG")) {
            png = true;
        } else if (!data.startsWith("\xFF\xD8")) {
            data = pngBytes(QImage::fromData(data));
            png = !data.isEmpty();
        }
    } else if (res.userType() == QMetaType::QImage || res.userType() == QMetaType::QPixmap) {
        const QImage img = res.userType() == QMetaType::QImage ? res.value<QImage>()
                                                               : res.value<QPixmap>().toImage();
        data = pngBytes(img);
        png = !data.isEmpty();
    }
    QSize natural;
    if (!data.isEmpty()) {
        QBuffer buf(&data);
        buf.open(QIODevice::ReadOnly);
        natural = QImageReader(&buf).size();
    }
    const double w = f.width() > 0 ? f.width() : natural.width();
    const double h = f.height() > 0 ? f.height() : natural.height();
    out_ += "{\\pict";
    if (!data.isEmpty())
        out_ += png ? "\\pngblip" : "\\jpegblip";
    if (natural.isValid()) {
        word("\\picw", natural.width());
        word("\\pich", natural.height());
    }
    if (w > 0)
        word("\\picwgoal", twips(w));
    if (h > 0)
        word("\\pichgoal", twips(h));
    out_ += '\n';
    static const char hex[] = "0123456789abcdef";
    const qsizetype base = out_.size();
    out_.resize(base + data.size() * 2 + data.size() / 64 + 1);
    char* d = out_.data() + base;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        *d++ = hex[b >> 4];
        *d++ = hex[b & 15];
        if (i % 64 == 63)
            *d++ = '\n';
    }
    out_.resize(d - out_.constData());
    out_ += '}';
}

void Writer::text(QStringView s, bool symbol) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c >= 0x20 && c < 0x80) {
            if (c == '\\' || c == '{' || c == '}')
                out_ += '\\';
            out_ += char(c);
            continue;
        }
        switch (c) {
            case u'\t':
                out_ += "\\tab ";
                continue;
            case 0x2028:
                out_ += "\\line ";
                continue;
            case 0x00A0:
                out_ += "\\~";
                continue;
            case 0x00AD:
                out_ += "\\-";
                continue;
            case 0x2011:
                out_ += "\\_";
                continue;
            case QChar::ObjectReplacementCharacter:
                continue;
            default:
                break;
        }
        if (c < 0x20)
            continue;
        unsigned char byte = 0;
        if (symbol)
            byte = c >= 0xF080 && c <= 0xF0FF ? static_cast<unsigned char>(c - 0xF000) : 0;
        else
            byte = cp1251Byte(c);
        if (byte) {
            static const char hex[] = "0123456789abcdef";
            out_ += "\\'";
            out_ += hex[byte >> 4];
            out_ += hex[byte & 15];
            continue;
        }
        word("\\u", int(qint16(c)));
        out_ += '?';
    }
}

void Writer::word(const char* w, int n) {
    out_ += w;
    out_ += QByteArray::number(n);
}

}  // namespace

QByteArray writeRtf(const QTextDocument& doc) {
    return Writer(doc).run();
}

}  // namespace rt
