// alloc-desktop: the desktop host. Signs the operator in (from the command line, or the
// sign-in dialog), loads the module library and opens the allocation screen.
//
//   alloc-desktop [--server HOST] [--port N] [--operator NAME] [--password TEXT]
//                 [--branch CODE] [--package FILE]
//                 [--screenshot FILE [--budget NUMBER [--sequence SEQ]]]
//
// With no display it serves its window over Qt's VNC platform on port 5900 and says so.
#include <QApplication>
#include <QCommandLineParser>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktop/host_services.h"
#include "desktop/main_window.h"
#include "desktop/sign_in.h"
#include "desktop/start_up.h"
#include "platform/runtime/heap_tuning.h"

namespace {

// SIGINT/SIGTERM close the window without asking the screens; the screens are destroyed
// and the module finalised and unloaded as on a normal exit (the handler only sets a
// flag).
volatile std::sig_atomic_t stop_requested = 0;
extern "C" void RequestStop(int) { stop_requested = 1; }

bool HasArg(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == name) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  rt::TuneHeapForLargePackets();
  {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool has_display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    const bool has_qpa = std::getenv("QT_QPA_PLATFORM") != nullptr;
    if (auto choice = desk::ChoosePlatform(
            args, has_display, has_qpa, desk::VncPluginAvailable(),
            // runs nobody watches need no VNC server
            HasArg(argc, argv, "--screenshot") || HasArg(argc, argv, "--help") || HasArg(argc, argv, "-h"))) {
      ::setenv("QT_QPA_PLATFORM", choice->qpa.c_str(), 1);
      if (!choice->notice.empty()) std::printf("%s\n", choice->notice.c_str());
      std::fflush(stdout);
    }
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName("alloc");
  QApplication::setApplicationName("alloc-desktop");
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  QApplication::setFont(font);

  QCommandLineParser parser;
  parser.setApplicationDescription("Labour allocation: the desktop client.");
  parser.addHelpOption();
  const QCommandLineOption server(QStringLiteral("server"), "Application server host.", "host");
  const QCommandLineOption port(QStringLiteral("port"), "Application server port.", "port");
  const QCommandLineOption op(QStringLiteral("operator"), "Operator.", "name");
  const QCommandLineOption password(QStringLiteral("password"),
                                    "Password (visible in the process list; prefer the ALLOC_PASSWORD variable).",
                                    "text");
  const QCommandLineOption branch(QStringLiteral("branch"), "Branch.", "code");
  const QCommandLineOption package(QStringLiteral("package"), "Module library file.", "file");
  const QCommandLineOption screenshot(QStringLiteral("screenshot"), "Write a picture of the window and exit.", "file");
  const QCommandLineOption budget(QStringLiteral("budget"), "With --screenshot: the budget to load.", "number");
  const QCommandLineOption sequence(QStringLiteral("sequence"), "With --budget: the budget's sequence.", "seq");
  parser.addOptions({server, port, op, password, branch, package, screenshot, budget, sequence});
  parser.process(app);

  desk::TSignIn sign_in = desk::LoadRememberedSignIn();
  if (parser.isSet(server)) sign_in.server = parser.value(server);
  if (parser.isSet(port)) sign_in.port = parser.value(port).toInt();
  if (parser.isSet(op)) sign_in.operator_name = parser.value(op);
  // The password also comes from the environment (ALLOC_PASSWORD), which, unlike the
  // command line, other users cannot read in the process list; it is cleared at once
  // so that nothing started from here inherits it.
  const bool password_given = parser.isSet(password) || qEnvironmentVariableIsSet("ALLOC_PASSWORD");
  if (qEnvironmentVariableIsSet("ALLOC_PASSWORD")) sign_in.password = qEnvironmentVariable("ALLOC_PASSWORD");
  qunsetenv("ALLOC_PASSWORD");
  if (parser.isSet(password)) sign_in.password = parser.value(password);
  if (parser.isSet(branch)) sign_in.branch = parser.value(branch);

  // Given everything on the command line, sign in without asking; else ask.
  bool signed_in = false;
  if (parser.isSet(op) && password_given && parser.isSet(branch)) {
    const std::string problem = desk::CheckSignIn(sign_in);
    if (problem.empty()) {
      signed_in = true;
    } else {
      std::fprintf(stderr, "alloc-desktop: sign-in refused: %s\n", problem.c_str());
      if (parser.isSet(screenshot)) return 1;
    }
  }
  if (!signed_in) {
    desk::TSignInDialog dialog(sign_in);
    if (dialog.exec() != QDialog::Accepted) return 0;
    sign_in = dialog.Values();
  }
  desk::ApplySignIn(sign_in);

  auto* window = new desk::TMainWindow;
  try {
    window->LoadPackage(parser.isSet(package) ? parser.value(package).toStdString() : desk::DefaultPackagePath());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "alloc-desktop: %s\n", e.what());
    delete window;
    return 1;
  }
  window->show();
  window->CallExport("IniProc");
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  QTimer stop_watch;
  QObject::connect(&stop_watch, &QTimer::timeout, window, [window] {
    if (stop_requested) window->ForceClose();
  });
  stop_watch.start(200);

  int code = 0;
  if (parser.isSet(screenshot)) {
    // Nobody is there to answer: a dialog is told on stderr and dismissed.
    window->Services().Dialogs().OnDialogShown = [](QDialog& dialog) {
      if (auto* box = qobject_cast<QMessageBox*>(&dialog))
        std::fprintf(stderr, "dialog: %s\n", qPrintable(box->text()));
      QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
    };
    const QString file = parser.value(screenshot);
    QTimer::singleShot(0, window, [&] {
      if (parser.isSet(budget) &&
          !desk::OpenBudget(*window, parser.value(budget).toStdString(), parser.value(sequence).toStdString()))
        std::fprintf(stderr, "alloc-desktop: the budget did not load\n");
      QApplication::processEvents();
      if (!window->grab().save(file)) {
        std::fprintf(stderr, "alloc-desktop: cannot write %s\n", qPrintable(file));
        code = 1;
      }
      window->close();
    });
  }
  const int loop = app.exec();
  delete window;
  return code ? code : loop;
}
