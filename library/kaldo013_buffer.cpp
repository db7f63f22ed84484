// The card buffer of the document lists: a card put into it in the list of
// one base is inserted into the base of another list. The fields travel in
// process-wide variables, the document text in a file.

#include <QFile>

#include "app/globals.h"
#include "copyfailure.h"
#include "core/paths.h"
#include "dictionary.h"
#include "kaldo013.h"
#include "ui/dialogs.h"

namespace kaldo013 {

namespace {

// Whether the buffer holds a card: its fields and, in the transfer file, its
// text. Under the lock of the temporary files, as the fields and the file are
// when they change together.
bool gBufferHolds = false;

const QString kNoCardPut = QStringLiteral("Нет выбранного документа: буфер переноса пуст.");
const QString kBufferEmpty =
    QStringLiteral("Буфер переноса пуст: сначала поместите в него запись с документом.");

// The buffer empty again: no fields, no transfer file. The lock is held.
void EmptyBuffer() {
    ::NAME = STRING<120>();
    ::PNAME1 = STRING<120>();
    ::PNAME2 = STRING<120>();
    ::PNAME3 = STRING<120>();
    ::NDOK = STRING<12>();
    ::UTDATA = 0;
    ::VVODDATA = 0;
    ::WORDKEY = STRING<240>();
    ::NFILEBUF = CSTRING<128>();
    QFile::remove(rt::nativePath(kTransferFile));
    gBufferHolds = false;
}

}  // namespace

void Procedure::PutIntoBuffer() {
    ThisWindow.Update();
    // A put that cannot carry a whole card leaves nothing behind: an insert
    // would otherwise join one card's fields to another card's text.
    bool copied = false;
    const bool noCard = BRW1.CurrentRow() == 0;
    {
        auto l = lockTemporaryFiles();
        if (!noCard) {
            ::NAME = KAL.NAME;
            ::PNAME1 = KAL.PNAME1;
            ::PNAME2 = KAL.PNAME2;
            ::PNAME3 = KAL.PNAME3;
            ::NDOK = KAL.NDOK;
            ::UTDATA = LONG(KAL.UTVDATA);
            ::VVODDATA = LONG(KAL.VVODDATA);
            ::WORDKEY = KAL.WORDKEY;
            ::NFILEBUF = KAL.NFILE;
            prepareTemporaryFile(kTransferFile);
            copied = BlobToFile(KAL.ZAKON, kTransferFile) == 0;
        }
        if (copied)
            gBufferHolds = true;
        else
            EmptyBuffer();
    }
    if (noCard)
        MESSAGE(kNoCardPut);
    else if (!copied)
        showCopyFailure(kTransferFile);
}

void Procedure::InsertFromBuffer() {
    ThisWindow.Update();
    bool holds, copied = false;
    {
        auto l = lockTemporaryFiles();
        holds = gBufferHolds;
        if (holds) {
            // The record buffer holds the card selected in this list; what the
            // buffer does not carry must not pass from that card to the new one.
            KAL.KODTER = 0;
            KAL.RABZAKON.clear();
            // Numbered as every new card is: one above the highest number in
            // use or reserved by a form, so that a gap left by a deleted card
            // is no clash.
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
            copied = FileToBlob(kTransferFile, KAL.ZAKON) == 0;
        }
    }
    if (!holds) {
        MESSAGE(kBufferEmpty);
        return;
    }
    // An unreadable transfer file adds nothing: a card without its text (or
    // with the text of the card selected here) is not the card put in.
    if (!copied) {
        showCopyFailure(kTransferFile);
        ThisWindow.Update();
        return;
    }
    // A failure is reported by the table's access object. The list and its
    // count show the new card at once: the clerk sees the copy arrive.
    if (Access_KALDOR->Insert() != Level::Benign)
        return;
    BRW1.ResetQueue();
    ::KOLDOC = LONG(RECORDS(KALDOR));
    DISPLAY();
}

}  // namespace kaldo013
