#include "support/com.h"

#include <utility>

namespace mv::com {
namespace {

constexpr UINT kCodePage = 936;

BSTR ToBstr(const Text& text) {
  int n = MultiByteToWideChar(kCodePage, 0, text.data(), int(text.size()), nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, UINT(n));
  if (b && n > 0) MultiByteToWideChar(kCodePage, 0, text.data(), int(text.size()), b, n);
  return b;
}

Text FromWide(const wchar_t* w, UINT len) {
  if (!w || len == 0) return Text();
  int n = WideCharToMultiByte(kCodePage, 0, w, int(len), nullptr, 0, nullptr, nullptr);
  Text s(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(kCodePage, 0, w, int(len), &s[0], n, nullptr, nullptr);
  return s;
}

// The methods of IEnumVARIANT by their place in its method table.
enum : int { kRelease = 2, kNext = 3, kSkip = 4, kReset = 5 };
using ReleaseFn = ULONG(STDMETHODCALLTYPE*)(IEnumVARIANT*);
using NextFn = HRESULT(STDMETHODCALLTYPE*)(IEnumVARIANT*, ULONG, VARIANT*, ULONG*);
using SkipFn = HRESULT(STDMETHODCALLTYPE*)(IEnumVARIANT*, ULONG);
using ResetFn = HRESULT(STDMETHODCALLTYPE*)(IEnumVARIANT*);

// An IUnknown and its method table, for the interface query of attach.
class InterfaceHolder {
 public:
  bool AttachPointer(IUnknown* p) {
    unknown_ = p;
    methods_ = p ? *reinterpret_cast<void***>(p) : nullptr;
    return p != nullptr;
  }
  HRESULT QueryInterface(REFIID iid, void** out) {
    using QiFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, REFIID, void**);
    if (!unknown_) return E_POINTER;
    return reinterpret_cast<QiFn>(methods_[0])(unknown_, iid, out);
  }

 private:
  IUnknown* unknown_ = nullptr;
  void** methods_ = nullptr;
};

}  // namespace

// ---- Variant ----------------------------------------------------------------

Variant::Variant(const Variant& other) {
  VariantInit(&v_);
  VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    VariantClear(&v_);
    VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  }
  return *this;
}

Variant Variant::FromText(const Text& text) {
  Variant v;
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = ToBstr(text);
  return v;
}

Variant Variant::FromNumber(long value) {
  Variant v;
  v.v_.vt = VT_I4;
  v.v_.lVal = value;
  return v;
}

Text Variant::AsText() const {
  if (v_.vt == VT_BSTR) return FromWide(v_.bstrVal, SysStringLen(v_.bstrVal));
  if (IsEmpty()) return Text();
  VARIANT t;
  VariantInit(&t);
  Text s;
  if (SUCCEEDED(VariantChangeType(&t, const_cast<VARIANT*>(&v_), 0, VT_BSTR)))
    s = FromWide(t.bstrVal, SysStringLen(t.bstrVal));
  VariantClear(&t);
  return s;
}

long Variant::AsNumber() const {
  if (v_.vt == VT_I4) return v_.lVal;
  VARIANT t;
  VariantInit(&t);
  long n = 0;
  if (SUCCEEDED(VariantChangeType(&t, const_cast<VARIANT*>(&v_), 0, VT_I4))) n = t.lVal;
  VariantClear(&t);
  return n;
}

// ---- AutoObject -------------------------------------------------------------

AutoObject AutoObject::Adopt(IDispatch* dispatch) {
  AutoObject o;
  o.dispatch_ = dispatch;
  return o;
}

AutoObject::AutoObject(const AutoObject& other) : dispatch_(other.dispatch_) {
  if (dispatch_) dispatch_->AddRef();
}

AutoObject& AutoObject::operator=(const AutoObject& other) {
  IDispatch* d = other.dispatch_;  // other may be *this
  if (d) d->AddRef();
  Clear();
  dispatch_ = d;
  return *this;
}

AutoObject::AutoObject(AutoObject&& other) noexcept : dispatch_(std::exchange(other.dispatch_, nullptr)) {}

AutoObject& AutoObject::operator=(AutoObject&& other) noexcept {
  if (this != &other) {
    Clear();
    dispatch_ = std::exchange(other.dispatch_, nullptr);
  }
  return *this;
}

void AutoObject::Clear() {
  if (IDispatch* d = std::exchange(dispatch_, nullptr)) d->Release();
}

AutoObject CreateObject(const Text& prog_id) {
  BSTR name = ToBstr(prog_id);
  CLSID clsid;
  HRESULT hr = name ? CLSIDFromProgID(name, &clsid) : E_OUTOFMEMORY;
  SysFreeString(name);
  if (FAILED(hr)) return AutoObject();
  IDispatch* d = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(&d));
  return SUCCEEDED(hr) ? AutoObject::Adopt(d) : AutoObject();
}

bool Invoke(const AutoObject& object, const Text& member, WORD kind, const std::vector<Variant>& args,
            Variant* result) {
  if (object.IsEmpty()) return false;
  BSTR name = ToBstr(member);
  if (!name) return false;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {name};
  HRESULT hr = object.get()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  SysFreeString(name);
  if (FAILED(hr)) {
    if (member != "_NewEnum") return false;
    id = DISPID_NEWENUM;  // collections that do not list it by name
  }
  // Invoke takes the arguments last to first.
  std::vector<VARIANT> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = *args[i].get();
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, UINT(reversed.size()), 0};
  Variant out;
  EXCEPINFO error = {};
  UINT bad_arg = 0;
  hr = object.get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, out.get(), &error, &bad_arg);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrHelpFile);
  if (FAILED(hr)) return false;
  if (result) *result = out;
  return true;
}

AutoObject CallMethod(const AutoObject& object, const Text& member, const std::vector<Variant>& args) {
  Variant out;
  if (!Invoke(object, member, DISPATCH_METHOD, args, &out)) return AutoObject();
  return ToObject(out);
}

Variant ReadProperty(const AutoObject& object, const Text& member) {
  Variant out;
  if (!Invoke(object, member, DISPATCH_PROPERTYGET, {}, &out)) out.Clear();
  return out;
}

AutoObject ReadObjectProperty(const AutoObject& object, const Text& member) {
  return ToObject(ReadProperty(object, member));
}

Text ReadTextProperty(const AutoObject& object, const Text& member) { return ReadProperty(object, member).AsText(); }

long ReadNumberProperty(const AutoObject& object, const Text& member) {
  return ReadProperty(object, member).AsNumber();
}

AutoObject ToObject(const Variant& value) {
  const VARIANT* v = value.get();
  IUnknown* unknown = nullptr;
  if (v->vt == VT_DISPATCH)
    unknown = v->pdispVal;
  else if (v->vt == VT_UNKNOWN)
    unknown = v->punkVal;
  else if (v->vt == (VT_DISPATCH | VT_BYREF) && v->ppdispVal)
    unknown = *v->ppdispVal;
  if (!unknown) return AutoObject();
  IDispatch* d = nullptr;
  if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) return AutoObject();
  return AutoObject::Adopt(d);
}

// ---- Enumerator -------------------------------------------------------------

Enumerator::Enumerator(const Enumerator& other) : interface_(other.interface_), methods_(other.methods_) {
  if (interface_) interface_->AddRef();
}

Enumerator& Enumerator::operator=(const Enumerator& other) {
  if (this != &other) {
    if (other.interface_) other.interface_->AddRef();
    Release();
    interface_ = other.interface_;
    methods_ = other.methods_;
  }
  return *this;
}

void Enumerator::Hold(IEnumVARIANT* e) {
  interface_ = e;
  methods_ = e ? *reinterpret_cast<void***>(e) : nullptr;
}

bool Enumerator::Attach(const AutoObject& collection) {
  Release();
  // Some collections declare "_NewEnum" as a method: ask for either form.
  Variant result;
  if (!Invoke(collection, "_NewEnum", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &result)) return false;
  if (result.get()->vt != VT_UNKNOWN && result.get()->vt != VT_DISPATCH) return false;
  InterfaceHolder holder;
  if (!holder.AttachPointer(result.get()->punkVal)) return false;  // punkVal and pdispVal share the slot
  IEnumVARIANT* e = nullptr;
  if (FAILED(holder.QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&e))) || !e) {
    Hold(nullptr);
    return false;
  }
  Hold(e);
  RawReset();
  return true;
}

bool Enumerator::NextItem(Variant& out) {
  if (!interface_) return false;
  out.Clear();
  unsigned long fetched = 0;
  RawNext(1, out.get(), &fetched);
  return fetched == 1;
}

bool Enumerator::ResetToStart() { return interface_ && RawReset() == S_OK; }

bool Enumerator::SkipItems(unsigned long count) { return interface_ && RawSkip(count) == S_OK; }

unsigned long Enumerator::Release() {
  if (!interface_) return 0;
  unsigned long r = reinterpret_cast<ReleaseFn>(methods_[kRelease])(interface_);
  interface_ = nullptr;
  methods_ = nullptr;
  return r;
}

HRESULT Enumerator::RawNext(unsigned long count, VARIANT* items, unsigned long* fetched) {
  if (!interface_) return E_POINTER;
  ULONG got = 0;
  HRESULT hr = reinterpret_cast<NextFn>(methods_[kNext])(interface_, count, items, &got);
  if (fetched) *fetched = got;
  return hr;
}

HRESULT Enumerator::RawSkip(unsigned long count) {
  if (!interface_) return E_POINTER;
  return reinterpret_cast<SkipFn>(methods_[kSkip])(interface_, count);
}

HRESULT Enumerator::RawReset() {
  if (!interface_) return E_POINTER;
  return reinterpret_cast<ResetFn>(methods_[kReset])(interface_);
}

}  // namespace mv::com
