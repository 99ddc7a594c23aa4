#pragma once

#include "owned_process.h"

#include <QString>
#include <QStringList>

namespace kabuka::e2e {

// kabuka_sample_server as a process of the test, logging every request it answers.
class SampleServerProcess {
public:
  SampleServerProcess(const QString& program, const QStringList& arguments, const QString& logPath);

  bool running() const { return !m_base.isEmpty(); }
  QString error() const { return m_error; }
  QString base() const { return m_base; }  // for 日毎株価取得サイト
  // The paths of the requests answered so far, oldest first.
  QStringList requests() const;
  QString log() const;

private:
  QString readLine(const char* prefix);

  OwnedProcess m_server;
  QString m_logPath;
  QString m_base;
  QString m_error;
};

}  // namespace kabuka::e2e
