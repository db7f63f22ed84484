#pragma once
// RTF on QTextDocument: the reader and the writer of the rich-text bodies.
//
// Bodies come from word processors (often old ones writing Windows-1251 text as
// \'hh escapes) and are stored as the bytes the user's file or the editor gave,
// so the reader takes whatever it is handed: it never crashes or hangs on bad
// input and gives either a best-effort document or an error text.
//
// What is read: text in any code page the file names (\ansicpg, \fcharset,
// \cpg, \uN with \ucN), fonts, colours, the style sheet's fonts and sizes,
// character formatting (font, size, bold, italic, underline kinds, strike,
// capitals and small capitals, colour, highlight and background,
// super/subscript; hidden text is left out),
// paragraphs (alignment, indents, first-line indent, spacing, line spacing, tab
// stops, page breaks, heading levels), tables (nested ones as paragraphs of the
// outer cell), list items with their number or bullet as text (also of the old
// \pn numbering), footnotes and endnotes (below), hyperlinks, PNG and JPEG
// pictures (other pictures keep their place as an empty picture of their size).
// Double-byte code pages (932, 936, 949, 950) are read character by character.
//
// What is written: the same, as RTF that old readers and new ones both read:
// text in Windows-1251 (\'hh, fonts of charset 204) with \uN for characters
// beyond it.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QTextFormat>

class QTextDocument;

namespace rt {

// Footnotes and endnotes in a document: each note's mark stays in the text, and
// the notes' paragraphs follow the text, after a short rule, footnotes first.
// writeRtf puts each note back at its mark. The properties that tie them:
namespace rtfnote {
// Character format of a mark: the note's number in the document (1, 2, ...).
inline constexpr int kMark = QTextFormat::UserProperty + 1;
// Character format of a mark that is its own text ("*") rather than a number.
inline constexpr int kOwnMark = QTextFormat::UserProperty + 2;
// Block format of a note's paragraph: the note's number, as on its mark.
inline constexpr int kNote = QTextFormat::UserProperty + 3;
// Block format of an endnote's paragraph: true.
inline constexpr int kEndnote = QTextFormat::UserProperty + 4;
// Block format of the rule before the notes: true. It also holds how the notes
// are numbered (the numbering as \levelnfc: 0 1 2 3 4 for 1 I i A a, and the
// first number) for footnotes and for endnotes.
inline constexpr int kRule = QTextFormat::UserProperty + 5;
inline constexpr int kFootnoteNumbering = QTextFormat::UserProperty + 6;
inline constexpr int kFootnoteStart = QTextFormat::UserProperty + 7;
inline constexpr int kEndnoteNumbering = QTextFormat::UserProperty + 8;
inline constexpr int kEndnoteStart = QTextFormat::UserProperty + 9;
}  // namespace rtfnote

// Replaces the content of `doc` by the RTF in `data`. Empty data gives an empty
// document. Returns false only when the data is not RTF at all; `doc` is then
// empty and *error says why (in the user's language). Damaged RTF (unbalanced
// braces, a cut-off end, nonsense numbers) gives the best document it holds.
bool readRtf(const QByteArray& data, QTextDocument* doc, QString* error = nullptr);

// The document as RTF.
QByteArray writeRtf(const QTextDocument& doc);

// Loads a file given by its program name (mapped by rt::nativePath). An empty
// file gives an empty document. On failure `doc` is empty, *error says what went
// wrong and the thread's error code (ERRORCODE()) is set.
bool loadRtfFile(QStringView programFileName, QTextDocument* doc, QString* error = nullptr);

// Loads a file as loadRtfFile does, except that a file of plain text rather
// than RTF (UTF-8, else Windows-1251, with no control characters but tabs, line
// and page breaks) gives a document of that text; *plainText tells which it
// was. Anything else that is not RTF fails as in loadRtfFile.
bool loadDocumentFile(QStringView programFileName, QTextDocument* doc, bool* plainText = nullptr,
                      QString* error = nullptr);

// Writes the document into a file given by its program name, replacing it whole
// (a failed write leaves the old file as it was). On failure *error says what
// went wrong and ERRORCODE() is set.
bool saveRtfFile(QStringView programFileName, const QTextDocument& doc, QString* error = nullptr);
// The same with the RTF already made (writeRtf).
bool saveRtfData(QStringView programFileName, const QByteArray& rtf, QString* error = nullptr);

}  // namespace rt
