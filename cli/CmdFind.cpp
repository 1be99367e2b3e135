#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

// The incremental search below a key, every match on a line of its own: the key's
// path, and for a value match a tab and the value's name.
int RunFind(const TCliContext& Context, const TFindOptions& Find) {
  TCliRun run(Context, true, false);
  regfile::TExRegistry reg(registry::store::KEY_READ);
  if (!OpenKeyLine(reg, FromUtf8(Find.Key), run.View()))
    return kExitFailed;
  regfile::TSearchParams params;
  if (Find.Keys)
    params.Include(regfile::TSearchParam::rsKeys);
  if (Find.Values)
    params.Include(regfile::TSearchParam::rsValues);
  if (!Find.Keys && !Find.Values) {
    params.Include(regfile::TSearchParam::rsKeys);
    params.Include(regfile::TSearchParam::rsValues);
  }
  std::u16string path;
  std::u16string value;
  for (bool more = reg.FindFirst(FromUtf8(Find.Text), params, Find.Whole, path, value); more;
       more = reg.FindNext(path, value)) {
    Context.Out << ToUtf8(path);
    if (!value.empty())
      Context.Out << '\t' << ToUtf8(value);
    Context.Out << '\n';
  }
  return run.Finish() ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
