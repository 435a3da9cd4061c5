// The sign-in: server address and port, operator, password and branch. Everything but
// the password is remembered between runs (QSettings). The sign-in checks the operator
// against the application server (Auth.Login) and the branch against the operator's
// branches before the session is filled.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QLineEdit;
class QSpinBox;
class QLabel;

namespace desk {

struct TSignIn {
  QString server = "127.0.0.1";
  int port = 8211;
  QString operator_name;
  QString password;
  QString branch;
};

// Asks the server: empty when the operator may work on the branch, else the reason.
std::string CheckSignIn(const TSignIn& sign_in);
// Fills the process's session (FiliProc, Operador, WebURL, WebPort) from the sign-in.
void ApplySignIn(const TSignIn& sign_in);
// What was remembered last time (never the password).
TSignIn LoadRememberedSignIn();
void RememberSignIn(const TSignIn& sign_in);

class TSignInDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TSignInDialog(const TSignIn& initial, QWidget* parent = nullptr);
  TSignIn Values() const;
  // Shows a refusal under the fields (the dialog stays open).
  void ShowProblem(const QString& text);

  void accept() override;

 private:
  QLineEdit* server_;
  QSpinBox* port_;
  QLineEdit* operator_;
  QLineEdit* password_;
  QLineEdit* branch_;
  QLabel* problem_;
};

}  // namespace desk
