#include "form_harness.h"

#include <cstdio>

namespace kabuka::test {

namespace {

// The offscreen platform warns about every fixed-size window it is given and
// every list it opens; that says nothing about the window, so it is kept out of
// the test logs.
QtMessageHandler g_nextHandler = nullptr;

bool isPlatformNotice(const QString& text) {
  for (const char* unsupported : {"propagateSizeHints", "raise()", "grabbing the keyboard"}) {
    if (text.contains(QLatin1String("does not support ") + QLatin1String(unsupported))) {
      return true;
    }
  }
  return false;
}

void dropPlatformNotices(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (isPlatformNotice(text)) {
    return;
  }
  if (g_nextHandler != nullptr) {
    g_nextHandler(type, context, text);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

void installNoticeFilter() {
  static const bool installed = [] {
    g_nextHandler = qInstallMessageHandler(dropPlatformNotices);
    return true;
  }();
  Q_UNUSED(installed);
}

}  // namespace

FormHarness::FormHarness(QDate today) : m_today(std::make_shared<QDate>(today)) {
  installNoticeFilter();
  m_environment.programFolder = m_program.path();
  m_environment.today = [day = m_today] { return *day; };
  // No test may reach out of the machine, not even by accident.
  m_environment.builtInBaseUrl = QStringLiteral("http://127.0.0.1:9/kabu/kabu2/kabuka_db/");
  m_environment.homePageOverride.clear();
}

void FormHarness::writeSettings(const QStringList& lines) {
  const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
  writeBytes(m_program.file(QStringLiteral("settei.txt")), text.toUtf8());
}

dl_form& FormHarness::form() {
  if (!m_form) {
    m_form = std::make_unique<dl_form>(m_environment, opener);
  }
  return *m_form;
}

dl_form& FormHarness::load() {
  form().Form_Load();
  return *m_form;
}

QStringList entries(const QComboBox* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) {
    texts.append(list->itemText(i));
  }
  return texts;
}

double twipsAsPixels(int twips) {
  return twips / 15.0;
}

}  // namespace kabuka::test
