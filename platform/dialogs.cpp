#include "platform/dialogs.h"

#include "platform/guard.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace plover {

namespace {

struct State {
    Dialogs::Responder responder;
    std::vector<DialogRequest> history;
};

State& state()
{
    static State s;
    return s;
}

QString appTitle()
{
    QString title = QApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("Plover") : title;
}

int answer(DialogRequest request, const std::function<int()>& real)
{
    state().history.push_back(request);
    if (state().responder)
        return state().responder(request);
    NestedLoopScope scope;
    return real();
}

// Installed when the program starts, not on first use: the first exception
// a guarded handler meets may come before any dialog has been opened. Every
// program that links this file shows escaped exceptions in a message box.
[[maybe_unused]] const bool exceptionReporterInstalled = [] {
    SetExceptionReporter([](const QString& text) { Dialogs::MessageDlg(text, mtError, mbOK); });
    return true;
}();

} // namespace

void Dialogs::ShowMessage(const QString& text)
{
    answer({DialogRequest::Message, text, mbOK, nullptr}, [&] {
        QMessageBox::information(QApplication::activeWindow(), appTitle(), text);
        return static_cast<int>(mrOk);
    });
}

int Dialogs::MessageDlg(const QString& text, TMsgDlgType type, int buttons)
{
    DialogRequest::Kind kind = type == mtConfirmation ? DialogRequest::Confirmation : DialogRequest::Message;
    return answer({kind, text, buttons, nullptr}, [&] {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(appTitle());
        box.setText(text);
        switch (type) {
        case mtWarning: box.setIcon(QMessageBox::Warning); break;
        case mtError: box.setIcon(QMessageBox::Critical); break;
        case mtInformation: box.setIcon(QMessageBox::Information); break;
        case mtConfirmation: box.setIcon(QMessageBox::Question); break;
        }
        QMessageBox::StandardButtons qb;
        if (buttons & mbYes) qb |= QMessageBox::Yes;
        if (buttons & mbNo) qb |= QMessageBox::No;
        if (buttons & mbOK) qb |= QMessageBox::Ok;
        if (buttons & mbCancel) qb |= QMessageBox::Cancel;
        box.setStandardButtons(qb);
        switch (box.exec()) {
        case QMessageBox::Yes: return static_cast<int>(mrYes);
        case QMessageBox::No: return static_cast<int>(mrNo);
        case QMessageBox::Ok: return static_cast<int>(mrOk);
        default: return static_cast<int>(mrCancel);
        }
    });
}

int Dialogs::ShowModal(QDialog& dialog)
{
    return answer({DialogRequest::Modal, dialog.windowTitle(), 0, &dialog}, [&] {
        return dialog.exec() == QDialog::Accepted ? static_cast<int>(mrOk) : static_cast<int>(mrCancel);
    });
}

void Dialogs::SetResponder(Responder responder) { state().responder = std::move(responder); }
const std::vector<DialogRequest>& Dialogs::History() { return state().history; }
void Dialogs::ClearHistory() { state().history.clear(); }

} // namespace plover
