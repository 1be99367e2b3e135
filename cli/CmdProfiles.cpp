#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

// One line per profile of the tree, in list order, the default one marked.
int RunProfiles(const TCliContext& Context) {
  TCliRun run(Context, true);
  for (const auto& item : run.View().Items())
    Context.Out << ToUtf8(item) << '\n';
  const bool found = !run.View().Items().empty();
  return run.Finish() && found ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
