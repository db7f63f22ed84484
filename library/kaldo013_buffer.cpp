// The card buffer of the document lists: a card put into it in the list of
// one base is inserted into the base of another list. The fields travel in
// process-wide variables, the document text in a file.

#include "app/globals.h"
#include "copyfailure.h"
#include "dictionary.h"
#include "kaldo013.h"

namespace kaldo013 {

void Procedure::PutIntoBuffer() {
    ThisWindow.Update();
    ::NAME = KAL.NAME;
    ::PNAME1 = KAL.PNAME1;
    ::PNAME2 = KAL.PNAME2;
    ::PNAME3 = KAL.PNAME3;
    ::NDOK = KAL.NDOK;
    ::UTDATA = LONG(KAL.UTVDATA);
    ::VVODDATA = LONG(KAL.VVODDATA);
    ::WORDKEY = KAL.WORDKEY;
    ::NFILEBUF = KAL.NFILE;
    blobToFileShown(KAL.ZAKON, kTransferFile, kTransferFile);
}

void Procedure::InsertFromBuffer() {
    ThisWindow.Update();
    // The record buffer holds the card selected in this list; what the buffer
    // does not carry must not pass from that card to the new one.
    KAL.KODTER = 0;
    KAL.RABZAKON.clear();
    // Numbered as every new card is: one above the highest number in use or
    // reserved by a form, so that a gap left by a deleted card is no clash.
    KAL.ID = 0;
    KAL.NAME = ::NAME.get();
    KAL.PNAME1 = ::PNAME1.get();
    KAL.PNAME2 = ::PNAME2.get();
    KAL.PNAME3 = ::PNAME3.get();
    KAL.NDOK = ::NDOK.get();
    KAL.UTVDATA = DATE(::UTDATA.get());
    KAL.VVODDATA = DATE(::VVODDATA.get());
    KAL.WORDKEY = ::WORDKEY.get();
    KAL.NFILE = ::NFILEBUF.get();
    // An unreadable transfer file leaves the new card without a text: never the
    // text of the card selected here. The message names the file that failed.
    if (fileToBlobShown(kTransferFile, KAL.ZAKON, kTransferFile) != 0)
        KAL.ZAKON.clear();
    // A failure is reported by the table's access object. The list and its
    // count show the new card at once: the clerk sees the copy arrive.
    if (Access_KALDOR->Insert() != Level::Benign)
        return;
    BRW1.ResetQueue();
    ::KOLDOC = LONG(RECORDS(KALDOR));
    DISPLAY();
}

}  // namespace kaldo013
