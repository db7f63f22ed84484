// The document list's preview of the selected card's document text, and the
// finder of a bookmarked passage in it.

#include "app/globals.h"
#include "copyfailure.h"
#include "dictionary.h"
#include "kaldo013.h"

namespace kaldo013 {

void Procedure::ShowDocument() {
    // The list reads its selected card again, document text included.
    ThisWindow.Update();
    // Also after a failed write the preview shows what the file holds (it
    // never goes back into a card from here).
    bodyToPreview(KAL.ZAKON, ::NFILE.get().str(), RTFControl2, u"Test.rtf");
}

void Procedure::FindBookmark() {
    // The combo has put the chosen bookmark into the record buffer.
    ::ZAKLAD = CLIP(ZAM.POTEXT.view());
    DISPLAY();
    RTFControl2.FindDlg(::ZAKLAD.get().clip());
}

void FDCB6Class::SetQueueRecord() {
    FileDropComboClass::SetQueueRecord();
    p_.QUEUE_FILEDROPCOMBO.ZAM_ZAKLAD_ICON = 1;
}

}  // namespace kaldo013
