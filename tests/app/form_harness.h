#pragma once

#include "app/desktop_opener.h"
#include "app/dl_form.h"
#include "support/temp_folder.h"

#include <QComboBox>
#include <QDate>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace kabuka::test {

// Records what the window asks the desktop to open instead of opening it.
class RecordingOpener final : public DesktopOpener {
public:
  void open(const QUrl& target) override { opened.append(target); }
  QList<QUrl> opened;
};

// A window in a fresh program folder whose clock shows a chosen day. Settings can
// be written before start-up runs.
class FormHarness {
public:
  explicit FormHarness(QDate today = QDate(2016, 3, 15));

  void writeSettings(const QStringList& lines);  // settei.txt, UTF-8, CR LF
  void setBuiltInBaseUrl(const QString& url) { m_environment.builtInBaseUrl = url; }
  void setHomePageOverride(const QString& url) { m_environment.homePageOverride = url; }
  void setToday(QDate today) { *m_today = today; }

  // Creates the window (once) and returns it, before start-up has run.
  dl_form& form();
  // Creates the window and runs start-up.
  dl_form& load();

  QString programFolder() const { return m_program.path(); }
  RecordingOpener opener;

private:
  TempFolder m_program;
  std::shared_ptr<QDate> m_today;
  FormEnvironment m_environment;
  std::unique_ptr<dl_form> m_form;
};

// The control of that name, or a fatal test error when the window has none.
template <typename T>
T* control(QWidget& form, const QString& name) {
  T* found = form.findChild<T*>(name);
  if (found == nullptr) {
    qFatal("no control named %s of the expected kind", qPrintable(name));
  }
  return found;
}

QStringList entries(const QComboBox* list);

// Qt's coordinates are pixels, the layout's are twips at 15 to the pixel.
double twipsAsPixels(int twips);

}  // namespace kabuka::test
