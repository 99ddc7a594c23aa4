#pragma once

#include <QString>

#include <functional>
#include <string_view>
#include <vector>

namespace kabuka::check {

// Reads a whole file into a buffer that is reused from file to file, and tells
// whether the file stayed the same while it was read: a collection may replace or
// extend a day file at any moment, and half a file is not a damaged one.
class StableFileReader {
public:
  enum class Outcome {
    Read,
    Changed,     // replaced, grown or removed while it was read
    Failed,      // could not be opened or read: problem() says why
    NotRegular,  // a pipe, socket, device or folder: never opened
    Dangling,    // a symbolic link to nothing: there is no file
  };

  // Only a regular file is opened (a symbolic link is followed), and without
  // blocking, so a pipe named like a day file cannot hang the reader.
  // `beforeRead` runs between taking the file's size and reading it.
  Outcome read(const QString& path, const std::function<void(const QString&)>& beforeRead);

  // The bytes of the last file read; valid until the next read.
  std::string_view bytes() const { return {m_buffer.data(), m_size}; }
  // Why the last read failed.
  const QString& problem() const { return m_problem; }

private:
  std::vector<char> m_buffer;
  size_t m_size = 0;
  QString m_problem;
};

}  // namespace kabuka::check
