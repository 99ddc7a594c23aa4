#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace kabuka::test {

// A fresh folder per test, removed afterwards, with helpers for the file checks
// the tests make.
class TempFolder {
public:
  TempFolder();
  QString path() const { return m_dir.path(); }
  QString file(const QString& relative) const { return m_dir.filePath(relative); }

private:
  QTemporaryDir m_dir;
};

QByteArray readBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);  // creates parent folders

}  // namespace kabuka::test
