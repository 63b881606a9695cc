// Logging through the framework's global observer, debugger output, processor count.
#pragma once
#include <cstdarg>
#include "VarnicaCore.h"

// Source location of the current line; every .cpp file defines its own kSourceFile.
#define VLOC (::varnica::SourceLocation{kSourceFile, __LINE__})

// The one log call: handed to the observer when its print level has one of level's bits
// (LOG_ALWAYS is always printed); without an observer the text goes to the debugger output.
void LogPrint(uint32_t level, const SourceLocation& location, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Current print level (0 when the observer's level cannot be had); one memory read once cached.
uint32_t GetPrintLevel();
// Callers test this before composing costly log arguments.
inline bool LogEnabled(uint32_t level) { return (GetPrintLevel() & level) != 0; }
// Sets the observer's print level (change mask 0xF0FF); returns the previous level.
uint32_t SetPrintLevel(uint32_t mask);

// Formatted text straight to the debugger output (no observer involved).
void DebugOutputF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void VDebugOutputF(const char* format, va_list args);

// Number of logical processors, at least 1; asked once.
int GetProcessorCount();

// The high-resolution clock in seconds (for timing lines and measurements).
double HighResolutionSeconds();

// Text of a GUID: 36 upper-case hexadecimal characters with hyphens, no braces.
struct GuidText {
  char text[37];
  const char* c_str() const { return text; }
};
GuidText GuidToText(const GUID& guid);
