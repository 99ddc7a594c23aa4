#include "option_table.h"

#include <algorithm>

namespace kabuka::cli {

namespace {

constexpr int kHelpColumn = 26;

const OptionSpec* findLong(std::initializer_list<std::span<const OptionSpec>> tables,
                           const QString& name) {
  for (const auto& table : tables) {
    for (const OptionSpec& option : table) {
      if (name == QLatin1String(option.longName)) {
        return &option;
      }
    }
  }
  return nullptr;
}

const OptionSpec* findShort(std::initializer_list<std::span<const OptionSpec>> tables, QChar name) {
  for (const auto& table : tables) {
    for (const OptionSpec& option : table) {
      if (option.shortName != 0 && name == QLatin1Char(option.shortName)) {
        return &option;
      }
    }
  }
  return nullptr;
}

QString unknownOption(const QString& written) {
  return QStringLiteral("「%1」というオプションはありません。").arg(written);
}

QString missingValue(const OptionSpec& option) {
  return QStringLiteral("%1 には %2 を指定してください。")
      .arg(optionNames(option), QLatin1String(option.valueName));
}

// Reads the word at `i` and, for an option that takes one, its value; moves `i`
// past what it read. Returns the error, or empty.
class Reader {
public:
  Reader(const QStringList& arguments, std::initializer_list<std::span<const OptionSpec>> tables,
         ParsedOptions& parsed)
      : m_arguments(arguments), m_tables(tables), m_parsed(parsed) {}

  QString readAll() {
    bool optionsEnded = false;
    for (qsizetype i = 0; i < m_arguments.size(); ++i) {
      const QString& word = m_arguments[i];
      if (optionsEnded || word == QLatin1String("-") || !word.startsWith(QLatin1Char('-'))) {
        m_parsed.addPositional(word);
      } else if (word == QLatin1String("--")) {
        optionsEnded = true;
      } else if (const QString error =
                     word.startsWith(QLatin1String("--")) ? readLong(i) : readShorts(i);
                 !error.isEmpty()) {
        return error;
      }
    }
    return {};
  }

private:
  QString readLong(qsizetype& i) {
    const QString word = m_arguments[i];
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
    const OptionSpec* option = findLong(m_tables, name);
    if (option == nullptr) {
      return unknownOption(QStringLiteral("--") + name);
    }
    if (option->valueName == nullptr) {
      return equals < 0 ? (m_parsed.set(option->longName, {}), QString())
                        : QStringLiteral("%1 は値をとりません。").arg(optionNames(*option));
    }
    if (equals >= 0) {
      m_parsed.set(option->longName, word.mid(equals + 1));
      return {};
    }
    return takeValue(*option, i);
  }

  QString readShorts(qsizetype& i) {
    const QString word = m_arguments[i];
    for (qsizetype at = 1; at < word.size(); ++at) {
      const OptionSpec* option = findShort(m_tables, word[at]);
      if (option == nullptr) {
        return unknownOption(QStringLiteral("-") + word[at]);
      }
      if (option->valueName == nullptr) {
        m_parsed.set(option->longName, {});
      } else if (at + 1 < word.size()) {
        m_parsed.set(option->longName, word.mid(at + 1));  // "-r3"
        return {};
      } else {
        return takeValue(*option, i);
      }
    }
    return {};
  }

  QString takeValue(const OptionSpec& option, qsizetype& i) {
    if (i + 1 >= m_arguments.size()) {
      return missingValue(option);
    }
    m_parsed.set(option.longName, m_arguments[++i]);
    return {};
  }

  const QStringList& m_arguments;
  std::initializer_list<std::span<const OptionSpec>> m_tables;
  ParsedOptions& m_parsed;
};

}  // namespace

bool ParsedOptions::isSet(const char* longName) const {
  return std::any_of(m_options.begin(), m_options.end(), [longName](const auto& option) {
    return option.first == QLatin1String(longName);
  });
}

QString ParsedOptions::value(const char* longName) const {
  for (auto it = m_options.crbegin(); it != m_options.crend(); ++it) {
    if (it->first == QLatin1String(longName)) {
      return it->second;
    }
  }
  return {};
}

void ParsedOptions::set(const char* longName, const QString& value) {
  m_options.append({QLatin1String(longName), value});
}

OptionParse parseOptions(const QStringList& arguments,
                         std::initializer_list<std::span<const OptionSpec>> tables) {
  OptionParse parse;
  parse.error = Reader(arguments, tables, parse.options).readAll();
  return parse;
}

QString optionNames(const OptionSpec& option) {
  const QString longName = QStringLiteral("--") + QLatin1String(option.longName);
  return option.shortName != 0
             ? QStringLiteral("-%1, %2").arg(QLatin1Char(option.shortName)).arg(longName)
             : longName;
}

QString optionHelp(std::span<const OptionSpec> options) {
  const QString indent(kHelpColumn, QLatin1Char(' '));
  QString text;
  for (const OptionSpec& option : options) {
    if (option.hidden) {
      continue;
    }
    QString head = QStringLiteral("  ") +
                   (option.shortName != 0 ? QString() : QStringLiteral("    ")) +
                   optionNames(option);
    if (option.valueName != nullptr) {
      head += QStringLiteral(" <%1>").arg(QLatin1String(option.valueName));
    }
    const QStringList lines = QString::fromUtf16(option.help).split(QLatin1Char('\n'));
    text += head.size() < kHelpColumn ? head.leftJustified(kHelpColumn)
                                      : head + QLatin1Char('\n') + indent;
    text += lines.join(QLatin1Char('\n') + indent) + QLatin1Char('\n');
  }
  return text;
}

}  // namespace kabuka::cli
