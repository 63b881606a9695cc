// The module served from the test program's own copy of its objects (vmdx_module_internal)
// instead of the DLL: the core creates the module's classes through this copy, so hooks inside
// the module (the private heaps' allocation failure) reach every object the module makes, and
// the open-object count is this copy's. The DLL is never loaded in such a program.
#pragma once

namespace vmdxtest {

// Starts this copy's class server and registers its classes with the core; once per process.
void ServeModuleInProcess();
// This copy's open-object count.
int InProcessOpenObjects();

}  // namespace vmdxtest
