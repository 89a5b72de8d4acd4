// tamro-batch: the folder listing, thumbnail and output engines of Tamro from the command
// line. `tamro-batch --help` lists the subcommands and options.
#include <unistd.h>

#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "catalogue/macros.h"
#include "platform/ui.h"
#include "tools/tamro-batch/batchargs.h"
#include "tools/tamro-batch/commands.h"
#include "tools/tamro-batch/session.h"
#include "tools/tamro-batch/terminalui.h"

using namespace tamro;
using namespace tamro::batch;

namespace {

std::optional<int> ConflictAction(const std::string &name) {
  if (name == "newer") return 0;
  if (name == "overwrite") return 1;
  if (name == "skip") return 2;
  if (name == "number") return 4;
  if (name == "larger") return 5;
  return std::nullopt;
}

// Qt's note about a missing runtime folder says nothing to the user of a batch run.
void FilterQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char **argv) {
  Args args;
  std::string error;
  if (!ParseArgs(argc, argv, args, error)) return UsageError(error);
  if (args.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }

  TerminalUiOptions options;
  options.quiet = args.Has("quiet");
  options.yes = args.Has("yes");
  if (auto conflict = args.Value("on-conflict")) {
    options.sameNameAction = ConflictAction(*conflict);
    if (!options.sameNameAction)
      return UsageError("--on-conflict は skip|overwrite|number|newer|larger です: " + *conflict);
  }
  options.interactive = ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO);
  options.progressBar = ::isatty(STDERR_FILENO);

  // Fonts and painters need a GUI application; without a display it draws off screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(&FilterQtMessages);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  // Qt takes the user's locale for the C library too; numbers in settings, layouts and on
  // the command line are written with a decimal point whatever the language.
  std::setlocale(LC_NUMERIC, "C");
  QGuiApplication::setApplicationName(QStringLiteral("Tamro"));

  TerminalUi ui(options);
  ScopedUi scoped(ui);
  TerminalUi::InstallInterruptHandler();

  Session session(args);
  if (!session.Init(error)) return UsageError(error);
  TerminalUi::RemoveOnSecondInterrupt(session.ScratchFolder());

  int status = kExitOk;
  const std::string &c = args.command;
  if (c == "thumbs")
    status = RunThumbs(session);
  else if (c == "html")
    status = RunHtml(session);
  else if (c == "sheet")
    status = RunSheet(session);
  else if (c == "convert")
    status = RunConvert(session);
  else if (c == "rename")
    status = RunRename(session);
  else if (c == "report")
    status = RunReport(session);
  else if (c == "print")
    status = RunPrint(session);
  else if (c == "unpack")
    status = RunUnpack(session);

  if (status == kExitOk && (ui.Unanswered() > 0 || ui.Failures() > 0)) status = kExitFailed;
  return status;
}
