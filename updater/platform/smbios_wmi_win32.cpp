// The WMI side of the SMBIOS sources: ROOT\WMI, MSSmBios_RawSMBiosTables, every COM step with its
// own "... ERR, hr=0x%08X" message.
#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <string>

#include "common/format.h"
#include "framework/com_owners_win32.h"
#include "framework/unique_handle_win32.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/platform/smbios_sources.h"

namespace {

using fw::ComString;
using fw::Variant;

// Keeps a SAFEARRAY's data locked while it is read.
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* array) : m_array(array) {
        if (FAILED(::SafeArrayAccessData(m_array, &m_data))) m_data = nullptr;
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;
    ~SafeArrayData() {
        if (m_data) ::SafeArrayUnaccessData(m_array);
    }
    const unsigned char* bytes() const { return static_cast<const unsigned char*>(m_data); }

private:
    SAFEARRAY* m_array;
    void* m_data = nullptr;
};

std::string HrMessage(const char* format, HRESULT hr) {
    return common::Format(format, static_cast<unsigned>(hr));
}

uint32_t ReadSize(IWbemClassObject* object) {
    uint32_t size = 0;
    return fw::ReadUint32Property(object, L"Size", size) ? size : 0;
}

// Hands one object to the collector; the table bytes are read only from a one-dimensional byte
// array, and only as many as it holds.
bool TakeObject(IWbemClassObject* object, CWmiSmbiosCollector& collector) {
    const uint32_t size = ReadSize(object);
    Variant data;
    if (FAILED(object->Get(L"SMBiosData", 0, data.put(), nullptr, nullptr)) ||
        V_VT(data.get()) != (VT_ARRAY | VT_UI1) || !V_ARRAY(data.get()) ||
        ::SafeArrayGetDim(V_ARRAY(data.get())) != 1)
        return collector.TakeObject(size, nullptr, 0);
    SAFEARRAY* array = V_ARRAY(data.get());
    LONG lower = 0, upper = -1;
    if (FAILED(::SafeArrayGetLBound(array, 1, &lower)) || FAILED(::SafeArrayGetUBound(array, 1, &upper)) ||
        upper < lower)
        return collector.TakeObject(size, nullptr, 0);
    const size_t count = static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1);
    SafeArrayData bytes(array);
    if (!bytes.bytes()) return collector.TakeObject(size, nullptr, 0);
    return collector.TakeObject(size, bytes.bytes(), count);
}

}  // namespace

int RealQueryWmiSmbios(CWmiSmbiosCollector& collector, std::string& message) {
    // Declared first, so every interface below is released before the apartment is left.
    fw::ComApartment apartment(COINIT_MULTITHREADED);
    HRESULT hr = apartment.Result();
    if (FAILED(hr)) {
        message = HrMessage("InitCOM ERR, hr=0x%08X", hr);
        return 0;
    }

    hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr)) {
        message = HrMessage("InitSecurity ERR, hr=0x%08X", hr);
        return 0;
    }

    fw::ComPtr<IWbemLocator> locator;
    hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
    if (FAILED(hr)) {
        message = HrMessage("Create IWbemLocator object ERR, hr=0x%08X", hr);
        return 0;
    }

    fw::ComPtr<IWbemServices> services;
    ComString wmiNamespace(L"ROOT\\WMI");
    hr = locator->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(hr)) {
        message = HrMessage("Connect to WMI ERR, hr=0x%08X", hr);
        return 0;
    }

    hr = ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) {
        message = HrMessage("SetProxyBlanket ERR, hr=0x%08X", hr);
        return 0;
    }

    fw::ComPtr<IEnumWbemClassObject> enumerator;
    ComString language(L"WQL");
    ComString query(L"SELECT * FROM MSSmBios_RawSMBiosTables");
    hr = services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                             nullptr, enumerator.put());
    if (FAILED(hr)) {
        message = HrMessage("ExecQuery ERR, hr=0x%08X", hr);
        return 0;
    }

    for (;;) {
        fw::ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        hr = enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.put(), &returned);
        if (FAILED(hr) || returned == 0 || !object) {
            collector.NoMoreObjects();
            break;
        }
        if (!TakeObject(object.get(), collector)) break;
    }
    return collector.Result();
}
