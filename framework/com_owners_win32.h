// Owners of what COM callers hold: the calling thread's apartment, a BSTR made from a wide
// string, and a VARIANT that is cleared when it is refilled or goes out of scope.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

namespace fw {

// Enters a COM apartment of the calling thread and leaves it again only when this object entered
// it (S_OK, or S_FALSE for a thread already in the same kind): every successful CoInitializeEx
// needs its CoUninitialize, and a failed one must have none.
class ComApartment {
public:
    explicit ComApartment(DWORD model) : m_hr(::CoInitializeEx(nullptr, model)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    // What CoInitializeEx answered; RPC_E_CHANGED_MODE when the thread is already in the other
    // kind of apartment.
    HRESULT Result() const { return m_hr; }
    // Whether this thread may make COM calls now: entered here, or already in another apartment.
    bool Usable() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_hr;
};

class ComString {
public:
    explicit ComString(const wchar_t* text) : m_bstr(::SysAllocString(text)) {}
    ComString(const ComString&) = delete;
    ComString& operator=(const ComString&) = delete;
    ~ComString() { ::SysFreeString(m_bstr); }
    BSTR get() const { return m_bstr; }

private:
    BSTR m_bstr;
};

class Variant {
public:
    Variant() { ::VariantInit(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&m_value); }
    // For an out-parameter: whatever the variant held is released first.
    VARIANT* put() {
        ::VariantClear(&m_value);
        return &m_value;
    }
    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }

private:
    VARIANT m_value;
};

// A 32-bit integer property of a WMI object, whichever integer type the provider chose for it.
// `Object` is IWbemClassObject; a template so this header needs no WMI include.
template <typename Object>
bool ReadUint32Property(Object* object, const wchar_t* name, uint32_t& value) {
    Variant v;
    if (FAILED(object->Get(name, 0, v.put(), nullptr, nullptr))) return false;
    switch (V_VT(v.get())) {
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: value = V_UI4(v.get()); return true;
    default: return false;
    }
}

}  // namespace fw
