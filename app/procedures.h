#pragma once
// The program's procedures that other procedures call or start.

// The program body, run on thread 1 (kaldor.cpp).
void _main();
// The MDI frame (kaldo001.cpp).
void Main();
// The list windows. Until their own modules land they are placeholders
// (app/placeholders/).
void BrowseRub();
// The base list (bases/kaldo004).
void BrowseBD();
void Browsekaldor();
// The register report of the active base (library/kaldo011.cpp), started on a
// thread of its own.
void PrintRs();
