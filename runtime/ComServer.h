// The module-wide class server: the class list, lookup by CLSID, the open-object count.
#pragma once
#include <atomic>
#include <unordered_map>
#include <vector>

#include "VarnicaCore.h"

class ObjectRoot;

// One static, constant-initialised node per class, pushed on the class list at start-up.
struct ClassRegistration {
  GUID clsid;
  ClassRegistration* next;
  HRESULT (*create)(IUnknown* outer, ObjectRoot** object);
  const char* name;
};

// Bootstrap entries a class library registers in the framework's class registry.
struct BootstrapRegistration {
  BootstrapRegistration* next;
  const GUID* classId;
  const GUID* categoryId;
  const GUID* groupId;
  const char* name;
};

// Head of the class list (null before static initialisation) and of the bootstrap list.
extern ClassRegistration* g_classListHead;
extern BootstrapRegistration* g_bootstrapListHead;
void PushClassRegistration(ClassRegistration* node);

struct IComServer {
  virtual ~IComServer() = default;
  virtual void Destroy() = 0;
  virtual HRESULT GetClassObject(const GUID* clsid, const GUID* iid, void** ppv) = 0;
  virtual HRESULT CanUnloadNow() = 0;
  virtual uint32_t GetOpenObjectCount() = 0;
  virtual uint32_t GetClassCount() = 0;
  virtual HRESULT GetClassObjectID(uint32_t first, uint32_t count, GUID* ids) = 0;
  virtual HRESULT GetClassObjectInfo(uint32_t index, char* name, int32_t size) = 0;
  virtual HRESULT RemoveObject(void* identity) = 0;
  virtual HRESULT AddObject(void* identity, const GUID* clsid) = 0;
  virtual HRESULT HasClass(const GUID* clsid) = 0;
};

// Two 64-bit FNV-1a hashes, over the first and the last four bytes, combined.
struct ClassIdHash {
  size_t operator()(const GUID& id) const noexcept;
};
struct ClassIdEqual {
  bool operator()(const GUID& a, const GUID& b) const noexcept { return varnica::SameGuid(a, b); }
};

class alignas(64) CComServer final : public IComServer {
 public:
  CComServer();
  ~CComServer() override = default;

  void Destroy() override;
  HRESULT GetClassObject(const GUID* clsid, const GUID* iid, void** ppv) override;
  HRESULT CanUnloadNow() override;
  uint32_t GetOpenObjectCount() override;
  uint32_t GetClassCount() override;
  HRESULT GetClassObjectID(uint32_t first, uint32_t count, GUID* ids) override;
  HRESULT GetClassObjectInfo(uint32_t index, char* name, int32_t size) override;
  HRESULT RemoveObject(void* identity) override;
  HRESULT AddObject(void* identity, const GUID* clsid) override;
  HRESULT HasClass(const GUID* clsid) override;

 private:
  void BuildClassTable();

  std::unordered_map<GUID, ClassRegistration*, ClassIdHash, ClassIdEqual> classMap_;
  std::vector<ClassRegistration*> classArray_;
  ClassRegistration* listHeadSeen_ = nullptr;
  uint32_t classCount_ = 0;
  std::atomic<uint32_t> openObjects_{0};
};

// The class server of the loaded module, or null (before attach, after detach).
extern std::atomic<IComServer*> g_comServer;
