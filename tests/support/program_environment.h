#pragma once
// The process-wide services a test of the program's windows needs, set up as
// the program body sets them up: error reports shown as message boxes, the INI
// file, and the dictionary's tables.

#include <gtest/gtest.h>

#include "app/globals.h"
#include "dictionary.h"
#include "ui/dialogs.h"

class ProgramEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        GlobalErrors.Init(GlobalErrorStatus);
        rt::installMessageReporter();
        INIMgr.Init(u"kaldor.INI");
        DctInit();
    }
    void TearDown() override {
        DctKill();
        INIMgr.Kill();
        rt::removeMessageReporter();
    }
};
