#include "NameLock.h"

namespace {
CRITICAL_SECTION g_nameLock;
}

void InitializeNameLock() { InitializeCriticalSection(&g_nameLock); }
void DeleteNameLock() { DeleteCriticalSection(&g_nameLock); }

NameLockGuard::NameLockGuard() { EnterCriticalSection(&g_nameLock); }
NameLockGuard::~NameLockGuard() { LeaveCriticalSection(&g_nameLock); }
