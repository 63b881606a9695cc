// One module-wide lock that guards the names of all objects.
#pragma once
#include "VarnicaPlatform.h"

void InitializeNameLock();
void DeleteNameLock();

// Holds the name lock for a scope.
class NameLockGuard {
 public:
  NameLockGuard();
  ~NameLockGuard();
  NameLockGuard(const NameLockGuard&) = delete;
  NameLockGuard& operator=(const NameLockGuard&) = delete;
};
