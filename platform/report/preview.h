#pragma once
// The print preview: the pages of a report run, a list of pages, zoom steps,
// printing through the system's print dialog and saving as PDF. It may be shown
// while the run still produces pages: the first page appears as soon as it is
// laid out and the rest follow. A run without pages shows a message instead.
//
// Saving and printing write the pages on a thread of their own, with a progress
// bar and a cancel button in the status bar: the preview, the frame and every
// other window go on meanwhile. Closing the preview stops them.
//
// The preview's dialogs (file, print, messages) never run an event loop of their
// own: they are its children and report back through signals, so the preview may
// be closed and deleted at any moment, its dialogs with it. Each is announced
// (dialogOpened) before it shows.
//
// A widget: it lives on the GUI thread. The run that feeds its document may be on
// any thread.

#include <QMainWindow>
#include <QPointer>
#include <QStringView>
#include <functional>
#include <memory>
#include <vector>

#include "core/ini.h"
#include "report/report.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QPrinter;
class QScrollArea;
class QStackedWidget;
class QTimer;

class QProgressBar;
class QPushButton;

namespace rt {
class PageView;
class OutputJob;
}  // namespace rt

class PrintPreviewClass : public QMainWindow, public PlacedWindow {
    Q_OBJECT

  public:
    explicit PrintPreviewClass(QWidget* parent = nullptr);
    ~PrintPreviewClass() override;

    // Settings, given before display(). The zoom the user chose last and the
    // window's place are kept in the INI file under `name`.
    void setIniManager(INIClass* ini, QStringView name = u"PrintPreview");
    void setInitialZoom(int percent);
    void setUserZoom(bool allowed);
    void setMaximize(bool maximize);

    // Opens the window on a run's pages; more may still be coming.
    void display(std::shared_ptr<rt::ReportDocument> document);
    std::shared_ptr<rt::ReportDocument> document() const { return document_; }

    // Zoom in percent of the paper's real size.
    static const std::vector<int>& zoomSteps();
    int zoom() const { return zoom_; }
    void setZoom(int percent);
    void zoomIn();
    void zoomOut();

    // Pages the window knows of, and the one in view (1-based; 0 when none).
    int pagesShown() const { return pagesShown_; }
    int currentPage() const;
    void showPage(int number);
    // True when the run ended without pages and the window says so.
    bool showsEmptyMessage() const;

    // What the toolbar's buttons do, without their dialogs: start writing the
    // pages and return at once. False when not all pages are there yet or an
    // output is running already. outputFinished tells the outcome.
    bool savePdf(const QString& fileName);
    bool printPages(std::shared_ptr<QPrinter> printer);
    bool outputRunning() const;
    void cancelOutput();
    // What the last output did: pages written (and in all), and its failure
    // (empty when it succeeded).
    int outputDone() const;
    int outputTotal() const;
    QString outputError() const;

    WindowPlacement placement() const override;
    void setPlacement(const WindowPlacement& p) override;

    // The text shown for a run without pages.
    static QString emptyText();

  public slots:
    void printWithDialog();
    void saveWithDialog();

  signals:
    void closed();
    void outputFinished(bool ok);
    // One of the preview's dialogs is about to show: a handle that knows the
    // report's thread makes it one of the thread's dialogs, as the runtime
    // lists them.
    void dialogOpened(QWidget* dialog);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void poll();
    bool startOutput(const QString& what,
                     std::function<bool(const rt::ReportDocument::Progress&, QString*)> work);
    void pollOutput();
    void showOutput(bool shown);
    void showDialog(QWidget* dialog);
    void warn(const QString& title, const QString& text);
    void updateActions();
    void updateStatus();
    void applyZoom(int percent);

    std::shared_ptr<rt::ReportDocument> document_;
    INIClass* ini_ = nullptr;
    QString iniName_;
    int initialZoom_ = 100;
    int zoom_ = 100;
    bool userZoom_ = true;
    bool maximize_ = false;
    int pagesShown_ = 0;
    bool settingsSaved_ = false;

    QStackedWidget* stack_;
    QScrollArea* scroll_;
    rt::PageView* view_;
    QListWidget* list_;
    QLabel* empty_;
    QComboBox* zoomBox_;
    QAction* print_;
    QAction* save_;
    QAction* zoomIn_;
    QAction* zoomOut_;
    QLabel* status_;
    QTimer* timer_;

    std::unique_ptr<rt::OutputJob> job_;  // the output running, or the last one
    QPointer<QWidget> dialog_;            // the dialog open, if any
    QLabel* outputText_;
    QProgressBar* outputBar_;
    QPushButton* outputCancel_;
    QTimer* outputTimer_;
};
