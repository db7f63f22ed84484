#include <gtest/gtest.h>

#include <thread>

#include "core/errors.h"

namespace {

class Recorder : public ErrorReporter {
  public:
    bool report(const ErrorReport& r) override {
        reports.push_back(r);
        return answer;
    }
    std::vector<ErrorReport> reports;
    bool answer = true;
};

class ErrorsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rec_ = std::make_shared<Recorder>();
        ErrorClass::setReporter(rec_);
    }
    void TearDown() override { ErrorClass::setReporter(nullptr); }
    std::shared_ptr<Recorder> rec_;
};

}  // namespace

TEST_F(ErrorsTest, RestrictDeleteNamesTheChildFile) {
    ErrorClass errors;
    ErrorStatusClass status;
    errors.Init(status);
    errors.SetProcedureName(u"UpDateRub");
    rt::setError(ErrCode::RecordNotAvailable);
    errors.ThrowFile(Msg::RestrictDelete, u"CONFIG");
    ASSERT_EQ(rec_->reports.size(), 1u);
    const ErrorReport& r = rec_->reports[0];
    EXPECT_EQ(r.title, QStringLiteral("Referential Integrity Delete Error"));
    EXPECT_EQ(r.text, QStringLiteral("This record is referenced from the file CONFIG. This record "
                                     "cannot be deleted while these references exist."));
    EXPECT_EQ(r.procedure, QStringLiteral("UpDateRub"));
    EXPECT_EQ(r.code, 33);
    EXPECT_EQ(status.lastMessage, int(Msg::RestrictDelete));
    rt::clearError();
}

TEST_F(ErrorsTest, ProcedureNamesStackPerThread) {
    ErrorClass errors;
    errors.SetProcedureName(u"Browsekaldor");
    errors.SetProcedureName(u"Updatekaldor");
    EXPECT_EQ(errors.GetProcedureName(), QStringLiteral("Updatekaldor"));
    std::thread other([&] {
        EXPECT_EQ(errors.GetProcedureName(), QString());
        errors.SetProcedureName(u"PrintRs");
        EXPECT_EQ(errors.GetProcedureName(), QStringLiteral("PrintRs"));
    });
    other.join();
    errors.SetProcedureName();
    EXPECT_EQ(errors.GetProcedureName(), QStringLiteral("Browsekaldor"));
    errors.SetProcedureName();
    errors.SetProcedureName();  // more pops than pushes is harmless
    EXPECT_EQ(errors.GetProcedureName(), QString());
}

TEST_F(ErrorsTest, MessagesFillInCodesAndQuestionsReturnTheAnswer) {
    ErrorClass errors;
    rt::setError(ErrCode::NoFile, u"c:\\x.dat", u"detail");
    errors.ThrowFile(Msg::OpenFailed, u"c:\\x.dat");
    ASSERT_EQ(rec_->reports.size(), 1u);
    EXPECT_TRUE(rec_->reports[0].text.contains(QStringLiteral("c:\\x.dat")));
    EXPECT_TRUE(rec_->reports[0].text.contains(QStringLiteral("(2)")));
    EXPECT_TRUE(rec_->reports[0].text.contains(errorText(2)));
    EXPECT_EQ(ERRORFILE(), QStringLiteral("c:\\x.dat"));
    rec_->answer = false;
    EXPECT_FALSE(errors.Throw(Msg::ConfirmDelete));
    rec_->answer = true;
    EXPECT_TRUE(errors.Throw(Msg::ConfirmDelete));
    EXPECT_EQ(rec_->reports.back().severity, ErrorReport::Severity::Question);
    errors.AddError(Msg::User, ErrorReport::Severity::Notify, u"T", u"Файл %File: %Message");
    errors.SetFile(u"zametka");
    errors.ThrowMessage(Msg::User, u"проверка");
    EXPECT_EQ(rec_->reports.back().text, QStringLiteral("Файл zametka: проверка"));
    rt::clearError();
    EXPECT_EQ(ERRORCODE(), 0);
    EXPECT_EQ(ERROR(), QString());
}

TEST_F(ErrorsTest, EveryCodeHasAText) {
    for (int c : {2, 3, 5, 19, 32, 33, 35, 37, 40, 47, 52, 56, 89, 90, 92, 95, 12345}) {
        EXPECT_FALSE(errorText(c).isEmpty()) << c;
    }
}
