#pragma once
// A report's declaration as the resource module gives it: paper, the detail
// area, the report font and the bands with their controls, all measured in
// millimetres. Parsed once, immutable afterwards, shared by every run of the
// report and by every thread that paints its pages.
//
// The JSON form is documented in docs/RESOURCES-REPORTS.md.

#include <QColor>
#include <QJsonObject>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

namespace rt {

struct ReportFont {
    QString face;       // as fontconfig knows it (" CYR" dropped)
    double size = 8.0;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int charset = 0;  // kept for the record; text is Unicode throughout
    QColor color = Qt::black;
};

enum class ReportAlign { Left, Center, Right };

struct ReportControl {
    enum class Kind {
        String,      // fixed text; the program may replace it (date and time stamps)
        Text,        // a bound variable shown through a picture
        Line,        // a rule from (x, y) to (x + width, y + height)
        Count,       // the number of printings of its band so far
        PageNumber,  // the number of the page it is printed on
    };
    Kind kind = Kind::String;
    QString label;    // "?TEMA" as declared
    QString text;     // String: the declared text
    QString use;      // Text: the variable's name ("TEMA", "KAL:PNAME1")
    QString picture;  // Text, Count, PageNumber
    QRectF rect;      // millimetres, relative to the band
    ReportAlign align = ReportAlign::Left;
    double indent = 0;  // millimetres in from the aligned edge
    ReportFont font;    // the control's own, or the report's
    double lineWidth = 0.2;
    // Index of this control's text in a printed band's texts; -1 for lines.
    int slot = -1;
};

struct ReportBand {
    enum class Kind { Header, Detail, Footer };
    Kind kind = Kind::Detail;
    QString label;  // "?DETAIL"
    // Header and footer: where they stand on the page. Detail: x is the offset
    // from the detail area's left edge, y is unused.
    QRectF rect;
    std::vector<ReportControl> controls;
    int textCount = 0;  // controls that carry text
};

class ReportDeclaration {
  public:
    // Parses one report declaration; null and *error set when it is unusable.
    static std::shared_ptr<const ReportDeclaration> fromJson(const QJsonObject& json,
                                                             QString* error = nullptr);
    // The declaration `label` of the resource module `module` ("kaldo011", "P1$REPORT").
    static std::shared_ptr<const ReportDeclaration> load(QStringView module, QStringView label,
                                                         QString* error = nullptr);

    QString title;
    QPageSize paper = QPageSize(QPageSize::A4);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QRectF detailArea;  // millimetres on the page
    ReportFont font;
    std::vector<ReportBand> bands;
    int header = -1;  // index into bands, -1 when none
    int footer = -1;

    // The page's size in millimetres, orientation applied.
    QSizeF pageSize() const;
    // Band by label ("?DETAIL" or "DETAIL", any case); -1 when none.
    int band(QStringView label) const;
    // Control by label; false when none. Labels are unique within a report.
    bool control(QStringView label, int* band, int* control) const;
};

// Labels compare without the leading "?" and without regard to case.
bool sameLabel(QStringView a, QStringView b);

}  // namespace rt
