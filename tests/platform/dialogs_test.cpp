#include "platform/dialogs.h"
#include "platform/exception.h"
#include "platform/guard.h"

#include <QDialog>
#include <gtest/gtest.h>

using namespace plover;

namespace {

struct DialogsFixture : ::testing::Test {
    void SetUp() override { Dialogs::ClearHistory(); }
    void TearDown() override { Dialogs::SetResponder({}); Dialogs::ClearHistory(); }
};

TEST_F(DialogsFixture, ResponderAnswersAndHistoryRecords)
{
    Dialogs::SetResponder([](const DialogRequest& r) { return r.kind == DialogRequest::Confirmation ? mrNo : mrOk; });
    EXPECT_EQ(Dialogs::MessageDlg("Delete x?", mtConfirmation, mbYes | mbNo), mrNo);
    QDialog d;
    d.setWindowTitle("Create directory");
    EXPECT_EQ(Dialogs::ShowModal(d), mrOk);
    ASSERT_EQ(Dialogs::History().size(), 2u);
    EXPECT_EQ(Dialogs::History()[0].text, "Delete x?");
    EXPECT_EQ(Dialogs::History()[0].buttons, mbYes | mbNo);
    EXPECT_EQ(Dialogs::History()[1].dialog, &d);
}

TEST_F(DialogsFixture, GuardShowsAnEscapedExceptionAndReportsFailure)
{
    Dialogs::SetResponder([](const DialogRequest&) { return mrOk; });
    EXPECT_TRUE(Guard([] {}));
    EXPECT_FALSE(Guard([] { throw EInOutError(EInOutError::DiskFull); }));
    EXPECT_FALSE(Guard([] { throw std::runtime_error("plain"); }));
    ASSERT_EQ(Dialogs::History().size(), 2u);
    EXPECT_EQ(Dialogs::History()[0].text, "Disk full");
    EXPECT_EQ(Dialogs::History()[1].text, "plain");
}

TEST(InOutError, TextsOfTheRunTimeLibrary)
{
    EXPECT_EQ(EInOutError::FromErrno(EACCES).Message(), "File access denied");
    EXPECT_EQ(EInOutError::FromErrno(ENOSPC).Message(), "Disk full");
    EXPECT_EQ(EInOutError(EInOutError::ReadBeyondEnd).Message(), "Read beyond end of file");
    EXPECT_EQ(EInOutError::FromErrno(EFBIG).Message(), "I/O error 27");
}

} // namespace
