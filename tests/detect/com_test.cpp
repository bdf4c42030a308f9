// The automation helper: reference counting and the enumerator's operations
// on counting objects of the test's own, then real automation objects of
// the system (a dictionary and WMI's board query).
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/com.h"
#include "support/wmi.h"

using namespace mv::com;

namespace {

// An IEnumVARIANT over the numbers 1..n that counts its references.
class CountingEnum : public IEnumVARIANT {
 public:
  explicit CountingEnum(int n) : n_(n) {}
  LONG refs = 1;
  int nexts = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IEnumVARIANT) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }  // owned by the test
  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override {
    ++nexts;
    ULONG got = 0;
    while (got < count && pos_ < n_) {
      items[got].vt = VT_I4;
      items[got].lVal = ++pos_;
      ++got;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (pos_ + int(count) > n_) {
      pos_ = n_;
      return S_FALSE;
    }
    pos_ += int(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

 private:
  int n_;
  int pos_ = 0;
};

// An IDispatch with one member "_NewEnum" (when it has an enumerator) and a
// property "Count".
class CountingCollection : public IDispatch {
 public:
  explicit CountingCollection(CountingEnum* e) : enum_(e) {}
  LONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    std::wstring n = names[0];
    if (n == L"_NewEnum" && enum_) {
      ids[0] = DISPID_NEWENUM;
      return S_OK;
    }
    if (n == L"Count") {
      ids[0] = 7;
      return S_OK;
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id == DISPID_NEWENUM && enum_) {
      enum_->AddRef();
      result->vt = VT_UNKNOWN;
      result->punkVal = enum_;
      return S_OK;
    }
    if (id == 7) {
      result->vt = VT_I4;
      result->lVal = 3;
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  CountingEnum* enum_;
};

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

TEST_F(ComTest, EnumeratorWalksResetsSkipsAndReleasesOnce) {
  CountingEnum items(3);
  CountingCollection coll(&items);
  {
    coll.AddRef();
    AutoObject c = AutoObject::Adopt(&coll);
    EXPECT_EQ(ReadNumberProperty(c, "Count"), 3);
    Enumerator e;
    ASSERT_TRUE(e.Attach(c));
    EXPECT_EQ(items.refs, 2) << "the enumerator holds one reference, the property result none";
    Variant v;
    std::vector<long> seen;
    while (e.NextItem(v)) seen.push_back(v.AsNumber());
    EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
    EXPECT_FALSE(e.NextItem(v)) << "after the last item";
    EXPECT_TRUE(e.ResetToStart());
    EXPECT_TRUE(e.SkipItems(2));
    ASSERT_TRUE(e.NextItem(v));
    EXPECT_EQ(v.AsNumber(), 3);
    EXPECT_FALSE(e.SkipItems(5));

    // Attaching again releases the interface held before.
    ASSERT_TRUE(e.Attach(c));
    EXPECT_EQ(items.refs, 2);
    {
      Enumerator copy = e.Copy();
      Enumerator assigned;
      assigned = copy;
      EXPECT_EQ(items.refs, 4);
    }
    EXPECT_EQ(items.refs, 2) << "copies release only their own references";
    EXPECT_EQ(e.Release(), 1u);
    EXPECT_EQ(e.Release(), 0u) << "the second release does nothing";
    EXPECT_FALSE(e.IsAttached());
  }
  EXPECT_EQ(items.refs, 1);
  EXPECT_EQ(coll.refs, 1);
}

TEST_F(ComTest, DetachedEnumeratorAndCollectionWithoutEnumerator) {
  CountingEnum items(2);
  Enumerator e;
  Variant v;
  EXPECT_FALSE(e.NextItem(v));
  EXPECT_FALSE(e.ResetToStart());
  EXPECT_FALSE(e.SkipItems(1));
  EXPECT_EQ(e.Release(), 0u);
  EXPECT_EQ(items.nexts, 0);

  CountingCollection plain(nullptr);
  plain.AddRef();
  {
    AutoObject c = AutoObject::Adopt(&plain);
    EXPECT_FALSE(e.Attach(c));
    EXPECT_FALSE(e.IsAttached());
    EXPECT_FALSE(e.Attach(AutoObject()));
  }
  EXPECT_EQ(plain.refs, 1);
}

TEST_F(ComTest, AutoObjectCopiesAndMovesKeepOneReferenceEach) {
  CountingCollection coll(nullptr);
  coll.AddRef();
  {
    AutoObject a = AutoObject::Adopt(&coll);
    AutoObject b = a;
    AutoObject c;
    c = b;
    EXPECT_EQ(coll.refs, 4);
    AutoObject d = std::move(c);
    EXPECT_TRUE(c.IsEmpty());
    EXPECT_EQ(coll.refs, 4);
    b = b;  // self-assignment keeps the reference
    b.Clear();
    b.Clear();
    EXPECT_EQ(coll.refs, 3);
    EXPECT_TRUE(CallMethod(a, "NoSuchMember").IsEmpty());
    EXPECT_TRUE(ReadProperty(AutoObject(), "Count").IsEmpty());
  }
  EXPECT_EQ(coll.refs, 1);
}

TEST_F(ComTest, RealDictionaryByNameWithTextsAndEnumeration) {
  AutoObject dict = CreateObject("Scripting.Dictionary");
  ASSERT_FALSE(dict.IsEmpty());
  ASSERT_TRUE(Invoke(dict, "Add", DISPATCH_METHOD, {Variant::FromText("主板"), Variant::FromText("值一")}, nullptr));
  ASSERT_TRUE(Invoke(dict, "Add", DISPATCH_METHOD, {Variant::FromText("b"), Variant::FromNumber(42)}, nullptr));
  EXPECT_EQ(ReadNumberProperty(dict, "Count"), 2);
  Variant item;
  ASSERT_TRUE(Invoke(dict, "Item", DISPATCH_PROPERTYGET, {Variant::FromText("主板")}, &item));
  EXPECT_EQ(item.AsText(), "值一");
  Enumerator keys;
  ASSERT_TRUE(keys.Attach(dict));
  std::vector<std::string> seen;
  Variant k;
  while (keys.NextItem(k)) seen.push_back(k.AsText());
  EXPECT_EQ(seen, (std::vector<std::string>{"主板", "b"}));
  EXPECT_TRUE(CreateObject("No.Such.ProgId").IsEmpty());
}

bool WellFormed(const std::string& s) {
  for (unsigned char c : s) {
    if (c < 0x20) return false;
  }
  return true;
}

TEST_F(ComTest, BoardRecordsFromWmi) {
  auto records = QueryBoardRecords();
  ASSERT_GE(records.size(), 1u) << "WMI reports one board object";
  for (const auto& r : records) {
    EXPECT_TRUE(WellFormed(r.first)) << r.first;
    EXPECT_TRUE(WellFormed(r.second)) << r.second;
  }
}

}  // namespace
