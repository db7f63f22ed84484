#pragma once
// The rich-text control class: drives a window's rich-text control (a `text`
// control declared `rich`) and the tool controls bound to it.
//
//   RTFControlClass RTFControl9;
//   RTFControl9.AddItem(RTFTOOL::Find, RTFTOOLFIND);       // before or after Init
//   RTFControl9.AddItem(RTFTOOL::Bold, RTFTOOLBOLD);
//   RTFControl9.Init(RTFTEXTBOX);                           // the window is open
//   ...
//   while (ACCEPT()) { RTFControl9.TakeEvent(); ... }       // every event, first
//   RTFControl9.Load(NFILE);  RTFControl9.Save(NFILE, 0);
//   RTFControl9.Kill();
//
// The object lives on the window's (procedure) thread; the editor lives on the
// GUI thread. Load, Save and the dialogs (FindDlg, the find, replace and print
// tools) have finished when they return; the other tools are carried to the
// GUI as queued calls, which the GUI runs before anything asked of it later.
//
// Tools are ordinary controls of the window: buttons (print, find, find and
// replace, cut, copy, paste, undo, redo), check boxes (bold, italic,
// underline), drop lists (font name, size, script, colour, highlighter) and an
// option box of alignment radios. The runtime reports their use to the
// window's thread; TakeEvent carries it out. The check boxes, drop lists and
// alignment radios follow the formatting at the editor's cursor: the GUI sets
// them as the cursor moves, with no event to the thread (so CHOICE() of a tool
// tells the user's last choice, not what the tool shows now).
//
// Drop lists are filled by the class whatever their declared entries: the
// installed font families; the scripts of the family at the cursor (choosing
// one gives the selected text whose family lacks that script a family that has
// it); the sizes 8 to 72; seventeen colours ("Black", "Maroon", ... "White" for
// the classic sixteen, then "Automatic": the default text colour, or no
// highlight), each with a swatch. The alignment radios are left, centre,
// right and justified by position, and the radio bound as RTFTOOL::AlignmentJust
// is justified wherever it stands.
//
// PROP::Text on the control shows plain text (a hint) in the control's declared
// font and colour; a loaded document shows in its own fonts and colours.
// PROP::FontSize sets the reading size: the document's body text (its most
// common size) is shown at that many points and every other size, picture and
// margin in proportion. It changes only the display: the document keeps its
// own sizes, and Save writes them as they are.

#include <QString>
#include <QStringView>
#include <memory>

class Window;

// Kinds of tool for AddItem.
namespace RTFTOOL {
enum : int {
    Print = 8,
    Find = 9,
    FindAndReplace = 10,
    Cut = 11,
    Copy = 12,
    Paste = 13,
    Undo = 14,
    Redo = 15,
    Alignment = 18,      // the option box of the alignment radios
    AlignmentJust = 19,  // the radio of justified alignment
    FontName = 22,
    FontSize = 23,
    FontScript = 24,
    Bold = 25,
    Italic = 26,
    Underline = 27,
    FontColor = 28,
    FontBkColor = 29,  // the highlighter
};
}

class RTFControlClass {
  public:
    // The event a choice of the extra context-menu entries sends to the
    // window's thread (FIELD() the control, rt::eventValue() the entry).
    static constexpr int ContextMenuEvent = 0x3F0;

    RTFControlClass();
    virtual ~RTFControlClass();
    RTFControlClass(const RTFControlClass&) = delete;
    RTFControlClass& operator=(const RTFControlClass&) = delete;

    // Takes over the rich-text control `control` of the target window
    // (SETTARGET's, else the thread's newest), which must be open; a file name
    // loads that file. Tools added before are set up now.
    void Init(int control, QStringView fileName = {});
    void Init(Window& window, int control, QStringView fileName = {});
    // Lets go of the control and its tools; TakeEvent does nothing afterwards.
    void Kill();

    // Replaces the control's content by the document in the file (RTF, or
    // plain text shown as such). On failure the control is left empty, the
    // result is false and ERRORCODE() tells why (2 no such file, 47 neither RTF
    // nor text, ...).
    bool Load(QStringView fileName);
    // Writes the control's whole content into the file as RTF, replacing the
    // file at once (a failed write leaves the old one). Mode 0 is the only mode
    // the program uses; any mode writes RTF. False with ERRORCODE() on failure.
    bool Save(QStringView fileName, int mode = 0);

    // The find dialog with `text` to find (empty: the selected text, else the
    // last text sought); returns when the user closes it. ReplaceDlg likewise
    // for finding and replacing.
    void FindDlg(QStringView text = {});
    void ReplaceDlg(QStringView text = {});

    // The tools, as their controls do them.
    void Undo();
    void Redo();
    void Cut();
    void Copy();
    void Paste();
    // The print dialog; true when the document was printed.
    bool Print();

    // Binds a tool control (RTFTOOL:: kind); other kinds are ignored.
    void AddItem(int kind, int control);

    // Extra entries of the editor's context menu, after the standard ones:
    // texts separated by '|', "-" for a separator line. Empty in the class.
    virtual QString ContextMenuText();
    // A chosen extra entry, numbered from 1 (separators not counted). Nothing
    // in the class.
    virtual void TakeContextMenu(int entry);

    // Looks at the calling thread's current event: the use of a tool is
    // carried out, a choice of an extra context-menu entry goes to
    // TakeContextMenu. Returns 0: the window goes on with the event.
    int TakeEvent();

    // The controls bound by AddItem; 0 where none is.
    int CTLBUTTONPRINT = 0;
    int CTLBUTTONFIND = 0;
    int CTLBUTTONFINDANDREPLACE = 0;
    int CTLBUTTONCUT = 0;
    int CTLBUTTONCOPY = 0;
    int CTLBUTTONPASTE = 0;
    int CTLBUTTONUNDO = 0;
    int CTLBUTTONREDO = 0;
    int CTLALIGNMENT = 0;
    int CTLALIGNMENTJUST = 0;
    int CTLFONTNAME = 0;
    int CTLFONTSIZE = 0;
    int CTLFONTSCRIPT = 0;
    int CTLBOLD = 0;
    int CTLITALIC = 0;
    int CTLUNDERLINE = 0;
    int CTLFONTCOLOR = 0;
    int CTLFONTBKCOLOR = 0;

    // The rich-text control taken over; 0 before Init and after Kill.
    int control() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
    int* field(int kind);
};
