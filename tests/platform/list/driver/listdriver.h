#pragma once
// Drives the list controls of a running program as a user would: rows, the
// header, the thumb, typing, the wheel; and reads what a list shows. Like the
// window driver, each action waits until the window's thread is idle again.

#include <QString>
#include <QStringList>

#include "listview.h"
#include "uidriver.h"

namespace listtest {

lst::ListWidget* listWidget(int thread, int control);  // GUI thread only
QStringList column(int thread, int control, int column);
int currentRow(int thread, int control);
int thumb(int thread, int control);
bool thumbEnabled(int thread, int control);
int rowHeight(int thread, int control);  // pixels
// Column `column` of the drop list of a combo declared with a format.
QStringList comboColumn(int thread, int control, int column);
void clickRow(int thread, int control, int row);
// A click into the cell of `row` and `column`, as far as the list shows it.
void clickCell(int thread, int control, int row, int column);
// The list's horizontal position in pixels, and the user's scrolling to one.
int sideways(int thread, int control);
void scrollSideways(int thread, int control, int pixels);
void doubleClickRow(int thread, int control, int row);
void clickHeader(int thread, int control, int column);
void dragThumb(int thread, int control, int value);
void typeInto(int thread, int control, const QString& text);
void scrollWheel(int thread, int control, int notches);

}  // namespace listtest
