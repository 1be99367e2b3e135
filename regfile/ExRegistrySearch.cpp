// The incremental search for key and value names. Its position between calls is a
// stack of nodes, one per key level, each remembering how far it got in its values
// and subkeys; each node reads its names only when the search reaches it.

#include <memory>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// Only a to z are upper-cased: the search tells other letters apart by case.
void UpperCaseNames(registry::TStringList& names) {
  registry::TStringList upper;
  for (const std::u16string& name : names.Items())
    upper.Add(platform::AsciiUpperCase(name));
  names = std::move(upper);
}

// The path of the node at `index` of the stack: "\\" before every key name, "\\"
// alone for the root.
std::u16string PathOf(const std::vector<std::unique_ptr<TSearchNode>>& stack, std::size_t index) {
  std::u16string path;
  for (std::size_t i = 0; i <= index; ++i) {
    if (!stack[i]->fName.empty())
      path += u"\\" + stack[i]->fName;
  }
  return path.empty() ? u"\\" : path;
}

std::u16string ChildPath(const std::u16string& path, const std::u16string& name) {
  return path == u"\\" ? u"\\" + name : path + u"\\" + name;
}

}  // namespace

void TSearchNode::LoadKeyNames(const std::u16string& path) {
  if (fKeyNames)
    return;
  fKeyNames = std::make_unique<registry::TStringList>();
  // Full access, as a key the search may report is one the user may change: a key
  // that opens for reading only is searched as if it were empty.
  TExRegistry reg;
  if (fStore != nullptr)
    reg.UseStore(*fStore);
  reg.UseRoot(fRegRoot);
  if (reg.Open(path, false))
    reg.GetSubKeyNames(*fKeyNames);
  UpperCaseNames(*fKeyNames);
}

void TSearchNode::LoadValueNames(const std::u16string& path) {
  if (fValueNames)
    return;
  fValueNames = std::make_unique<registry::TStringList>();
  TExRegistry reg;
  if (fStore != nullptr)
    reg.UseStore(*fStore);
  reg.UseRoot(fRegRoot);
  if (reg.Open(path, false))
    reg.GetValueNames(*fValueNames);
  UpperCaseNames(*fValueNames);
}

bool TExRegistry::FindFirst(std::u16string_view data, TSearchParams params, bool MatchWholeString,
                            std::u16string& retPath, std::u16string& retValue) {
  fSearchStack.clear();
  RegistryStore* store = &Store();

  // The keys above the start key go on the stack first, each positioned at the
  // subkey that leads down to the start key, so that the search comes back up
  // through them after the start key's tree.
  std::u16string_view rest = CurrentPath();
  std::u16string built;
  for (std::size_t slash = rest.find(u'\\'); slash != std::u16string_view::npos;
       slash = rest.find(u'\\')) {
    built += u'\\';
    built += rest.substr(0, slash);
    auto node =
        std::make_unique<TSearchNode>(RootKey(), std::u16string(rest.substr(0, slash)), store);
    rest.remove_prefix(slash + 1);
    node->LoadKeyNames(built);
    // A parent that does not list the start key (one that cannot be opened) stays
    // at -1 and is searched from its first subkey again.
    node->fKeyIDX = node->fKeyNames->IndexOf(rest.substr(0, rest.find(u'\\')));
    fSearchStack.push_back(std::move(node));
  }
  fSearchStack.push_back(std::make_unique<TSearchNode>(RootKey(), std::u16string(rest), store));

  fSearchString = platform::AsciiUpperCase(data);
  fSearchParams = params;
  fMatchWholeString = MatchWholeString;
  return FindNext(retPath, retValue);
}

bool TExRegistry::Matches(const std::u16string& name) const {
  if (fMatchWholeString)
    return name == fSearchString;
  // An empty text is found in no name.
  return !fSearchString.empty() && name.find(fSearchString) != std::u16string::npos;
}

bool TExRegistry::FindNext(std::u16string& retPath, std::u16string& retValue) {
  bool found = false;
  bool keyMatch = false;
  fCancelSearch = false;
  while (!found && !fSearchStack.empty()) {
    if (fProcessMessages)
      fProcessMessages();
    // Checked before the step, so that a cancelled search has passed over nothing
    // and goes on from the same place.
    if (fCancelSearch)
      break;
    TSearchNode& node = *fSearchStack.back();
    // Made when the node's names are read or a match is reported, and let go after.
    const auto path = [this] { return PathOf(fSearchStack, fSearchStack.size() - 1); };

    if (fSearchParams.Contains(TSearchParam::rsValues)) {
      if (!node.fValueNames)
        node.LoadValueNames(path());
      const int count = node.fValueNames->Count();
      while (!found && node.fValueIDX < count) {
        ++node.fValueIDX;
        found = node.fValueIDX < count && Matches((*node.fValueNames)[node.fValueIDX]);
      }
    }

    if (!found) {
      if (!node.fKeyNames)
        node.LoadKeyNames(path());
      const int count = node.fKeyNames->Count();
      if (node.fKeyIDX < count)
        ++node.fKeyIDX;
      if (node.fKeyIDX < count) {
        const std::u16string& name = (*node.fKeyNames)[node.fKeyIDX];
        keyMatch = fSearchParams.Contains(TSearchParam::rsKeys) && Matches(name);
        found = keyMatch;
        if (!found) {
          // Not a match: the subkey is searched completely before its next sibling.
          fSearchStack.push_back(std::make_unique<TSearchNode>(node.fRegRoot, name, node.fStore));
          continue;
        }
      }
    }

    if (!found) {
      fSearchStack.pop_back();
      continue;
    }

    retPath = keyMatch ? ChildPath(path(), (*node.fKeyNames)[node.fKeyIDX]) : path();
    if (fSearchParams.Contains(TSearchParam::rsValues)) {
      const bool onValue = node.fValueIDX >= 0 && node.fValueIDX < node.fValueNames->Count();
      retValue = onValue ? (*node.fValueNames)[node.fValueIDX] : std::u16string();
    }
  }
  return found;
}

}  // namespace brindel::regfile
