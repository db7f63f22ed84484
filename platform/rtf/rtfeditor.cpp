#include "rtfeditor.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <array>
#include <cmath>

#include "core/paths.h"
#include "rtf.h"
#include "rtfcontrol.h"
#include "ui/dialogs.h"
#include "ui/gui.h"

namespace rt::rtfctl {

QWidget* makeFindDialog(Editor* editor, bool replace, const QString& text,
                        std::function<void(int)> done);

// A paint device that only answers questions: the document's layout asks it
// for its resolution and sizes fonts, margins and pictures by it, so a
// resolution of k times the screen's shows the document k times as large
// while the document itself keeps its sizes.
class ZoomDevice : public QPaintDevice {
  public:
    explicit ZoomDevice(double dpi) : dpi_(std::max(1, int(std::lround(dpi)))) {}
    QPaintEngine* paintEngine() const override { return nullptr; }

  protected:
    int metric(PaintDeviceMetric m) const override {
        constexpr int kSide = 100000;
        switch (m) {
            case PdmWidth:
            case PdmHeight:
                return kSide;
            case PdmWidthMM:
            case PdmHeightMM:
                return int(kSide * 25.4 / dpi_);
            case PdmNumColors:
                return std::numeric_limits<int>::max();
            case PdmDepth:
                return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return dpi_;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return int(devicePixelRatioFScale());
            default:
                return 0;
        }
    }

  private:
    int dpi_;
};

namespace {

constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 4.0;
// RTF's size of text that names none.
constexpr double kRtfDefaultPoints = 12;

const int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

struct ScriptName {
    QFontDatabase::WritingSystem system;
    const char16_t* name;
};
const ScriptName kScripts[] = {
    {QFontDatabase::Latin, u"Латиница"},
    {QFontDatabase::Cyrillic, u"Кириллица"},
    {QFontDatabase::Greek, u"Греческий"},
    {QFontDatabase::Armenian, u"Армянский"},
    {QFontDatabase::Hebrew, u"Иврит"},
    {QFontDatabase::Arabic, u"Арабский"},
    {QFontDatabase::Syriac, u"Сирийский"},
    {QFontDatabase::Thaana, u"Тана"},
    {QFontDatabase::Devanagari, u"Деванагари"},
    {QFontDatabase::Bengali, u"Бенгальский"},
    {QFontDatabase::Gurmukhi, u"Гурмукхи"},
    {QFontDatabase::Gujarati, u"Гуджарати"},
    {QFontDatabase::Oriya, u"Ория"},
    {QFontDatabase::Tamil, u"Тамильский"},
    {QFontDatabase::Telugu, u"Телугу"},
    {QFontDatabase::Kannada, u"Каннада"},
    {QFontDatabase::Malayalam, u"Малаялам"},
    {QFontDatabase::Sinhala, u"Сингальский"},
    {QFontDatabase::Thai, u"Тайский"},
    {QFontDatabase::Lao, u"Лаосский"},
    {QFontDatabase::Tibetan, u"Тибетский"},
    {QFontDatabase::Myanmar, u"Бирманский"},
    {QFontDatabase::Georgian, u"Грузинский"},
    {QFontDatabase::Khmer, u"Кхмерский"},
    {QFontDatabase::SimplifiedChinese, u"Китайский упрощённый"},
    {QFontDatabase::TraditionalChinese, u"Китайский традиционный"},
    {QFontDatabase::Japanese, u"Японский"},
    {QFontDatabase::Korean, u"Корейский"},
    {QFontDatabase::Vietnamese, u"Вьетнамский"},
    {QFontDatabase::Symbol, u"Символы"},
    {QFontDatabase::Ogham, u"Огамический"},
    {QFontDatabase::Runic, u"Рунический"},
    {QFontDatabase::Nko, u"Нко"},
};

QString scriptName(QFontDatabase::WritingSystem ws) {
    for (const ScriptName& s : kScripts) {
        if (s.system == ws)
            return QString::fromUtf16(s.name);
    }
    return QFontDatabase::writingSystemName(ws);
}

// The writing system of a letter; Any for characters of every script.
QFontDatabase::WritingSystem writingSystemOf(QChar c) {
    switch (c.script()) {
        case QChar::Script_Latin:
            return QFontDatabase::Latin;
        case QChar::Script_Cyrillic:
            return QFontDatabase::Cyrillic;
        case QChar::Script_Greek:
            return QFontDatabase::Greek;
        case QChar::Script_Armenian:
            return QFontDatabase::Armenian;
        case QChar::Script_Hebrew:
            return QFontDatabase::Hebrew;
        case QChar::Script_Arabic:
            return QFontDatabase::Arabic;
        case QChar::Script_Georgian:
            return QFontDatabase::Georgian;
        case QChar::Script_Han:
            return QFontDatabase::SimplifiedChinese;
        case QChar::Script_Hiragana:
        case QChar::Script_Katakana:
            return QFontDatabase::Japanese;
        case QChar::Script_Hangul:
            return QFontDatabase::Korean;
        case QChar::Script_Thai:
            return QFontDatabase::Thai;
        case QChar::Script_Devanagari:
            return QFontDatabase::Devanagari;
        default:
            return QFontDatabase::Any;
    }
}

QString familyOf(const QTextCharFormat& f, const QFont& fallback) {
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        return families.first();
    const QString family = f.property(QTextFormat::FontFamily).toString();
    return family.isEmpty() ? fallback.family() : family;
}

QList<QFontDatabase::WritingSystem> writingSystems(const QString& family) {
    QList<QFontDatabase::WritingSystem> ws = QFontDatabase::writingSystems(family);
    if (ws.isEmpty()) {
        // A face that is not installed: the scripts of the face shown instead.
        ws = QFontDatabase::writingSystems(QFontInfo(QFont(family)).family());
    }
    ws.removeAll(QFontDatabase::Any);
    return ws;
}

QIcon swatch(const QColor& c, int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(96, 96, 96));
    if (c.isValid()) {
        p.setBrush(c);
    } else {
        // "Automatic": a frame crossed out.
        p.setBrush(Qt::white);
    }
    p.drawRect(1, 1, side - 3, side - 3);
    if (!c.isValid())
        p.drawLine(2, side - 3, side - 3, 2);
    return QIcon(pm);
}

QString sizeText(double points) {
    return QString::number(points, 'g', 4);
}

// Puts `text` (with `data`) into a list that lacks it, at its place in the
// order `before` gives, and makes it the current entry.
void showEntry(QComboBox* cb, const QVariant& data, const QString& text,
               const std::function<bool(const QVariant& a, const QVariant& b)>& before) {
    int i = cb->findData(data);
    if (i < 0) {
        i = 0;
        while (i < cb->count() && before(cb->itemData(i), data))
            ++i;
        cb->insertItem(i, text, data);
    }
    cb->setCurrentIndex(i);
}

}  // namespace

const std::vector<ToolColor>& toolColors() {
    static const std::vector<ToolColor> colors = {
        {u"Black", QColor(0, 0, 0)},        {u"Maroon", QColor(128, 0, 0)},
        {u"Green", QColor(0, 128, 0)},      {u"Olive", QColor(128, 128, 0)},
        {u"Navy", QColor(0, 0, 128)},       {u"Purple", QColor(128, 0, 128)},
        {u"Teal", QColor(0, 128, 128)},     {u"Gray", QColor(128, 128, 128)},
        {u"Silver", QColor(192, 192, 192)}, {u"Red", QColor(255, 0, 0)},
        {u"Lime", QColor(0, 255, 0)},       {u"Yellow", QColor(255, 255, 0)},
        {u"Blue", QColor(0, 0, 255)},       {u"Fuchia", QColor(255, 0, 255)},
        {u"Aqua", QColor(0, 255, 255)},     {u"White", QColor(255, 255, 255)},
        {u"Automatic", QColor()},
    };
    return colors;
}

// ---------------------------------------------------------------------------

Editor* Editor::attach(GuiControl& control) {
    auto* edit = control.as<QTextEdit>();
    if (!edit)
        return nullptr;
    delete of(control);
    return new Editor(control, edit);
}

Editor* Editor::of(const GuiControl& control) {
    QWidget* w = control.widget();
    return w ? w->findChild<Editor*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

Editor* Editor::find(quint64 window, int control) {
    GuiWindow* w = gui::window(window);
    GuiControl* c = w ? w->control(control) : nullptr;
    return c ? of(*c) : nullptr;
}

Editor::Editor(GuiControl& c, QTextEdit* edit)
    : QObject(edit), window_(c.window().id()), control_(c.number()), edit_(edit) {
    const ControlDecl& d = c.decl();
    base_ = gui::font(c.window().client()->font(), d.font.name, d.font.size, d.font.style);
    hintColor_ = edit->palette().color(QPalette::Active, QPalette::Text);
    // A size given before we took the control has changed its font: the
    // declared one is the hint's, the size given the reading size.
    points_ = double(c.property(PROP::FontSize).toInt());
    edit->setFont(base_);
    edit->setAcceptRichText(true);
    edit->installEventFilter(this);
    // The editor tells of its end before it takes its children (us) with it:
    // from then on it is not to be touched.
    connect(edit, &QObject::destroyed, this, [this] { edit_ = nullptr; });
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QWidget::customContextMenuRequested, this, &Editor::contextMenu);
    connect(edit, &QTextEdit::cursorPositionChanged, this, &Editor::syncTools);
    connect(edit, &QTextEdit::currentCharFormatChanged, this, &Editor::syncTools);
    connect(edit, &QTextEdit::currentCharFormatChanged, this, &Editor::leaveNoteMark);
    QPointer<Editor> self(this);
    c.onProperty = [self](PROP p, int, const Value& v) { return self && self->takeProperty(p, v); };
    setHint(edit->toPlainText());
}

Editor::~Editor() {
    if (GuiControl* c = control())
        c->onProperty = nullptr;
    // The document may outlive us (it is the editor's child): it lays itself
    // out for the screen again.
    if (doc_) {
        doc_->documentLayout()->setPaintDevice(nullptr);
        if (edit_)
            doc_->markContentsDirty(0, doc_->characterCount());
    }
    if (edit_) {
        edit_->removeEventFilter(this);
        edit_->setContextMenuPolicy(Qt::DefaultContextMenu);
    }
}

GuiControl* Editor::control() const {
    GuiWindow* w = gui::window(window_);
    return w ? w->control(control_) : nullptr;
}

int Editor::thread() const {
    GuiWindow* w = gui::window(window_);
    return w ? w->thread() : 0;
}

QWidget* Editor::tool(int kind) const {
    auto it = tools_.find(kind);
    GuiWindow* w = gui::window(window_);
    if (it == tools_.end() || !w)
        return nullptr;
    GuiControl* c = w->control(it->second);
    return c ? c->widget() : nullptr;
}

QComboBox* Editor::combo(int kind) const {
    return qobject_cast<QComboBox*>(tool(kind));
}

// ---------------------------------------------------------------------------
// Content

bool Editor::takeProperty(PROP p, const Value& v) {
    if (!edit_)
        return false;
    switch (p) {
        case PROP::Text:
            setHint(v.toText());
            return true;
        case PROP::FontSize:
            setReadingSize(double(v.toInt()));
            return true;
        case PROP::FontName:
        case PROP::FontStyle: {
            base_ = p == PROP::FontName ? gui::font(base_, v.toText(), 0, 0)
                                        : gui::font(base_, QString(), 0, int(v.toInt()));
            // The widget's font becomes its document's default: give the
            // document back its own.
            edit_->setFont(base_);
            if (doc_)
                doc_->setDefaultFont(defaultFont(content_));
            return true;
        }
        default:
            return false;
    }
}

QFont Editor::defaultFont(Content content) const {
    if (content == Content::Hint)
        return base_;
    // A document's text without fonts of its own is plain text of the
    // control's face: never the hint's slant, weight or colour.
    QFont f(base_.family());
    f.setPointSizeF(content == Content::Document ? kRtfDefaultPoints : base_.pointSizeF());
    return f;
}

void Editor::setHint(const QString& text) {
    auto* doc = new QTextDocument;
    doc->setDefaultFont(base_);
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    doc->setPlainText(t);
    doc->setModified(false);
    show(doc, Content::Hint);
}

void Editor::show(QTextDocument* doc, Content content) {
    if (!edit_) {
        delete doc;
        return;
    }
    doc->setParent(edit_);
    doc->setDefaultFont(defaultFont(content));
    content_ = content;
    // The reading size: the most common size of the text is shown at it.
    std::map<int, qint64> halfPoints;
    const double fallback = doc->defaultFont().pointSizeF();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const double pt = f.charFormat().fontPointSize();
            halfPoints[int(std::lround((pt > 0 ? pt : fallback) * 2))] += f.length();
        }
    }
    body_ = fallback;
    qint64 most = 0;
    for (const auto& [hp, n] : halfPoints) {
        if (n > most) {
            most = n;
            body_ = hp / 2.0;
        }
    }
    // The layout learns the zoom before the editor lays the document out.
    applyZoom(doc);
    QPointer<QTextDocument> old = doc_;
    doc_ = doc;
    edit_->setDocument(doc);
    if (old && old != doc)
        delete old;
    applyTextColor();
    edit_->moveCursor(QTextCursor::Start);
    scriptFamily_.clear();
    syncTools();
}

QByteArray Editor::rtf() const {
    return edit_ ? writeRtf(*edit_->document()) : QByteArray();
}

double Editor::zoom() const {
    if (points_ <= 0 || body_ <= 0)
        return 1;
    return std::clamp(points_ / body_, kMinZoom, kMaxZoom);
}

void Editor::setReadingSize(double points) {
    if (points == points_)
        return;
    points_ = points;
    if (edit_ && doc_) {
        applyZoom(doc_);
        doc_->markContentsDirty(0, doc_->characterCount());
    }
}

void Editor::applyZoom(QTextDocument* doc) {
    const double z = zoom();
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    if (std::abs(z - 1) < 0.001) {
        layout->setPaintDevice(nullptr);
        zoomDevice_.reset();
        return;
    }
    auto device = std::make_unique<ZoomDevice>(edit_->logicalDpiY() * z);
    layout->setPaintDevice(device.get());
    zoomDevice_ = std::move(device);
}

void Editor::applyTextColor() {
    if (!edit_)
        return;
    const QColor c = content_ == Content::Hint
                         ? hintColor_
                         : QApplication::palette(edit_).color(QPalette::Active, QPalette::Text);
    QPalette pal = edit_->palette();
    // The text keeps its colours while the window waits for a dialog (the
    // find dialog above all, which shows what it found there).
    const QColor base = pal.color(QPalette::Active, QPalette::Base);
    if (pal.color(QPalette::Active, QPalette::Text) == c &&
        pal.color(QPalette::Inactive, QPalette::Text) == c &&
        pal.color(QPalette::Disabled, QPalette::Text) == c &&
        pal.color(QPalette::Disabled, QPalette::Base) == base)
        return;
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(g, QPalette::Text, c);
    pal.setColor(QPalette::Disabled, QPalette::Base, base);
    ownPalette_ = true;
    edit_->setPalette(pal);
    ownPalette_ = false;
}

bool Editor::eventFilter(QObject* o, QEvent* e) {
    if (o == edit_ && e->type() == QEvent::PaletteChange && !ownPalette_) {
        // The runtime coloured the control (its declared or given colour):
        // that is the hint's colour; a document keeps the default one.
        const QColor c = edit_->palette().color(QPalette::Active, QPalette::Text);
        if (content_ == Content::Hint ||
            c != QApplication::palette(edit_).color(QPalette::Active, QPalette::Text))
            hintColor_ = c;
        applyTextColor();
    }
    return false;
}

// ---------------------------------------------------------------------------
// Tools

void Editor::bindTool(int kind, int control) {
    if (auto it = toolConnections_.find(kind); it != toolConnections_.end()) {
        disconnect(it->second);
        toolConnections_.erase(it);
    }
    tools_[kind] = control;
    if (kind == RTFTOOL::Alignment) {
        GuiWindow* w = gui::window(window_);
        radios_ = w ? w->decl().children(control, ControlType::Radio) : std::vector<int>();
    }
    fillTool(kind);
    if (QComboBox* cb = combo(kind)) {
        // The entry the user picks, kept as it was then: the list may change
        // with the cursor before the window's thread gets to the choice.
        toolConnections_[kind] = connect(cb, &QComboBox::activated, this, [this, kind](int i) {
            if (QComboBox* c = combo(kind))
                chosen_[kind] = c->itemData(i);
        });
    }
    syncTools();
}

void Editor::fillTool(int kind) {
    QComboBox* cb = combo(kind);
    if (!cb)
        return;
    const QSignalBlocker block(cb);
    switch (kind) {
        case RTFTOOL::FontName:
            cb->clear();
            for (const QString& f : QFontDatabase::families())
                cb->addItem(f, f);
            break;
        case RTFTOOL::FontSize:
            cb->clear();
            for (int s : kSizes)
                cb->addItem(QString::number(s), double(s));
            break;
        case RTFTOOL::FontScript:
            scriptFamily_.clear();
            cb->clear();
            break;
        case RTFTOOL::FontColor:
        case RTFTOOL::FontBkColor: {
            cb->clear();
            const int side = std::max(8, cb->fontMetrics().height() - 4);
            cb->setIconSize(QSize(side, side));
            int value = 1;
            for (const ToolColor& c : toolColors()) {
                // The list's values: 1 to 16 for the colours, 0 "Automatic".
                const int v = c.color.isValid() ? value++ : 0;
                cb->addItem(swatch(c.color, side), QString::fromUtf16(c.name), v);
            }
            break;
        }
        default:
            return;
    }
    cb->setCurrentIndex(-1);
}

void Editor::fillScripts(const QString& family) {
    QComboBox* cb = combo(RTFTOOL::FontScript);
    if (!cb || family == scriptFamily_)
        return;
    scriptFamily_ = family;
    const QSignalBlocker block(cb);
    cb->clear();
    for (QFontDatabase::WritingSystem ws : writingSystems(family))
        cb->addItem(scriptName(ws), int(ws));
}

void Editor::setMenuEntries(const QStringList& entries) {
    menu_ = entries;
}

// Text typed just after a note's mark would take the mark's format and become
// part of the mark: it takes the text's plain format instead.
void Editor::leaveNoteMark(const QTextCharFormat& f) {
    if (!edit_ || !f.hasProperty(rtfnote::kMark) || edit_->textCursor().hasSelection())
        return;
    QTextCharFormat plain = f;
    plain.clearProperty(rtfnote::kMark);
    plain.clearProperty(rtfnote::kOwnMark);
    plain.setVerticalAlignment(QTextCharFormat::AlignNormal);
    edit_->setCurrentCharFormat(plain);
}

void Editor::syncTools() {
    if (!edit_ || !doc_)
        return;
    const QTextCharFormat f = edit_->currentCharFormat();
    const QFont def = doc_->defaultFont();
    const QString family = familyOf(f, def);
    const double size = f.fontPointSize() > 0 ? f.fontPointSize() : def.pointSizeF();
    if (QComboBox* cb = combo(RTFTOOL::FontName)) {
        const QSignalBlocker block(cb);
        showEntry(cb, family, family, [](const QVariant& a, const QVariant& b) {
            return a.toString().compare(b.toString(), Qt::CaseInsensitive) < 0;
        });
    }
    if (QComboBox* cb = combo(RTFTOOL::FontSize)) {
        const QSignalBlocker block(cb);
        const double rounded = std::round(size * 2) / 2;
        showEntry(cb, rounded, sizeText(rounded),
                  [](const QVariant& a, const QVariant& b) { return a.toDouble() < b.toDouble(); });
    }
    if (QComboBox* cb = combo(RTFTOOL::FontScript)) {
        fillScripts(family);
        // The script of the text at the cursor: its nearest letter before it.
        QFontDatabase::WritingSystem ws = QFontDatabase::Any;
        const QTextCursor c = edit_->textCursor();
        const QString text = c.block().text();
        for (int i = std::min(c.positionInBlock(), int(text.size())) - 1;
             i >= 0 && ws == QFontDatabase::Any; --i)
            ws = writingSystemOf(text[i]);
        const QSignalBlocker block(cb);
        int i = ws == QFontDatabase::Any ? -1 : cb->findData(int(ws));
        if (i < 0)
            i = cb->findData(int(QFontDatabase::Cyrillic));
        if (i < 0)
            i = cb->count() > 0 ? 0 : -1;
        cb->setCurrentIndex(i);
    }
    const auto check = [this](int kind, bool on) {
        if (auto* b = qobject_cast<QAbstractButton*>(tool(kind))) {
            const QSignalBlocker block(b);
            b->setChecked(on);
        }
    };
    check(RTFTOOL::Bold, f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() >= QFont::DemiBold
                                                                : def.weight() >= QFont::DemiBold);
    check(RTFTOOL::Italic, f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : def.italic());
    check(RTFTOOL::Underline, f.hasProperty(QTextFormat::TextUnderlineStyle) ||
                                      f.hasProperty(QTextFormat::FontUnderline)
                                  ? f.fontUnderline()
                                  : def.underline());
    const auto color = [this](int kind, const QBrush& brush) {
        QComboBox* cb = combo(kind);
        if (!cb)
            return;
        int value = -1;
        if (brush.style() == Qt::NoBrush) {
            value = 0;
        } else {
            int v = 1;
            for (const ToolColor& c : toolColors()) {
                if (c.color.isValid() && c.color.rgb() == brush.color().rgb()) {
                    value = v;
                    break;
                }
                ++v;
            }
        }
        const QSignalBlocker block(cb);
        cb->setCurrentIndex(value < 0 ? -1 : cb->findData(value));
    };
    color(RTFTOOL::FontColor, f.foreground());
    color(RTFTOOL::FontBkColor, f.background());
    if (!radios_.empty()) {
        const Qt::Alignment a = edit_->alignment();
        const int pos = a & Qt::AlignJustify   ? 3
                        : a & Qt::AlignHCenter ? 1
                        : a & Qt::AlignRight   ? 2
                                               : 0;
        const int want = alignmentRadios()[size_t(pos)];
        GuiWindow* w = gui::window(window_);
        for (int r : radios_) {
            GuiControl* rc = w ? w->control(r) : nullptr;
            auto* b = rc ? rc->as<QAbstractButton>() : nullptr;
            if (!b || b->isChecked() == (r == want))
                continue;
            const QSignalBlocker block(b);
            QButtonGroup* g = b->group();
            // An exclusive group keeps one button checked: none is wanted
            // when the alignment has no radio.
            if (g && r != want)
                g->setExclusive(false);
            b->setChecked(r == want);
            if (g && r != want)
                g->setExclusive(true);
        }
    }
}

std::array<int, 4> Editor::alignmentRadios() const {
    auto it = tools_.find(RTFTOOL::AlignmentJust);
    const int just = it == tools_.end() ? 0 : it->second;
    std::vector<int> others;
    for (int r : radios_) {
        if (r != just)
            others.push_back(r);
    }
    std::array<int, 4> out{};
    for (size_t i = 0; i < 3 && i < others.size(); ++i)
        out[i] = others[i];
    out[3] = just != 0 ? just : (others.size() >= 4 ? others[3] : 0);
    return out;
}

void Editor::changeFormat(const std::function<void(QTextCharFormat&)>& change) {
    if (!edit_)
        return;
    const QTextCursor sel = edit_->textCursor();
    if (!sel.hasSelection()) {
        QTextCharFormat f = edit_->currentCharFormat();
        change(f);
        edit_->setCurrentCharFormat(f);
    } else {
        // Each piece of the selection keeps its own format but for the change;
        // the whole change is one step of undo.
        QTextDocument* doc = edit_->document();
        const int start = sel.selectionStart();
        const int end = sel.selectionEnd();
        struct Piece {
            int from, to;
            QTextCharFormat format;
        };
        std::vector<Piece> pieces;
        for (QTextBlock b = doc->findBlock(start); b.isValid() && b.position() < end;
             b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment fr = it.fragment();
                const int from = std::max(start, fr.position());
                const int to = std::min(end, fr.position() + fr.length());
                if (from < to)
                    pieces.push_back({from, to, fr.charFormat()});
            }
        }
        QTextCursor c(doc);
        c.beginEditBlock();
        for (Piece& p : pieces) {
            change(p.format);
            c.setPosition(p.from);
            c.setPosition(p.to, QTextCursor::KeepAnchor);
            c.setCharFormat(p.format);
        }
        c.endEditBlock();
    }
    edit_->setFocus(Qt::OtherFocusReason);
    syncTools();
}

void Editor::applyChoice(int kind) {
    QComboBox* cb = combo(kind);
    QVariant v;
    if (auto it = chosen_.find(kind); it != chosen_.end()) {
        v = it->second;
        chosen_.erase(it);
    } else if (cb && cb->currentIndex() >= 0) {
        v = cb->currentData();
    }
    if (!v.isValid())
        return;
    switch (kind) {
        case RTFTOOL::FontName: {
            const QString family = v.toString();
            changeFormat([&](QTextCharFormat& f) {
                f.clearProperty(QTextFormat::FontFamily);
                f.setFontFamilies(QStringList{family});
            });
            break;
        }
        case RTFTOOL::FontSize: {
            const double points = v.toDouble();
            if (points > 0)
                changeFormat([&](QTextCharFormat& f) { f.setFontPointSize(points); });
            break;
        }
        case RTFTOOL::FontScript: {
            // Text whose face lacks the script takes one that has it: the
            // control's own face if it does, else the first face that does.
            const auto ws = QFontDatabase::WritingSystem(v.toInt());
            const QFont def = doc_ ? doc_->defaultFont() : base_;
            QString replacement;
            for (const QString& f : QStringList{base_.family(), QApplication::font().family()} +
                                        QFontDatabase::families(ws)) {
                if (writingSystems(f).contains(ws)) {
                    replacement = f;
                    break;
                }
            }
            if (replacement.isEmpty())
                break;
            changeFormat([&](QTextCharFormat& f) {
                if (!writingSystems(familyOf(f, def)).contains(ws)) {
                    f.clearProperty(QTextFormat::FontFamily);
                    f.setFontFamilies(QStringList{replacement});
                }
            });
            break;
        }
        case RTFTOOL::FontColor:
        case RTFTOOL::FontBkColor: {
            const int value = v.toInt();
            const std::vector<ToolColor>& colors = toolColors();
            const QColor c = value >= 1 && value <= 16 ? colors[size_t(value - 1)].color : QColor();
            const bool fore = kind == RTFTOOL::FontColor;
            changeFormat([&](QTextCharFormat& f) {
                if (c.isValid())
                    fore ? f.setForeground(c) : f.setBackground(c);
                else
                    fore ? f.clearForeground() : f.clearBackground();
            });
            break;
        }
        default:
            break;
    }
}

void Editor::applyStyle(int kind, bool on) {
    changeFormat([kind, on](QTextCharFormat& f) {
        switch (kind) {
            case RTFTOOL::Bold:
                f.setFontWeight(on ? QFont::Bold : QFont::Normal);
                break;
            case RTFTOOL::Italic:
                f.setFontItalic(on);
                break;
            case RTFTOOL::Underline:
                f.setFontUnderline(on);
                break;
            default:
                break;
        }
    });
}

void Editor::applyAlignment(int position) {
    if (!edit_ || position < 1 || size_t(position) > radios_.size())
        return;
    const int radio = radios_[size_t(position - 1)];
    const std::array<int, 4> r = alignmentRadios();
    const Qt::Alignment kinds[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                   Qt::AlignJustify};
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i] == radio) {
            edit_->setAlignment(kinds[i]);
            break;
        }
    }
    edit_->setFocus(Qt::OtherFocusReason);
    syncTools();
}

void Editor::editAction(int kind) {
    if (!edit_)
        return;
    switch (kind) {
        case RTFTOOL::Undo:
            edit_->undo();
            break;
        case RTFTOOL::Redo:
            edit_->redo();
            break;
        case RTFTOOL::Cut:
            edit_->cut();
            break;
        case RTFTOOL::Copy:
            edit_->copy();
            break;
        case RTFTOOL::Paste:
            edit_->paste();
            break;
        default:
            return;
    }
    edit_->setFocus(Qt::OtherFocusReason);
}

void Editor::contextMenu(const QPoint& at) {
    if (!edit_)
        return;
    auto* menu = new QMenu(edit_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selection = edit_->textCursor().hasSelection();
    const bool writable = !edit_->isReadOnly();
    QTextDocument* doc = edit_->document();
    const auto add = [&](const QString& text, bool enabled, int kind) {
        QAction* a = menu->addAction(text);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, [this, kind] { editAction(kind); });
    };
    add(QStringLiteral("Отменить"), writable && doc->isUndoAvailable(), RTFTOOL::Undo);
    add(QStringLiteral("Вернуть"), writable && doc->isRedoAvailable(), RTFTOOL::Redo);
    menu->addSeparator();
    add(QStringLiteral("Вырезать"), writable && selection, RTFTOOL::Cut);
    add(QStringLiteral("Копировать"), selection, RTFTOOL::Copy);
    add(QStringLiteral("Вставить"), writable && edit_->canPaste(), RTFTOOL::Paste);
    QAction* del = menu->addAction(QStringLiteral("Удалить"));
    del->setEnabled(writable && selection);
    connect(del, &QAction::triggered, this, [this] {
        if (edit_)
            edit_->textCursor().removeSelectedText();
    });
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Выделить всё")), &QAction::triggered, this, [this] {
        if (edit_)
            edit_->selectAll();
    });
    if (!menu_.isEmpty()) {
        menu->addSeparator();
        int n = 0;
        for (const QString& entry : menu_) {
            if (entry.trimmed() == u"-") {
                menu->addSeparator();
                continue;
            }
            const int number = ++n;
            connect(menu->addAction(entry), &QAction::triggered, this, [this, number] {
                if (GuiWindow* w = gui::window(window_))
                    w->post(RTFControlClass::ContextMenuEvent, control_, number);
            });
        }
    }
    menu->setObjectName(QStringLiteral("rtfContextMenu"));
    menu->popup(edit_->viewport()->mapToGlobal(at));
}

// ---------------------------------------------------------------------------
// Finding

namespace {

QTextDocument::FindFlags flagsOf(const Editor::FindOptions& o) {
    QTextDocument::FindFlags f;
    if (o.matchCase)
        f |= QTextDocument::FindCaseSensitively;
    if (o.wholeWords)
        f |= QTextDocument::FindWholeWords;
    if (o.backward)
        f |= QTextDocument::FindBackward;
    return f;
}

}  // namespace

bool Editor::findNext(const QString& text, const FindOptions& o) {
    lastFind_ = text;
    lastOptions_ = o;
    if (!edit_ || text.isEmpty())
        return false;
    const QTextCursor hit = edit_->document()->find(text, edit_->textCursor(), flagsOf(o));
    if (hit.isNull())
        return false;
    edit_->setTextCursor(hit);
    edit_->ensureCursorVisible();
    return true;
}

bool Editor::replaceCurrent(const QString& text, const QString& with, const FindOptions& o) {
    lastReplace_ = with;
    if (!edit_ || text.isEmpty())
        return false;
    QTextCursor c = edit_->textCursor();
    const Qt::CaseSensitivity cs = o.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!edit_->isReadOnly() && c.hasSelection() && c.selectedText().compare(text, cs) == 0) {
        c.insertText(with);
        if (o.backward)
            c.setPosition(c.position() - int(with.size()));
        edit_->setTextCursor(c);
    }
    return findNext(text, o);
}

int Editor::replaceAll(const QString& text, const QString& with, const FindOptions& o) {
    lastFind_ = text;
    lastReplace_ = with;
    lastOptions_ = o;
    if (!edit_ || text.isEmpty() || edit_->isReadOnly())
        return 0;
    QTextDocument* doc = edit_->document();
    FindOptions forward = o;
    forward.backward = false;
    const QTextDocument::FindFlags flags = flagsOf(forward);
    QTextCursor edit(doc);
    edit.beginEditBlock();
    int n = 0;
    // Each search goes on after the text put in, so a replacement that holds
    // the text sought is not replaced again.
    QTextCursor hit = doc->find(text, 0, flags);
    while (!hit.isNull()) {
        hit.insertText(with);
        ++n;
        hit = doc->find(text, hit.position(), flags);
    }
    edit.endEditBlock();
    return n;
}

QRect Editor::selectionRect() const {
    if (!edit_)
        return {};
    QTextCursor c = edit_->textCursor();
    c.setPosition(c.anchor());
    const QRect r = edit_->cursorRect(c).united(edit_->cursorRect());
    return QRect(edit_->viewport()->mapToGlobal(r.topLeft()), r.size());
}

QWidget* Editor::findDialog(bool replace, const QString& text, std::function<void(int)> done) {
    if (!edit_)
        return nullptr;
    QString t = text;
    if (t.isEmpty()) {
        const QString sel = edit_->textCursor().selectedText();
        t = !sel.isEmpty() && !sel.contains(QChar::ParagraphSeparator) ? sel : lastFind_;
    }
    return makeFindDialog(this, replace, t, std::move(done));
}

QWidget* Editor::printDialog(std::function<void(int)> done) {
    if (!edit_)
        return nullptr;
    auto* printer = new QPrinter(QPrinter::HighResolution);
    if (!printerName().isEmpty()) {
        printer->setPrinterName(printerName());
    } else if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        // No printer at all: a PDF file is what can be made.
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QDir(currentFolder()).filePath(QStringLiteral("Документ.pdf")));
    }
    const int t = thread();
    auto* dlg = new QPrintDialog(printer, gui::dialogParent(t));
    dlg->setWindowTitle(QStringLiteral("Печать"));
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowModality(Qt::NonModal);
    if (edit_->textCursor().hasSelection())
        dlg->setOption(QAbstractPrintDialog::PrintSelection);
    QPointer<QTextEdit> edit = edit_;
    connect(dlg, &QDialog::accepted, dlg, [edit, printer, done] {
        if (edit)
            edit->print(printer);
        done(edit ? 1 : 0);
    });
    connect(dlg, &QDialog::rejected, dlg, [done] { done(0); });
    connect(dlg, &QObject::destroyed, [printer] { delete printer; });
    return dlg;
}

void Editor::say(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, parent->windowTitle(), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));
    box->button(QMessageBox::Ok)->setProperty("kaldorButton", BUTTON::Ok);
    // The dialog waits for the message as a modal one would, without holding
    // up the windows of other threads (a modal box would hold up the frame).
    std::vector<QPointer<QWidget>> held;
    for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow() && w->isEnabled()) {
            w->setEnabled(false);
            held.emplace_back(w);
        }
    }
    const auto answered = [held] {
        for (const QPointer<QWidget>& w : held) {
            if (w)
                w->setEnabled(true);
        }
    };
    connect(box, &QDialog::finished, parent, answered);
    gui::addDialog(thread(), box, true);
    box->show();
}

}  // namespace rt::rtfctl
