// The framework core's interfaces, identities and exported functions (TamrelVarnica.dll).
// Shared by the core stand-in, the media stand-in, the module and the tests.
#pragma once
#include <cstdarg>
#include "VarnicaPlatform.h"

#ifndef _WIN32
#error "VarnicaCore.h is for Windows builds"
#endif

#define VARNICA_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

// Value sets and values
VARNICA_GUID(IID_IValueSet, 0x554FCEBA, 0x546A, 0x4C03, 0xA9, 0x2B, 0x01, 0x3C, 0xE2, 0xD1, 0x27, 0xCE);
VARNICA_GUID(IID_IValue, 0x389A1174, 0xF380, 0x4CCA, 0xA1, 0x5E, 0x46, 0x24, 0x8F, 0x36, 0xAA, 0x4E);
VARNICA_GUID(CLSID_ValueSet, 0xB3500CEC, 0xE7AB, 0x443C, 0xA3, 0xBE, 0x18, 0x56, 0x4A, 0xDF, 0x92, 0x21);
VARNICA_GUID(CLSID_Value, 0xEB745675, 0x051D, 0x4863, 0xBB, 0xAB, 0xA0, 0xEC, 0x18, 0x7C, 0xF4, 0x25);
VARNICA_GUID(IID_IValueSetRefused, 0xFB1BA7BD, 0xFFB0, 0x499E, 0xAB, 0x81, 0x7B, 0x49, 0xE0, 0xC9, 0x07, 0x5E);
VARNICA_GUID(GuidValueType, 0xA7667EE9, 0x3A90, 0x4233, 0xB9, 0x9B, 0x8D, 0xE6, 0x8A, 0x06, 0xEE, 0x5A);
VARNICA_GUID(FloatValueType, 0x7DB084EB, 0xE4BE, 0x4471, 0x9A, 0xF8, 0xB4, 0x83, 0x9B, 0x3C, 0xB0, 0x18);
VARNICA_GUID(FloatMatrix3x3ValueType, 0xEC474AD4, 0x3779, 0x4D88, 0xB9, 0xC0, 0xC3, 0xB8, 0xF7, 0xCE, 0xFF, 0x6F);
VARNICA_GUID(Int32ValueType, 0x5AA92D7A, 0xE677, 0x4DE9, 0x9B, 0x78, 0x20, 0x9C, 0x67, 0x7F, 0x53, 0xC1);
// Enumerators
VARNICA_GUID(IID_IEnumerator, 0x47201FEF, 0xE263, 0x4506, 0x8D, 0xB2, 0x84, 0xBA, 0x8A, 0xE8, 0xF1, 0xFE);
VARNICA_GUID(IID_IEnumeratorGUID, 0xED544346, 0x4B49, 0x4286, 0xBD, 0xEE, 0xA5, 0x64, 0x5D, 0x64, 0x7F, 0xEB);
// Side interfaces of every framework object
VARNICA_GUID(IID_IClassInfo, 0x39EDF038, 0x7BDB, 0x4A36, 0x88, 0x50, 0x5B, 0x31, 0x4B, 0x75, 0x13, 0xC7);
VARNICA_GUID(IID_IObjectName, 0x27A9CF91, 0x40E4, 0x47FB, 0x98, 0xA4, 0x5F, 0xBB, 0x8B, 0xDF, 0x76, 0xB0);
VARNICA_GUID(IID_IDisposable, 0x2146D096, 0x446C, 0x422F, 0xB1, 0x00, 0x90, 0x62, 0x5B, 0x6A, 0x87, 0x27);
VARNICA_GUID(IID_IVarnicaObject, 0xB4AF728D, 0x2152, 0x455E, 0x87, 0x24, 0x6A, 0xF7, 0x14, 0x2F, 0x41, 0x68);
VARNICA_GUID(IID_IVarnicaObjectBase, 0xE4D07E3F, 0x88D6, 0x4E36, 0x85, 0xC4, 0x48, 0xF7, 0x0E, 0x84, 0x00, 0x7C);
// Services
VARNICA_GUID(IID_IClsidRegistry, 0x7B09F9C1, 0x4723, 0x4FFF, 0x8F, 0x61, 0x36, 0x8A, 0xDA, 0x0F, 0x24, 0xBE);
VARNICA_GUID(ClassRegistryServiceId, 0xFDBC992D, 0x2B9E, 0x4D05, 0x82, 0x01, 0xA6, 0x7D, 0x16, 0x21, 0x8A, 0x3F);
VARNICA_GUID(IID_IObserver, 0x2ED6C38E, 0x70EC, 0x4F59, 0x9B, 0x28, 0x90, 0xC5, 0xB6, 0x1F, 0xE3, 0xA1);
VARNICA_GUID(IID_IException, 0x301AC8EF, 0x2E73, 0x4F24, 0x81, 0x5A, 0xA9, 0x0B, 0x24, 0x72, 0xDB, 0x8C);
VARNICA_GUID(IID_ISingletonRegistry, 0xFE9E4F47, 0xE20E, 0x4AA9, 0xAE, 0x38, 0xB0, 0xA9, 0x8C, 0x2C, 0x7F, 0xEC);

using varnica::SourceLocation;

// Sizes of value data. Signed so that a negative size can be refused.
typedef int64_t VSIZE;

// A failure raised inside an operation: created by NewException, thrown as a pointer,
// caught and handed back to HandleObserverCatchedException. Nobody calls into it.
struct IException : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCode() = 0;
  virtual const char* STDMETHODCALLTYPE GetMessageText() = 0;
  virtual const SourceLocation* STDMETHODCALLTYPE GetLocation() = 0;
};

// The global log observer.
struct IObserver : IUnknown {
  virtual uint32_t STDMETHODCALLTYPE GetPrintLevel() = 0;
  // New level = (old & ~changeMask) | (mask & changeMask).
  virtual HRESULT STDMETHODCALLTYPE SetPrintLevel(uint32_t mask, uint32_t changeMask) = 0;
  virtual void STDMETHODCALLTYPE Print(uint32_t level, const SourceLocation* location, const char* format,
                                       va_list args) = 0;
};

// One typed value as an object.
struct IValue : IUnknown {
  // data null: returns the size as a positive result when the type matches.
  virtual HRESULT STDMETHODCALLTYPE GetValue(const GUID* type, void* data, VSIZE size) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(const GUID* type, const void* data, VSIZE size) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetType(GUID* type, VSIZE* size) = 0;
};

// Typed values keyed by GUIDs.
struct IValueSet : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetEnumerator(REFIID iid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE IsReadOnly() = 0;
  virtual HRESULT STDMETHODCALLTYPE AddGUID(REFGUID key, REFGUID value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(REFGUID key) = 0;
  virtual HRESULT STDMETHODCALLTYPE HasValue(REFGUID key) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(REFGUID key, REFIID iid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(REFGUID key, IValue* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValues(const GUID* keys, int32_t count, IValue** values) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetKeys(GUID* keys, int32_t capacity) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueIdentifier(REFGUID key, GUID* identifier) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValueData(REFGUID key, const GUID* type, const void* data,
                                                 VSIZE size) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueType(REFGUID key, GUID* type, VSIZE* size) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertySize(REFGUID key) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyType(REFGUID key, GUID* type, VSIZE* size) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyData(REFGUID key, const GUID* type, void* data, VSIZE size) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPropertyData(REFGUID key, const GUID* type, const void* data,
                                                    VSIZE size) = 0;
};

struct IEnumerator : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveNext() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrent(REFIID iid, void** ppv) = 0;
};

struct IEnumeratorGUID : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveNext() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentGUID(GUID* guid) = 0;
};

// Side interfaces every framework object serves.
struct IClassInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetClassID(GUID* clsid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClassName(char* buffer, int32_t size) = 0;
};

struct IObjectName : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetName(const char* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(char* buffer, int32_t size) = 0;
};

struct IDisposable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Dispose() = 0;
  virtual HRESULT STDMETHODCALLTYPE IsDisposed() = 0;
};

// The prefix of every main interface (answers IID_IVarnicaObject and IID_IVarnicaObjectBase).
struct IVarnicaObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) = 0;
};

// Process-wide objects by key (_GetSingletonObject).
struct ISingletonRegistry : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) = 0;  // slot 3
  virtual HRESULT STDMETHODCALLTYPE UnregisterObject(REFGUID key) = 0;                   // slot 4
  virtual HRESULT STDMETHODCALLTYPE RegisterObject(REFGUID key, IUnknown* object) = 0;   // slot 5
  virtual HRESULT STDMETHODCALLTYPE GetCount() = 0;                                       // slot 6
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;                                          // slot 7
  virtual HRESULT STDMETHODCALLTYPE HasObject(REFGUID key) = 0;                           // slot 8
};

// Classes by category and group (held in the singleton registry under ClassRegistryServiceId).
struct IClsidRegistry : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Unregister(REFGUID category, REFGUID group, REFCLSID classId) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE Register(const GUID* category, const GUID* group,
                                             const GUID* classId) = 0;                                // 4
  virtual HRESULT STDMETHODCALLTYPE HasClass(REFCLSID classId) = 0;                                   // 5
  virtual HRESULT STDMETHODCALLTYPE GetCategoryOf(REFCLSID classId, GUID* category) = 0;              // 6
  virtual HRESULT STDMETHODCALLTYPE HasCategory(REFGUID category) = 0;                                // 7
  virtual HRESULT STDMETHODCALLTYPE HasGroup(REFGUID group) = 0;                                      // 8
  virtual HRESULT STDMETHODCALLTYPE GetClassCount(REFGUID category) = 0;                              // 9
  virtual HRESULT STDMETHODCALLTYPE GetGroups(REFGUID category, REFIID iid, void** ppv) = 0;          // 10
  virtual HRESULT STDMETHODCALLTYPE GetClasses(REFGUID category, REFIID iid, void** ppv) = 0;         // 11
};

__CRT_UUID_DECL(IException, 0x301AC8EF, 0x2E73, 0x4F24, 0x81, 0x5A, 0xA9, 0x0B, 0x24, 0x72, 0xDB, 0x8C)
__CRT_UUID_DECL(IObserver, 0x2ED6C38E, 0x70EC, 0x4F59, 0x9B, 0x28, 0x90, 0xC5, 0xB6, 0x1F, 0xE3, 0xA1)
__CRT_UUID_DECL(IValue, 0x389A1174, 0xF380, 0x4CCA, 0xA1, 0x5E, 0x46, 0x24, 0x8F, 0x36, 0xAA, 0x4E)
__CRT_UUID_DECL(IValueSet, 0x554FCEBA, 0x546A, 0x4C03, 0xA9, 0x2B, 0x01, 0x3C, 0xE2, 0xD1, 0x27, 0xCE)
__CRT_UUID_DECL(IEnumerator, 0x47201FEF, 0xE263, 0x4506, 0x8D, 0xB2, 0x84, 0xBA, 0x8A, 0xE8, 0xF1, 0xFE)
__CRT_UUID_DECL(IEnumeratorGUID, 0xED544346, 0x4B49, 0x4286, 0xBD, 0xEE, 0xA5, 0x64, 0x5D, 0x64, 0x7F, 0xEB)
__CRT_UUID_DECL(IClassInfo, 0x39EDF038, 0x7BDB, 0x4A36, 0x88, 0x50, 0x5B, 0x31, 0x4B, 0x75, 0x13, 0xC7)
__CRT_UUID_DECL(IObjectName, 0x27A9CF91, 0x40E4, 0x47FB, 0x98, 0xA4, 0x5F, 0xBB, 0x8B, 0xDF, 0x76, 0xB0)
__CRT_UUID_DECL(IDisposable, 0x2146D096, 0x446C, 0x422F, 0xB1, 0x00, 0x90, 0x62, 0x5B, 0x6A, 0x87, 0x27)
__CRT_UUID_DECL(IVarnicaObject, 0xB4AF728D, 0x2152, 0x455E, 0x87, 0x24, 0x6A, 0xF7, 0x14, 0x2F, 0x41, 0x68)
__CRT_UUID_DECL(ISingletonRegistry, 0xFE9E4F47, 0xE20E, 0x4AA9, 0xAE, 0x38, 0xB0, 0xA9, 0x8C, 0x2C, 0x7F, 0xEC)
__CRT_UUID_DECL(IClsidRegistry, 0x7B09F9C1, 0x4723, 0x4FFF, 0x8F, 0x61, 0x36, 0x8A, 0xDA, 0x0F, 0x24, 0xBE)

// Functions exported by the core module.
#ifdef VARNICA_CORE_BUILD
#define VARNICA_CORE_API extern "C" __declspec(dllexport)
#else
#define VARNICA_CORE_API extern "C" __declspec(dllimport)
#endif

VARNICA_CORE_API HRESULT CreateClassObject(REFCLSID clsid, REFIID iid, void** ppv);
VARNICA_CORE_API HRESULT GetGlobalObserver(IObserver** observer);
VARNICA_CORE_API uint32_t* GetGlobalObserverPrintLevelPtr();
VARNICA_CORE_API void UpdateGlobalObserverPrintLevel();
VARNICA_CORE_API HRESULT HandleObserverCatchedException(IException* exception);
VARNICA_CORE_API IException* NewException(HRESULT code, const SourceLocation* location, const char* message);
// The singleton registry; never null, not AddRef'ed (it lives as long as the core module).
VARNICA_CORE_API ISingletonRegistry* _GetSingletonObject();
// Printable name of a GUID (a class, interface or value key) for log lines; never null.
VARNICA_CORE_API const char* VarnicaNameOf(const GUID* value, int32_t reserved1, int32_t reserved2);
// Readable name of a GUID into buffer; S_OK, or E_VALUE_NOT_FOUND when the GUID has no name
// (the buffer then holds the GUID's 36-character text). A buffer without room for the text and
// its terminator is E_INVALIDARG; a null buffer returns the text length.
VARNICA_CORE_API HRESULT VarnicaGuidNameA(const GUID* guid, char* buffer, int32_t size, ...);

// Host services of this core build.
// Loads a class library (its seven class-server exports) so CreateClassObject knows its classes.
VARNICA_CORE_API HRESULT VarnicaLoadClassLibrary(const char* path);
// Gives a name to a GUID for VarnicaNameOf / VarnicaGuidNameA.
VARNICA_CORE_API HRESULT VarnicaRegisterGuidName(const GUID* guid, const char* name);
// Makes a class of another framework module (the media module) creatable through
// CreateClassObject. create returns a new object, AddRef'ed, as iid. A class id that is
// already known is refused with E_ACCESSDENIED.
typedef HRESULT (*VarnicaClassCreateFn)(REFIID iid, void** ppv);
VARNICA_CORE_API HRESULT VarnicaRegisterClassFactory(const GUID* clsid, VarnicaClassCreateFn create,
                                                     const char* name);
// Test hook: while capturing, every observer line is also kept in memory.
VARNICA_CORE_API void VarnicaObserverCapture(BOOL enable);
// Copies the captured lines (each ending in '\n') into buffer; returns the needed size including
// the terminator. A null buffer only measures.
VARNICA_CORE_API int32_t VarnicaObserverCaptured(char* buffer, int32_t size);
VARNICA_CORE_API void VarnicaObserverClearCaptured();
// Whether observer lines also go to standard error (they do until a host says otherwise): a host
// that reports failures in its own words keeps them in memory instead.
VARNICA_CORE_API void VarnicaObserverEcho(BOOL enable);
