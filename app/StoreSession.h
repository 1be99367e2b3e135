#pragma once

#include <string>

#include "registry/store/RegistryStore.h"

namespace brindel::app {

// How a registry keeps the changes of a run. Texts are empty when the step worked,
// else the German reason it failed.
class TStoreSession {
 public:
  virtual ~TStoreSession() = default;

  // Writes the changes so far at the end of an action, without closing.
  virtual std::u16string Flush() = 0;
  // Makes the changes of the run durable, at its end.
  virtual std::u16string Commit() = 0;
  // Forgets the changes not yet written, after an action that failed half-way.
  virtual void Discard() = 0;
  // True when Discard really forgets.
  virtual bool CanDiscard() const = 0;
};

// A registry that takes each change at once (the live registry, one in memory): a
// flush only asks the store to write now, and there is nothing to forget.
class TImmediateSession final : public TStoreSession {
 public:
  explicit TImmediateSession(registry::store::RegistryStore& Store) : store_(Store) {}

  std::u16string Flush() override;
  std::u16string Commit() override { return {}; }
  void Discard() override {}
  bool CanDiscard() const override { return false; }

 private:
  registry::store::RegistryStore& store_;
};

}  // namespace brindel::app
