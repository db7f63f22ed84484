#pragma once
// The print preview that a report procedure shows.

#include <QApplication>
#include <QWidget>

#include "report/preview.h"

// The preview on the screen; null when none is shown. GUI thread only.
inline PrintPreviewClass* shownPreview() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* p = qobject_cast<PrintPreviewClass*>(w);
        if (p && p->isVisible())
            return p;
    }
    return nullptr;
}
