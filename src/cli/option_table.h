#pragma once

#include <QString>
#include <QStringList>

#include <span>

namespace kabuka::cli {

// One option of a command or of the program: its names, whether it takes a
// value, and its text in the help. The table that parses a command's options
// also writes its help, so the two cannot drift apart.
struct OptionSpec {
  const char* longName;             // "retries": --retries
  char shortName = 0;               // 'q': -q; 0 for none
  const char* valueName = nullptr;  // "N": takes a value; null: a switch
  const char16_t* help = u"";       // Japanese; "\n" starts a further line
  bool hidden = false;              // for tests and rehearsals; not in the help
};

// What a command line held: the options by their long name, and the other words.
class ParsedOptions {
public:
  bool isSet(const char* longName) const;
  // The value given last, or empty.
  QString value(const char* longName) const;
  const QStringList& positional() const { return m_positional; }
  void set(const char* longName, const QString& value);
  void addPositional(const QString& word) { m_positional.append(word); }

private:
  QList<std::pair<QString, QString>> m_options;
  QStringList m_positional;
};

struct OptionParse {
  ParsedOptions options;
  QString error;  // Japanese; empty when the line was read
  bool ok() const { return error.isEmpty(); }
};

// Reads `arguments` (the program's name not among them) against the tables:
// options may stand anywhere, as "--name value", "--name=value", "-x value" or
// "-x"; short switches may be joined ("-qv"); "--" ends the options. An unknown
// option, a missing value or a value given to a switch is an error.
OptionParse parseOptions(const QStringList& arguments,
                         std::initializer_list<std::span<const OptionSpec>> tables);

// The help lines of a table's options, the names in a column of their own.
QString optionHelp(std::span<const OptionSpec> options);

// "--retries" or "-q, --quiet": how the help names an option.
QString optionNames(const OptionSpec& option);

}  // namespace kabuka::cli
