#pragma once
// The register of a made-up document base: the variables the register report
// shows, bound by the names its declaration uses, and cards to fill them with.
// Shared by the tests, the benchmark and the preview demo.

#include <QString>

#include "core/values.h"
#include "report/report.h"

struct DemoRegister {
    Shared<STRING<60>> TEMA;
    STRING<120> PNAME1;
    STRING<120> PNAME2;
    STRING<120> PNAME3;
    STRING<12> NDOK;
    DATE UTVDATA;
    DATE VVODDATA;

    // Binds every variable the register shows; false when one is not used.
    bool bind(rt::Report& report);
    // Fills the fields with card number `n` (1, 2, ...): the same card every
    // time for the same number.
    void load(int n);
    // Opens the report, stamps the date and time, prints `cards` cards and
    // closes it.
    bool print(rt::Report& report, int cards);
};

// The register report's declaration from the project's resources.
std::shared_ptr<const rt::ReportDeclaration> registerDeclaration();
