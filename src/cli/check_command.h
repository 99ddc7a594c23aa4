#pragma once

#include "cli/cli_context.h"
#include "common/exit_status.h"

#include <QStringList>

namespace kabuka::cli {

// The check with its words (targets and its own options) as they stand after
// "check"; the report goes to context.writeOutput. For tests, which run it
// without the rest of the program.
ExitStatus runCheck(CliContext& context, const QStringList& words);

}  // namespace kabuka::cli
