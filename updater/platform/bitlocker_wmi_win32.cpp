// BitLocker through WMI: the encryptable-volume class in its security namespace. Finds the
// Windows volume, asks its protection status and, when protection is on, suspends it
// (DisableKeyProtectors) for one restart.
//
// Windows 8 / Server 2012 and later take DisableKeyProtectors' RebootCount parameter (1 to 15;
// protection resumes by itself after that many restarts). Windows 7 has the method without
// parameters: protection then stays suspended until someone resumes it, which the log says.
// Editions without BitLocker, and Windows PE without its BitLocker component, have no such
// namespace or class; neither has Wine.
#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <string>

#include "framework/com_owners_win32.h"
#include "framework/unique_handle_win32.h"
#include "updater/platform/platform_os_win32.h"

namespace {

using fw::ComString;
using fw::Variant;

constexpr HRESULT kInvalidNamespace = static_cast<HRESULT>(0x8004100E);  // WBEM_E_INVALID_NAMESPACE
constexpr HRESULT kInvalidClass = static_cast<HRESULT>(0x80041010);      // WBEM_E_INVALID_CLASS
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80041002);          // WBEM_E_NOT_FOUND
constexpr LONG kRebootCount = 1;

bool IsAbsent(HRESULT hr) { return hr == kInvalidNamespace || hr == kInvalidClass || hr == kNotFound; }

BitLockerProbe Outcome(BitLockerProbe::State state, const char* call, HRESULT hr) {
    BitLockerProbe probe;
    probe.state = state;
    probe.call = call;
    probe.hr = static_cast<uint32_t>(hr);
    return probe;
}

BitLockerProbe Failure(const char* call, HRESULT hr) {
    return Outcome(IsAbsent(hr) ? BitLockerProbe::State::kUnavailable : BitLockerProbe::State::kFailed, call, hr);
}

// "C:" for the Windows volume ("X:" under Windows PE), from the system's own Windows directory:
// %SystemDrive% is a variable any user can set for the processes they start, and it would
// choose which volume is suspended.
}  // namespace

std::wstring BitLockerVolumeDrive() {
    char windows[MAX_PATH] = {};
    UINT length = ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    char letter = windows[0];
    if (length < 2 || length >= MAX_PATH || windows[1] != ':' || !((letter >= 'A' && letter <= 'Z') ||
                                                                   (letter >= 'a' && letter <= 'z')))
        return L"C:";  // the call does not fail on a running system; nothing a user sets decides here
    return std::wstring{static_cast<wchar_t>(letter), L':'};
}

namespace {

// Runs a method of the volume; a non-zero ReturnValue (an FVE error code) counts as failure.
HRESULT RunMethod(IWbemServices* services, Variant& path, const wchar_t* method, IWbemClassObject* in,
                  fw::ComPtr<IWbemClassObject>& out) {
    ComString name(method);
    HRESULT hr = services->ExecMethod(V_BSTR(path.get()), name.get(), 0, nullptr, in, out.put(), nullptr);
    if (FAILED(hr)) return hr;
    uint32_t returned = 0;
    if (!out || !fw::ReadUint32Property(out.get(), L"ReturnValue", returned)) return E_UNEXPECTED;
    return static_cast<HRESULT>(returned);
}

}  // namespace

BitLockerProbe RealSuspendBitLocker() {
    // A thread already in another apartment can still make the calls.
    fw::ComApartment apartment(COINIT_APARTMENTTHREADED);
    if (!apartment.Usable()) return Failure("CoInitializeEx", apartment.Result());

    // Already set by this process (or by the SMBIOS query) is fine: RPC_E_TOO_LATE.
    HRESULT hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) return Failure("CoInitializeSecurity", hr);

    fw::ComPtr<IWbemLocator> locator;
    hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
    if (FAILED(hr)) return Failure("CoCreateInstance", hr);

    fw::ComPtr<IWbemServices> services;
    ComString wmiNamespace(L"ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption");
    hr = locator->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(hr)) return Failure("ConnectServer", hr);

    // This namespace refuses calls that are not encrypted.
    hr = ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return Failure("CoSetProxyBlanket", hr);

    fw::ComPtr<IEnumWbemClassObject> volumes;
    ComString language(L"WQL");
    const std::wstring queryText = L"SELECT * FROM Win32_EncryptableVolume WHERE DriveLetter='" + BitLockerVolumeDrive() + L"'";
    ComString query(queryText.c_str());
    hr = services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                             nullptr, volumes.put());
    if (FAILED(hr)) return Failure("ExecQuery", hr);

    fw::ComPtr<IWbemClassObject> volume;
    ULONG returned = 0;
    hr = volumes->Next(static_cast<LONG>(WBEM_INFINITE), 1, volume.put(), &returned);
    if (FAILED(hr)) return Failure("Win32_EncryptableVolume", hr);
    // No encryptable volume behind the Windows drive (a RAM disk, a volume BitLocker cannot take).
    if (returned == 0 || !volume) return Outcome(BitLockerProbe::State::kUnavailable, "Win32_EncryptableVolume", hr);

    Variant path;
    hr = volume->Get(L"__PATH", 0, path.put(), nullptr, nullptr);
    if (FAILED(hr) || V_VT(path.get()) != VT_BSTR) return Failure("__PATH", FAILED(hr) ? hr : E_UNEXPECTED);

    fw::ComPtr<IWbemClassObject> status;
    hr = RunMethod(services.get(), path, L"GetProtectionStatus", nullptr, status);
    if (hr != S_OK) return Failure("GetProtectionStatus", hr);
    uint32_t protection = 0;
    if (!fw::ReadUint32Property(status.get(), L"ProtectionStatus", protection))
        return Failure("GetProtectionStatus", E_UNEXPECTED);
    // 0 off (or already suspended); 1 on; 2 unknown (a locked volume): try to suspend both.
    if (protection == 0) return Outcome(BitLockerProbe::State::kOff, "GetProtectionStatus", S_OK);

    fw::ComPtr<IWbemClassObject> volumeClass;
    ComString className(L"Win32_EncryptableVolume");
    hr = services->GetObject(className.get(), 0, nullptr, volumeClass.put(), nullptr);
    if (FAILED(hr)) return Failure("GetObject", hr);
    fw::ComPtr<IWbemClassObject> signature;
    hr = volumeClass->GetMethod(L"DisableKeyProtectors", 0, signature.put(), nullptr);
    if (FAILED(hr)) return Failure("GetMethod", hr);

    fw::ComPtr<IWbemClassObject> in;
    bool rebootCount = false;
    if (signature) {
        Variant probeCount;
        if (SUCCEEDED(signature->Get(L"RebootCount", 0, probeCount.put(), nullptr, nullptr))) {
            hr = signature->SpawnInstance(0, in.put());
            if (FAILED(hr)) return Failure("SpawnInstance", hr);
            Variant count;
            V_VT(count.get()) = VT_I4;
            V_I4(count.get()) = kRebootCount;
            hr = in->Put(L"RebootCount", 0, count.get(), 0);
            if (FAILED(hr)) return Failure("RebootCount", hr);
            rebootCount = true;
        }
    }
    fw::ComPtr<IWbemClassObject> result;
    hr = RunMethod(services.get(), path, L"DisableKeyProtectors", in.get(), result);
    // Here a missing class is no longer "unavailable": protection is on and stays on.
    if (hr != S_OK) return Outcome(BitLockerProbe::State::kFailed, "DisableKeyProtectors", hr);
    BitLockerProbe probe = Outcome(BitLockerProbe::State::kSuspended, "DisableKeyProtectors", S_OK);
    probe.rebootCountApplied = rebootCount;
    return probe;
}
