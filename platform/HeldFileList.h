#pragma once

#include "platform/HeldFile.h"

// The files of this process that are held now, for IsHeldFile; only the variants of
// HeldFile and NewFile add and remove them.
namespace brindel::platform {

void AddHeldFile(const FileIdentity& identity);
void RemoveHeldFile(const FileIdentity& identity);

}  // namespace brindel::platform
