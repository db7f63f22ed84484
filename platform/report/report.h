#pragma once
// One run of a report. The thread that reads the records opens a Report, binds
// the variables its controls show, prints a detail band per record and closes
// it. Each printing takes the band's values as they are at that moment, already
// formatted through the controls' pictures, and places the band on the current
// page; a full page is finished (its footer taken) and handed to the run's
// ReportDocument at once. So a page is laid out exactly once, and whoever shows,
// prints or saves the pages may start on the first while later ones are still
// being read.
//
// A Report belongs to the thread that prints it. Its ReportDocument may be read,
// painted and saved from any thread.

#include <QPainter>
#include <QString>
#include <QStringView>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/values.h"
#include "report/declaration.h"

class Picture;
class QPrinter;

namespace rt {

// A finished page: the bands placed on it with the texts they showed.
struct ReportPage {
    struct Placed {
        int band;    // index into the declaration's bands
        QPointF at;  // millimetres on the page
        int texts;   // index of the band's first text in `texts`
    };
    int number = 0;  // 1, 2, ...
    std::vector<Placed> bands;
    std::vector<QString> texts;
};

class ReportDocument {
  public:
    explicit ReportDocument(std::shared_ptr<const ReportDeclaration> declaration);

    const ReportDeclaration& declaration() const { return *declaration_; }
    std::shared_ptr<const ReportDeclaration> declarationPtr() const { return declaration_; }

    // Pages finished so far.
    int pageCount() const;
    std::shared_ptr<const ReportPage> page(int index) const;
    // True once the run has closed (or was cancelled): no more pages come.
    bool finished() const;
    bool cancelled() const;
    // Waits until `pages` pages exist or the run is finished, at most `msec`
    // milliseconds (negative: no limit). True when that many pages exist.
    bool waitForPages(int pages, int msec) const;
    bool waitFinished(int msec) const;

    // Paints page `index` (0-based) onto the painter's device, the page's top
    // left corner at the device's origin. The device's logical resolution sets
    // the scale.
    void paintPage(QPainter& painter, int index) const;
    // The page as an image of `dpi` dots per inch, white paper.
    QImage renderPage(int index, double dpi) const;
    // Told after each page written (pages done, pages in all); false stops the
    // output, which then fails with the text cancelledText().
    using Progress = std::function<bool(int done, int total)>;
    // Writes the pages finished so far as a PDF file (a program file name). The
    // file is replaced only by a whole new one: a failed or stopped writing
    // leaves the old file as it was.
    bool writePdf(QStringView fileName, QString* error = nullptr,
                  const Progress& progress = {}) const;
    // Prints the pages in the printer's page range (all when none is chosen); a
    // stopped printing aborts the printer's job.
    bool print(QPrinter& printer, QString* error = nullptr, const Progress& progress = {}) const;
    static QString cancelledText();

    // Used by Report.
    void addPage(std::shared_ptr<const ReportPage> page);
    void finish(bool cancelled);

  private:
    std::shared_ptr<const ReportDeclaration> declaration_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<std::shared_ptr<const ReportPage>> pages_;
    bool finished_ = false;
    bool cancelled_ = false;
};

class Report {
  public:
    explicit Report(std::shared_ptr<const ReportDeclaration> declaration);
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    const ReportDeclaration& declaration() const { return *declaration_; }

    // Binds a variable by the name the declaration's controls use ("TEMA",
    // "KAL:PNAME1"). False when no control shows that name. Count totals
    // never read or write their variable: the report keeps the count.
    bool bind(QStringView name, const FieldRef& ref);

    // Starts the run: counts and page numbers begin again, a new document is
    // made. False (and *error) when a variable some control shows is unbound or
    // the report is already open.
    bool open(QString* error = nullptr);
    bool isOpen() const { return open_; }

    // Replaces the text of a string control (a date or time stamp); the bands
    // printed from now on show it. False when there is no such string control.
    bool setText(QStringView control, QStringView text);
    QString text(QStringView control) const;

    // Prints a detail band: takes its values now and places it, on a new page
    // when it does not fit on the current one. False when the report is not open
    // or the band is not a detail band.
    bool print(QStringView band);
    bool print(int band);

    // Ends the last page and the document.
    void close();
    // Ends the run without finishing the page in progress; the document is marked
    // cancelled.
    void cancel();

    // The document of the current (or last) run; null before the first open.
    std::shared_ptr<ReportDocument> document() const { return document_; }
    // How many times a band has been printed in this run.
    int printed(int band) const;

  private:
    struct Source;
    void startPage();
    void endPage();
    void place(int band, QPointF at);

    std::shared_ptr<const ReportDeclaration> declaration_;
    std::vector<std::vector<Source>> sources_;  // per band, per text slot
    std::vector<int> printed_;
    std::shared_ptr<ReportDocument> document_;
    std::unique_ptr<ReportPage> page_;
    double y_ = 0;  // where the next detail band goes
    int pageNumber_ = 0;
    bool open_ = false;
};

}  // namespace rt
