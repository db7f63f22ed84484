#include "globals.h"

Shared<BYTE> SORT{BYTE(1)};
Shared<CSTRING<41>> ZFILE{"zfile.rtf"};
Shared<CSTRING<128>> SFILE{"C:\\kaldor_demo\\1.rtf"};
Shared<CSTRING<128>> NFILE{"Test.rtf"};
Shared<CSTRING<128>> NFILEBUF;
Shared<STRING<120>> NAME;
Shared<STRING<120>> PNAME1;
Shared<STRING<120>> PNAME2;
Shared<STRING<120>> PNAME3;
Shared<STRING<12>> NDOK;
Shared<STRING<240>> WORDKEY;
Shared<LONG> UTDATA{0};
Shared<LONG> VVODDATA{0};
Shared<STRING<60>> TEMA;
Shared<DECIMAL<2>> SPINRTF{8};
Shared<DECIMAL<2>> SPINW{8};
Shared<STRING<80>> ZAKLAD;
Shared<STRING<128>> PUT1;
Shared<STRING<128>> PUT2;
Shared<STRING<128>> PUT;
Shared<LONG> KOLDOC{0};
Shared<LONG> IDB{0};
Shared<DECIMAL<3>> NPP{0};
Shared<LONG> LCURRENTFDSETTING{0};
Shared<LONG> LADJFDSETTING{0};

// One translation unit, so declaration order is construction order.
FuzzyClass FuzzyMatcher;
ErrorClass GlobalErrors;
INIClass INIMgr;

thread_local ErrorStatusClass GlobalErrorStatus;
thread_local BYTE GlobalRequest = 0;
thread_local BYTE GlobalResponse = 0;
thread_local LONG VCRRequest = 0;
