#include "ComServer.h"

#include <cstring>

#include "Diagnostics.h"
#include "ObjectBase.h"

namespace {
constexpr char kSourceFile[] = "src/ComServer";

uint64_t Fnv1a(const uint8_t* bytes, size_t n) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= bytes[i];
    h *= 0x100000001B3ull;
  }
  return h;
}
}  // namespace

ClassRegistration* g_classListHead = nullptr;
BootstrapRegistration* g_bootstrapListHead = nullptr;
std::atomic<IComServer*> g_comServer{nullptr};

void PushClassRegistration(ClassRegistration* node) {
  node->next = g_classListHead;
  g_classListHead = node;
}

size_t ClassIdHash::operator()(const GUID& id) const noexcept {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&id);
  const uint64_t h1 = Fnv1a(bytes, 4);
  const uint64_t h2 = Fnv1a(bytes + 12, 4);
  return static_cast<size_t>(h1 ^ (h2 + 0x9E3779B9ull + (h1 << 6) + (h1 >> 2)));
}

CComServer::CComServer() { BuildClassTable(); }

void CComServer::BuildClassTable() {
  if (!classMap_.empty() && listHeadSeen_ == g_classListHead) return;
  classMap_.clear();
  classArray_.clear();
  uint32_t count = 0;
  for (ClassRegistration* node = g_classListHead; node; node = node->next) ++count;
  classCount_ = count;
  classMap_.reserve(count);
  classArray_.reserve(count);
  for (ClassRegistration* node = g_classListHead; node; node = node->next) {
    classMap_.emplace(node->clsid, node);  // a CLSID seen twice keeps its first node
    classArray_.push_back(node);
  }
  listHeadSeen_ = g_classListHead;
}

void CComServer::Destroy() { delete this; }

HRESULT CComServer::GetClassObject(const GUID* clsid, const GUID* iid, void** ppv) {
  auto it = classMap_.find(*clsid);
  if (it == classMap_.end()) {
    LogPrint(LOG_ERROR, VLOC, "No such class available: CLSID %s\n", GuidToText(*clsid).c_str());
    return E_NOINTERFACE;
  }
  ClassRegistration* node = it->second;
  ObjectRoot* object = nullptr;
  const HRESULT created = node->create(nullptr, &object);
  if (FAILED(created)) {
    LogPrint(LOG_ERROR, VLOC, "Create Object failed: %s - CLSID %s\n", node->name, GuidToText(*clsid).c_str());
    return created;
  }
  // The new object has count 0: hold it across QueryInterface; an unwanted object goes again.
  object->AddRef();
  const HRESULT result = object->QueryInterface(*iid, ppv);
  if (FAILED(result) && LogEnabled(LOG_WARN)) {
    LogPrint(LOG_WARN, VLOC, "No such interface available: %s - CLSID %s, IID %s\n", node->name,
             GuidToText(*clsid).c_str(), GuidToText(*iid).c_str());
  }
  object->Release();
  return result;
}

HRESULT CComServer::CanUnloadNow() { return openObjects_.load() == 0 ? S_OK : S_FALSE; }

uint32_t CComServer::GetOpenObjectCount() { return openObjects_.load(); }

uint32_t CComServer::GetClassCount() { return classCount_; }

HRESULT CComServer::GetClassObjectID(uint32_t first, uint32_t count, GUID* ids) {
  if (ids == nullptr) return E_POINTER;
  if (count > classCount_ || first > classCount_ - count) return E_INVALIDARG;
  for (uint32_t i = 0; i < count; ++i) std::memcpy(&ids[i], &classArray_[first + i]->clsid, sizeof(GUID));
  return S_OK;
}

HRESULT CComServer::GetClassObjectInfo(uint32_t index, char* name, int32_t size) {
  if (name == nullptr) return E_POINTER;
  if (index >= classCount_ || size < 1) return E_INVALIDARG;
  name[0] = '\0';
  const char* className = classArray_[index]->name;
  if (className != nullptr) {
    const size_t length = std::strlen(className);
    if (length + 1 <= static_cast<size_t>(size)) std::memcpy(name, className, length + 1);
  }
  return S_OK;
}

HRESULT CComServer::RemoveObject(void*) {
  openObjects_.fetch_sub(1);
  return S_OK;
}

HRESULT CComServer::AddObject(void*, const GUID*) {
  openObjects_.fetch_add(1);
  return S_OK;
}

HRESULT CComServer::HasClass(const GUID* clsid) { return classMap_.count(*clsid) ? S_OK : S_FALSE; }

void ModuleAddObject(void* identity, const GUID& clsid) {
  if (IComServer* server = g_comServer.load()) server->AddObject(identity, &clsid);
}

void ModuleRemoveObject(void* identity) {
  if (IComServer* server = g_comServer.load()) server->RemoveObject(identity);
}
