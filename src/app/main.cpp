#include "app/desktop_opener.h"
#include "app/dl_form.h"
#include "app/fonts.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kabuka-collector"));

  // "使い方" opens readme.txt from the working folder; the program folder is where
  // it lies, however the program was started.
  const QString programFolder = QCoreApplication::applicationDirPath();
  QDir::setCurrent(programFolder);

  kabuka::installGothicSubstitute();
  kabuka::ShellOpener opener;
  kabuka::FormEnvironment environment;
  environment.programFolder = programFolder;
  kabuka::dl_form form(environment, opener);
  form.Form_Load();
  // Closed before the event loop ran: nothing is left to wait for.
  if (form.closing()) {
    return 0;
  }
  return QApplication::exec();
}
