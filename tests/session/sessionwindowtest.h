// The session window's test fixture: a window over a recording site
// manager, dialogs answered OK and their texts kept, and what a test needs
// to wait for the window and read what it sent.
#pragma once

#include "platform/dialogs.h"
#include "session/ftpform.h"
#include "tests/support/serverprocess.h"
#include "tests/support/sessionsupport.h"
#include "tests/support/temphome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace plover::test {

class SessionWindowTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        Dialogs::ClearHistory();
        Dialogs::SetResponder([this](const DialogRequest& r) {
            Messages.push_back(r.text.toStdString());
            return int(mrOk);
        });
        form = new TFTPForm(sites);
        form->SiteName = "Test Site";
        form->show();
    }
    void TearDown() override
    {
        delete form.data();
        server.reset();
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    // Until the last data connection has closed: its end may come after
    // the command that opened it returned.
    void settle()
    {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 500 && t.elapsed() < 5000; ++i) {
            if (!form->Session().Busy() && form->cursor().shape() != Qt::WaitCursor)
                break;
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
    bool sent(const std::string& command) const
    {
        return std::find(Sent.begin(), Sent.end(), command) != Sent.end();
    }

    RecordingSiteManager sites;
    QPointer<TFTPForm> form;
    std::unique_ptr<FtpServer> server;
    std::string ServeRoot;
    std::vector<std::string> Messages;
    std::vector<std::string> Sent;
};

} // namespace plover::test
