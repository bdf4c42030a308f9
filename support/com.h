// Late-bound automation: calls on IDispatch objects by member name, and an
// enumerator that walks a collection through its "_NewEnum" property. Used
// for the WMI queries of the hardware probes. Windows builds only.
//
// References: an AutoObject owns exactly one reference to its object, and an
// Enumerator exactly one to its IEnumVARIANT. Copies add a reference of
// their own, so every reference is released exactly once. The calling
// thread must have initialised COM.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

namespace mv::com {

using Text = std::string;  // GBK

// A VARIANT that clears itself; copies are deep (VariantCopy).
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  ~Variant() { VariantClear(&v_); }
  // Argument values: texts become wide strings.
  static Variant FromText(const Text& text);
  static Variant FromNumber(long value);
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  void Clear() { VariantClear(&v_); }
  bool IsEmpty() const { return v_.vt == VT_EMPTY || v_.vt == VT_NULL; }
  // Conversions; a value that cannot be converted gives "" or 0.
  Text AsText() const;
  long AsNumber() const;

 private:
  VARIANT v_;
};

// Holder of one IDispatch reference (or empty).
class AutoObject {
 public:
  AutoObject() = default;
  // Takes over one reference the caller already holds.
  static AutoObject Adopt(IDispatch* dispatch);
  AutoObject(const AutoObject& other);
  AutoObject& operator=(const AutoObject& other);
  AutoObject(AutoObject&& other) noexcept;
  AutoObject& operator=(AutoObject&& other) noexcept;
  ~AutoObject() { Clear(); }
  bool IsEmpty() const { return dispatch_ == nullptr; }
  void Clear();
  IDispatch* get() const { return dispatch_; }

 private:
  IDispatch* dispatch_ = nullptr;
};

// Creates an instance of the class a ProgID names; empty on failure.
AutoObject CreateObject(const Text& prog_id);

// Invokes a member by name (GetIDsOfNames with the user default locale).
// kind: DISPATCH_METHOD, DISPATCH_PROPERTYGET or both. Arguments in their
// natural order. False when the name is unknown or the call fails.
bool Invoke(const AutoObject& object, const Text& member, WORD kind, const std::vector<Variant>& args,
            Variant* result);

// A method call whose result is taken as an object (empty when it is not one).
AutoObject CallMethod(const AutoObject& object, const Text& member, const std::vector<Variant>& args = {});
// A property get; the caller picks the conversion.
Variant ReadProperty(const AutoObject& object, const Text& member);
AutoObject ReadObjectProperty(const AutoObject& object, const Text& member);
Text ReadTextProperty(const AutoObject& object, const Text& member);
long ReadNumberProperty(const AutoObject& object, const Text& member);
// The object inside a variant (VT_DISPATCH, or VT_UNKNOWN that offers IDispatch).
AutoObject ToObject(const Variant& value);

// Walks a collection through its IEnumVARIANT. The virtual operations are
// in the order of the class's slots.
class Enumerator {
 public:
  Enumerator() = default;
  // A copy holds a reference of its own.
  Enumerator(const Enumerator& other);
  Enumerator& operator=(const Enumerator& other);
  virtual ~Enumerator() { Release(); }
  virtual Enumerator Copy() const { return *this; }
  // Obtains the collection's enumerator ("_NewEnum") and resets it.
  virtual bool Attach(const AutoObject& collection);
  // True when exactly one item was fetched into out.
  virtual bool NextItem(Variant& out);
  virtual bool ResetToStart();
  virtual bool SkipItems(unsigned long count);
  // Releases the interface and detaches; the Release result, 0 when detached.
  virtual unsigned long Release();
  virtual HRESULT RawNext(unsigned long count, VARIANT* items, unsigned long* fetched);
  virtual HRESULT RawSkip(unsigned long count);
  virtual HRESULT RawReset();

  bool IsAttached() const { return interface_ != nullptr; }

 private:
  void Hold(IEnumVARIANT* e);
  IEnumVARIANT* interface_ = nullptr;
  void** methods_ = nullptr;  // the interface's method table
};

}  // namespace mv::com
