#pragma once
// The GUI side of RTFControlClass: an object on the GUI thread, a child of the
// control's QTextEdit, that shows documents in it at the reading size, keeps
// the tool controls in step with the cursor, carries out the tools and makes
// the find and print dialogs. GUI thread only; RTFControlClass reaches it
// through queued calls.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextEdit>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/values.h"
#include "ui/events.h"

class QComboBox;
class QWidget;

namespace rt {
class GuiControl;
class GuiWindow;
}  // namespace rt

namespace rt::rtfctl {

class ZoomDevice;

// The colours of the colour and highlighter lists: names and colours, the
// last one "Automatic" (no colour of its own).
struct ToolColor {
    const char16_t* name;
    QColor color;  // invalid for "Automatic"
};
const std::vector<ToolColor>& toolColors();

class Editor : public QObject {
    Q_OBJECT
  public:
    // What the editor shows: plain text given to the control (in its declared
    // font and colour), a document read from a file, a plain-text file.
    enum class Content { Hint, Document, PlainFile };

    // Takes over a rich-text control of window `window`; null when the control
    // is not a QTextEdit. An editor already there is replaced.
    static Editor* attach(GuiControl& control);
    static Editor* of(const GuiControl& control);
    static Editor* find(quint64 window, int control);
    ~Editor() override;

    QTextEdit* textEdit() const { return edit_; }
    int thread() const;

    // Shows a document (made on any thread, moved to the GUI thread); takes it.
    void show(QTextDocument* doc, Content content);
    QByteArray rtf() const;

    // The reading size in points (0: the document's own sizes).
    void setReadingSize(double points);
    double zoom() const;

    void bindTool(int kind, int control);
    void setMenuEntries(const QStringList& entries);

    // The tools.
    void applyChoice(int kind);
    void applyStyle(int kind, bool on);
    void applyAlignment(int position);
    void editAction(int kind);
    QWidget* findDialog(bool replace, const QString& text, std::function<void(int)> done);
    QWidget* printDialog(std::function<void(int)> done);

    // What the find dialog does.
    struct FindOptions {
        bool matchCase = false;
        bool wholeWords = false;
        bool backward = false;
    };
    bool findNext(const QString& text, const FindOptions& o);
    bool replaceCurrent(const QString& text, const QString& with, const FindOptions& o);
    int replaceAll(const QString& text, const QString& with, const FindOptions& o);
    QString lastFind() const { return lastFind_; }
    QString lastReplace() const { return lastReplace_; }
    FindOptions lastOptions() const { return lastOptions_; }
    // Where the selection is on the screen (global coordinates).
    QRect selectionRect() const;
    // A message of the find dialog `parent`, which takes no input meanwhile.
    void say(QWidget* parent, const QString& text);

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    Editor(GuiControl& control, QTextEdit* edit);
    GuiControl* control() const;
    QWidget* tool(int kind) const;
    QComboBox* combo(int kind) const;
    bool takeProperty(PROP p, const Value& v);
    void setHint(const QString& text);
    QFont defaultFont(Content content) const;
    void applyZoom(QTextDocument* doc);
    void applyTextColor();
    void changeFormat(const std::function<void(QTextCharFormat&)>& change);
    void fillTool(int kind);
    void fillScripts(const QString& family);
    void syncTools();
    void leaveNoteMark(const QTextCharFormat& f);
    void contextMenu(const QPoint& at);
    std::array<int, 4> alignmentRadios() const;

    quint64 window_ = 0;
    int control_ = 0;
    QPointer<QTextEdit> edit_;
    QPointer<QTextDocument> doc_;  // the document we gave the editor
    QFont base_;                   // the control's declared font
    QColor hintColor_;
    bool ownPalette_ = false;
    Content content_ = Content::Hint;
    double points_ = 0;
    double body_ = 0;
    std::unique_ptr<ZoomDevice> zoomDevice_;
    std::map<int, int> tools_;  // kind -> control
    std::map<int, QMetaObject::Connection> toolConnections_;
    std::map<int, QVariant> chosen_;  // kind -> what the user chose in its list
    std::vector<int> radios_;         // alignment radios, in order
    QString scriptFamily_;
    QStringList menu_;
    QString lastFind_;
    QString lastReplace_;
    FindOptions lastOptions_;
};

}  // namespace rt::rtfctl
