#pragma once
// The test window "rtfctltest" / "EDITOR" (resources/rtfctltest.json): its
// controls (controls/rtfctltest.h), and the binding of its tools to the editor.

#include <utility>

#include "controls/rtfctltest.h"
#include "rtfcontrol.h"

namespace editorwindow {

using namespace rtfctltest;  // the window's controls

// Binds every tool of the first editor but the kind `except`.
inline void bindTools(RTFControlClass& rtf, int except = 0) {
    const std::pair<int, int> tools[] = {
        {RTFTOOL::Print, RTFTOOLPRINT},
        {RTFTOOL::Find, RTFTOOLFIND},
        {RTFTOOL::FindAndReplace, RTFTOOLFINDANDREPLACE},
        {RTFTOOL::Cut, RTFTOOLCUT},
        {RTFTOOL::Copy, RTFTOOLCOPY},
        {RTFTOOL::Paste, RTFTOOLPASTE},
        {RTFTOOL::Undo, RTFTOOLUNDO},
        {RTFTOOL::Redo, RTFTOOLREDO},
        {RTFTOOL::Alignment, RTFTOOLALIGNMENT},
        {RTFTOOL::AlignmentJust, RTFTOOLALIGNMENTJUST},
        {RTFTOOL::FontName, RTFTOOLFONTNAME},
        {RTFTOOL::FontSize, RTFTOOLFONTSIZE},
        {RTFTOOL::FontScript, RTFTOOLFONTSCRIPT},
        {RTFTOOL::Bold, RTFTOOLBOLD},
        {RTFTOOL::Italic, RTFTOOLITALIC},
        {RTFTOOL::Underline, RTFTOOLUNDERLINE},
        {RTFTOOL::FontColor, RTFTOOLFONTCOLOR},
        {RTFTOOL::FontBkColor, RTFTOOLFONTBKCOLOR},
    };
    for (const auto& [kind, control] : tools) {
        if (kind != except)
            rtf.AddItem(kind, control);
    }
}

}  // namespace editorwindow
