// The one way the program opens message boxes, confirmations and modal
// dialogs. Tests install a responder that answers them without a person;
// every request is also recorded so a test can read what was shown.
#pragma once

#include "platform/messages.h"

#include <QString>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace plover {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum TMsgDlgButton { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct DialogRequest {
    enum Kind { Message, Confirmation, Modal } kind;
    QString text;          // message text, or the dialog's caption
    int buttons = mbOK;    // TMsgDlgButton bits
    QDialog* dialog = nullptr;  // for Modal: the dialog to answer (tests may fill its fields)
};

class Dialogs final {
public:
    using Responder = std::function<int(const DialogRequest&)>;

    // A plain message box with an OK button.
    static void ShowMessage(const QString& text);
    // A message box with the given buttons; returns the TModalResult pressed.
    static int MessageDlg(const QString& text, TMsgDlgType type, int buttons);
    // Runs the dialog modally; returns its result (mrOk / mrCancel ...).
    static int ShowModal(QDialog& dialog);

    // Tests: answer every request through the responder instead of a person.
    // An empty responder restores real dialogs.
    static void SetResponder(Responder responder);
    static const std::vector<DialogRequest>& History();
    static void ClearHistory();

    // Depth of modal loops open now (0 outside any).
    static int NestedDepth() { return NestedLoopDepth(); }

    // Real dialogs run inside one; a test responder that runs a loop of its
    // own opens one too, so that socket notifications keep being dispatched
    // while a dialog is open inside a wait (see platform/messages.h).
    using NestedLoopScope = plover::NestedLoopScope;
};

} // namespace plover
