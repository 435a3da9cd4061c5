#include "desktop/sign_in.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <algorithm>

#include "desktop/host_texts.h"
#include "platform/clientlib/net/net_connection.h"
#include "platform/clientlib/session.h"

namespace desk {

std::string CheckSignIn(const TSignIn& s) {
  if (s.operator_name.trimmed().isEmpty()) return HostText(THostText::kSignInNoOperator).toStdString();
  if (s.branch.trimmed().isEmpty()) return HostText(THostText::kSignInNoBranch).toStdString();
  clib::TNetConnection connection;
  connection.SetHost(s.server.toStdString());
  connection.SetPort(s.port);
  connection.SetCredentials(s.operator_name.toStdString(), s.password.toStdString());
  connection.SetTimeouts(5, 15);
  connection.Open();
  if (!connection.Connected()) return connection.LastError();
  const auto branches = connection.Branches();
  const std::string branch = s.branch.trimmed().toStdString();
  if (std::find(branches.begin(), branches.end(), branch) == branches.end())
    return HostText(THostText::kSignInBranchRefused).arg(QString::fromStdString(branch)).toStdString();
  return "";
}

void ApplySignIn(const TSignIn& s) {
  clib::TSession& session = clib::Session();
  session.host = s.server.trimmed().toStdString();
  session.port = s.port;
  session.operator_name = s.operator_name.trimmed().toStdString();
  session.password = s.password.toStdString();
  session.branch = s.branch.trimmed().toStdString();
}

TSignIn LoadRememberedSignIn() {
  QSettings settings;
  TSignIn s;
  s.server = settings.value("signin/server", s.server).toString();
  s.port = settings.value("signin/port", s.port).toInt();
  s.operator_name = settings.value("signin/operator").toString();
  s.branch = settings.value("signin/branch").toString();
  return s;
}

void RememberSignIn(const TSignIn& s) {
  QSettings settings;
  settings.setValue("signin/server", s.server);
  settings.setValue("signin/port", s.port);
  settings.setValue("signin/operator", s.operator_name);
  settings.setValue("signin/branch", s.branch);
}

TSignInDialog::TSignInDialog(const TSignIn& initial, QWidget* parent)
    : QDialog(parent),
      server_(new QLineEdit(initial.server, this)),
      port_(new QSpinBox(this)),
      operator_(new QLineEdit(initial.operator_name, this)),
      password_(new QLineEdit(this)),
      branch_(new QLineEdit(initial.branch, this)),
      problem_(new QLabel(this)) {
  setWindowTitle(HostText(THostText::kSignInTitle));
  port_->setRange(1, 65535);
  port_->setValue(initial.port);
  password_->setEchoMode(QLineEdit::Password);
  branch_->setMaxLength(4);
  server_->setObjectName("server");
  port_->setObjectName("port");
  operator_->setObjectName("operator");
  password_->setObjectName("password");
  branch_->setObjectName("branch");
  problem_->setObjectName("problem");
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #b00020");
  problem_->hide();
  auto* form = new QFormLayout(this);
  form->addRow(HostText(THostText::kSignInServer), server_);
  form->addRow(HostText(THostText::kSignInPort), port_);
  form->addRow(HostText(THostText::kSignInOperator), operator_);
  form->addRow(HostText(THostText::kSignInPassword), password_);
  form->addRow(HostText(THostText::kSignInBranch), branch_);
  form->addRow(problem_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(HostText(THostText::kButtonOk));
  buttons->button(QDialogButtonBox::Cancel)->setText(HostText(THostText::kButtonCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &TSignInDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TSignInDialog::reject);
  form->addRow(buttons);
  (initial.operator_name.isEmpty() ? operator_ : password_)->setFocus();
}

TSignIn TSignInDialog::Values() const {
  return {server_->text().trimmed(), port_->value(), operator_->text().trimmed(), password_->text(),
          branch_->text().trimmed()};
}

void TSignInDialog::ShowProblem(const QString& text) {
  problem_->setText(text);
  problem_->setVisible(!text.isEmpty());
}

void TSignInDialog::accept() {
  const TSignIn values = Values();
  const std::string problem = CheckSignIn(values);
  if (!problem.empty()) {
    ShowProblem(QString::fromStdString(problem));
    return;
  }
  RememberSignIn(values);
  QDialog::accept();
}

}  // namespace desk
