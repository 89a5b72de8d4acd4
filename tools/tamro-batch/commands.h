#pragma once

#include "tools/tamro-batch/batchargs.h"

namespace tamro::batch {

class Session;

// Each subcommand answers an exit status; items that failed are counted in the session.
int RunThumbs(Session &session);
int RunHtml(Session &session);
int RunSheet(Session &session);
int RunConvert(Session &session);
int RunRename(Session &session);
int RunReport(Session &session);
int RunPrint(Session &session);
int RunUnpack(Session &session);

// Reports a usage error on standard error and answers kExitUsage.
int UsageError(const std::string &why);

}  // namespace tamro::batch
