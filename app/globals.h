#pragma once
// The program's process-wide variables and objects, and its per-thread variables.
//
// Process-wide variables are Shared<T>: any thread reads and writes them, each
// access whole, the last writer winning. Per-thread variables are thread_local and
// set to their starting values by the thread-start hook.

#include "core/errors.h"
#include "core/fuzzy.h"
#include "core/ini.h"
#include "core/values.h"

// Document list: tips on (1) or off.
extern Shared<BYTE> SORT;
// Temporary rich-text files of a card's working copy and document text, and the
// card form's default source file.
extern Shared<CSTRING<41>> ZFILE;
extern Shared<CSTRING<128>> SFILE;
extern Shared<CSTRING<128>> NFILE;
// The card buffer: a card's fields on their way from one base to another.
extern Shared<CSTRING<128>> NFILEBUF;
extern Shared<STRING<120>> NAME;
extern Shared<STRING<120>> PNAME1;
extern Shared<STRING<120>> PNAME2;
extern Shared<STRING<120>> PNAME3;
extern Shared<STRING<12>> NDOK;
extern Shared<STRING<240>> WORDKEY;
extern Shared<LONG> UTDATA;
extern Shared<LONG> VVODDATA;
// The active base: its name, the file names of its document and bookmark tables,
// and its folder.
extern Shared<STRING<60>> TEMA;
// Font sizes of rich text and of the lists.
extern Shared<DECIMAL<2>> SPINRTF;
extern Shared<DECIMAL<2>> SPINW;
// The passage looked for in the document preview.
extern Shared<STRING<80>> ZAKLAD;
extern Shared<STRING<128>> PUT1;
extern Shared<STRING<128>> PUT2;
extern Shared<STRING<128>> PUT;
// The record count the lists show.
extern Shared<LONG> KOLDOC;
// Record position of the card buffer's re-read.
extern Shared<LONG> IDB;
// Line number of the register report.
extern Shared<DECIMAL<3>> NPP;
// The full-window-drag setting found at start, and the buffer handed over when
// changing it.
extern Shared<LONG> LCURRENTFDSETTING;
extern Shared<LONG> LADJFDSETTING;

// The process-wide objects, made in this order when the process starts and
// destroyed in the reverse order when it ends.
extern FuzzyClass FuzzyMatcher;
extern ErrorClass GlobalErrors;
extern INIClass INIMgr;

// Per thread.
extern thread_local ErrorStatusClass GlobalErrorStatus;
extern thread_local BYTE GlobalRequest;
extern thread_local BYTE GlobalResponse;
extern thread_local LONG VCRRequest;
