#pragma once
// The program's procedures that other procedures call or start.

// The program body, run on thread 1 (kaldor.cpp).
void _main();
// The MDI frame (kaldo001.cpp).
void Main();
// The list windows and the register report. Until their own modules land they
// are placeholders (app/placeholders/).
void BrowseRub();
// The base list (bases/kaldo004).
void BrowseBD();
void Browsekaldor();
void PrintRs();
